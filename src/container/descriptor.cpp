// The descriptors' fields, their formats, the layout of their levels, and
// the conversion of their data.
#include "container/descriptor.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "layout/morton.h"
#include "layout/walk_support.h"
#include "layout/x360_tiling.h"

namespace ddsswizzle::engine {
namespace {

constexpr std::uint64_t align_up(std::uint64_t v, std::uint64_t a) noexcept { return (v + a - 1) / a * a; }

std::uint32_t read_be16(std::span<const std::byte> b, std::size_t at) noexcept {
    return std::to_integer<std::uint32_t>(b[at]) << 8U | std::to_integer<std::uint32_t>(b[at + 1]);
}

std::uint32_t read_be32(std::span<const std::byte> b, std::size_t at) noexcept {
    return read_be16(b, at) << 16U | read_be16(b, at + 2);
}

// A console format: the DXGI format a DDS file stores it as, its blocks, and
// the byte order the console reads it in (PS3: fixed by the format; Xbox
// 360: the fetch constant's endian field).
struct ConsoleFormat {
    std::uint32_t code = 0;
    std::uint32_t dxgi = 0;
    std::uint32_t block_side = 1;
    std::uint32_t block_bytes = 1;
    ByteOrder order = ByteOrder::none;
};

constexpr ByteOrder keep = ByteOrder::none, swap16 = ByteOrder::swap_8in16, swap32 = ByteOrder::swap_8in32;

// GCM base formats (the LN and UN bits cleared). The DXT blocks are copied
// unchanged; G8B8 and X16 are one big-endian 16-bit word; the float formats
// are big-endian values with R first.
constexpr ConsoleFormat gcm_formats[] = {
    {0x81, 61, 1, 1, keep},    // B8 -> R8 (L8)
    {0x82, 86, 1, 2, swap16},  // A1R5G5B5
    {0x83, 115, 1, 2, swap16}, // A4R4G4B4
    {0x84, 85, 1, 2, swap16},  // R5G6B5
    {0x85, 87, 1, 4, swap32},  // A8R8G8B8: a 0xAARRGGBB word
    {0x86, 71, 4, 8, keep},    // DXT1
    {0x87, 74, 4, 16, keep},   // DXT2/3
    {0x88, 77, 4, 16, keep},   // DXT4/5
    {0x8B, 49, 1, 2, swap16},  // G8B8 -> R8G8
    {0x94, 56, 1, 2, swap16},  // X16 -> R16
    {0x9A, 10, 1, 8, swap16},  // W16_Z16_Y16_X16_FLOAT
    {0x9B, 2, 1, 16, swap32},  // W32_Z32_Y32_X32_FLOAT
    {0x9C, 41, 1, 4, swap32},  // X32_FLOAT
    {0x9E, 88, 1, 4, swap32},  // D8R8G8B8 -> B8G8R8X8
};

// Xbox 360 GPU formats. 8 and 8_8_8_8 are told apart by the channel swizzle
// (0: decided by it, below).
constexpr ConsoleFormat x360_formats[] = {
    {0x02, 0, 1, 1},   {0x03, 86, 1, 2},  {0x04, 85, 1, 2},  {0x06, 0, 1, 4},   {0x0A, 49, 1, 2},
    {0x0F, 115, 1, 2}, {0x12, 71, 4, 8},  {0x13, 74, 4, 16}, {0x14, 77, 4, 16}, {0x20, 10, 1, 8},
    {0x24, 41, 1, 4},  {0x26, 2, 1, 16},  {0x31, 83, 4, 16}, {0x3B, 80, 4, 8},
};

// Swizzles of the fetch constant (x in the lowest 3 bits; 0-3 X Y Z W, 4
// zero, 5 one) that name a DDS format for 8 and 8_8_8_8.
std::uint32_t x360_swizzled_format(std::uint32_t code, std::uint32_t swizzle) noexcept {
    if (code == 0x02) return swizzle == 0xA00 ? 61 : swizzle == 0x124 ? 65 : 0;
    switch (swizzle) {
        case 0x60A: return 87;  // ARGB
        case 0x688: return 28;  // ABGR
        case 0xA0A: return 88;  // X8R8G8B8
        default: return 0;
    }
}

template <std::size_t N>
const ConsoleFormat* find_format(const ConsoleFormat (&rows)[N], std::uint32_t code) noexcept {
    const auto* const row = std::find_if(std::begin(rows), std::end(rows), [code](const ConsoleFormat& r) { return r.code == code; });
    return row == std::end(rows) ? nullptr : row;
}

// Levels from the given sides down to 1 x 1: floor(log2(longest)) + 1.
std::uint32_t full_chain(std::uint32_t longest) noexcept { return static_cast<std::uint32_t>(std::bit_width(longest)); }

bool power_of_two(std::uint32_t v) noexcept { return v != 0 && (v & (v - 1)) == 0; }

// The levels' sides and linear places; the walks' swap units for the format.
void fill_levels(DescriptorTexture& t, const ConsoleFormat& f, Console console) noexcept {
    SurfaceGeometry& g = t.geometry;
    g = SurfaceGeometry{};
    g.surface = t.surface;
    g.console = console;
    g.faces = t.faces;
    // The swap unit the PS3 walk applies, and the one the Xbox 360 walk has
    // for the block size (8in16 for blocks of 8 and 16 bytes).
    const std::uint32_t unit = f.order == ByteOrder::swap_8in32 ? 4 : f.order == ByteOrder::swap_8in16 ? 2 : 1;
    const std::uint32_t x360_unit = f.block_bytes >= 8 ? 2 : f.block_bytes;
    g.format = {f.dxgi, f.block_side, f.block_bytes, Ps3Rule::morton, unit, x360_unit};
    g.entries = static_cast<std::uint32_t>(t.surface.levels);
    std::uint64_t linear = 0;
    for (std::uint32_t l = 0; l < g.entries; ++l) {
        LevelGeometry& level = g.levels[l];
        level.width = std::max(static_cast<std::uint32_t>(t.surface.width) >> l, 1U);
        level.height = std::max(static_cast<std::uint32_t>(t.surface.height) >> l, 1U);
        level.depth = std::max(static_cast<std::uint32_t>(t.surface.depth) >> l, 1U);
        level.blocks_wide = (level.width + f.block_side - 1) / f.block_side;
        level.blocks_high = (level.height + f.block_side - 1) / f.block_side;
        level.linear_offset = linear;
        level.linear_bytes = std::uint64_t{level.blocks_wide} * level.blocks_high * level.depth * f.block_bytes;
        level.ps3_offset = level.linear_offset;
        level.ps3_bytes = level.linear_bytes;
        linear += level.linear_bytes;
    }
    g.linear_face_bytes = linear;
    g.linear_size = linear * g.faces;
}

Verdict read_gcm(std::span<const std::byte> d, std::uint64_t data_size, DescriptorTexture& t) noexcept {
    const std::uint32_t stored = std::to_integer<std::uint32_t>(d[0]);
    const ConsoleFormat* format = find_format(gcm_formats, stored & ~0x60U);
    if (format == nullptr) return {Reason::none, Fault::descriptor_format};
    const bool ln = (stored & 0x20U) != 0;
    const bool dxt = format->block_side > 1;
    const std::uint32_t levels = std::to_integer<std::uint32_t>(d[1]);
    const std::uint32_t dimension = std::to_integer<std::uint32_t>(d[2]);
    const bool cube = d[3] != std::byte{0};
    // 1D is one row, 2D and cube maps one slice; their other fields are not read.
    const std::uint32_t width = read_be16(d, 8);
    const std::uint32_t height = dimension == 1 ? 1 : read_be16(d, 10);
    const std::uint32_t depth = dimension == 3 ? read_be16(d, 12) : 1;
    const std::uint32_t pitch = read_be32(d, 16);
    if (dimension < 1 || dimension > 3 || (cube && dimension != 2) || (dimension == 3 && dxt)) {
        return {Reason::none, Fault::descriptor_type};
    }
    if (width == 0 || height == 0 || depth == 0) return {Reason::side_not_positive, Fault::none};
    if (levels < 1 || levels > full_chain(std::max({width, height, depth}))) return {Reason::level_count_out_of_range, Fault::none};
    const bool swizzled = !ln && !dxt;
    if (swizzled && !power_of_two(width)) return {Reason::width_not_power_of_two, Fault::none};
    if (swizzled && !power_of_two(height)) return {Reason::height_not_power_of_two, Fault::none};
    if (swizzled && !power_of_two(depth)) return {Reason::depth_not_power_of_two, Fault::none};
    const std::uint64_t row0 = std::uint64_t{(width + format->block_side - 1) / format->block_side} * format->block_bytes;
    if (ln && pitch < row0) return {Reason::none, Fault::descriptor_pitch};

    t.surface = {format->dxgi, cube ? TextureType::cube_map : dimension == 3 ? TextureType::volume : TextureType::plain,
                 static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), static_cast<std::int32_t>(depth),
                 static_cast<std::int32_t>(levels)};
    t.faces = cube ? 6 : 1;
    ConsoleLayout& c = t.layout;
    c = {Console::ps3, stored, swizzled, ln ? pitch : 0, format->order, false, 0, 0, 0, 0, {}};
    fill_levels(t, *format, Console::ps3);
    // With LN every level's rows are level 0's pitch apart.
    std::uint64_t face = 0;
    for (std::uint32_t l = 0; l < t.geometry.entries; ++l) {
        LevelGeometry& level = t.geometry.levels[l];
        level.ps3_offset = face;
        if (ln) level.ps3_bytes = detail::saturating_product(pitch, level.blocks_high, level.depth);
        face = detail::saturating_sum(face, level.ps3_bytes);
    }
    if (face > data_size) return {Reason::data_short, Fault::none};
    c.mips = t.geometry.entries > 1 ? t.geometry.levels[1].ps3_offset : 0;
    // Cube faces: 128-byte aligned without LN; with LN the size says which
    // stride the writer used, packed or aligned.
    c.face_stride = face;
    c.end = face;
    if (cube) {
        const std::uint64_t aligned = align_up(face, 128);
        c.face_stride = aligned;
        if (ln && data_size == 6 * face) c.face_stride = face;
        if (ln && data_size != 6 * face && data_size != 5 * aligned + face && data_size != 6 * aligned) {
            return {Reason::none, Fault::cube_stride};
        }
        c.end = 5 * c.face_stride + face;
    }
    if (c.end > data_size) return {Reason::data_short, Fault::none};
    c.areas[0] = {0, c.end};
    return {};
}

Verdict read_fetch_constant(std::span<const std::byte> d, std::uint64_t data_size, DescriptorTexture& t) noexcept {
    std::array<std::uint32_t, 6> dw{};
    for (std::size_t i = 0; i < dw.size(); ++i) dw[i] = read_be32(d, 4 * i);
    const std::uint32_t code = dw[1] & 0x3FU;
    const ConsoleFormat* row = find_format(x360_formats, code);
    if (row == nullptr) return {Reason::none, Fault::descriptor_format};
    ConsoleFormat format = *row;
    format.order = static_cast<ByteOrder>((dw[1] >> 6U) & 3U);
    if (format.dxgi == 0) format.dxgi = x360_swizzled_format(code, (dw[3] >> 1U) & 0xFFFU);
    if (format.dxgi == 0) return {Reason::none, Fault::descriptor_swizzle};
    const std::uint32_t dimension = (dw[5] >> 9U) & 3U;
    const bool stacked = ((dw[1] >> 10U) & 1U) != 0;
    if ((dw[0] & 3U) != 2 || stacked || (dimension != 1 && dimension != 3)) return {Reason::none, Fault::descriptor_type};
    const bool cube = dimension == 3;
    const bool tiled = (dw[0] >> 31U) != 0;
    const std::uint32_t width = (dw[2] & 0x1FFFU) + 1;
    const std::uint32_t height = ((dw[2] >> 13U) & 0x1FFFU) + 1;
    const std::uint32_t levels = ((dw[4] >> 6U) & 0xFU) + 1;
    if (((dw[4] >> 2U) & 0xFU) != 0) return {Reason::none, Fault::mip_min_level};
    if (levels > full_chain(std::max(width, height))) return {Reason::level_count_out_of_range, Fault::none};
    if (!tiled && (levels > 1 || cube)) return {Reason::none, Fault::linear_mips};
    // The pitch field counts texels / 32: in blocks, rounded to whole tiles.
    const std::uint32_t pitch_blocks = static_cast<std::uint32_t>(align_up(((dw[0] >> 22U) & 0x1FFU) * 32 / format.block_side, 32));
    const std::uint32_t blocks_wide = (width + format.block_side - 1) / format.block_side;
    const bool packed_bit = ((dw[5] >> 11U) & 1U) != 0;

    t.surface = {format.dxgi, cube ? TextureType::cube_map : TextureType::plain, static_cast<std::int32_t>(width),
                 static_cast<std::int32_t>(height), 1, static_cast<std::int32_t>(levels)};
    t.faces = cube ? 6 : 1;
    fill_levels(t, format, Console::x360);
    ConsoleLayout& c = t.layout;
    const std::uint64_t base = std::uint64_t{dw[1] >> 12U} * x360_page_bytes;
    const std::uint64_t mips = std::uint64_t{dw[5] >> 12U} * x360_page_bytes;
    c = {Console::x360, code, tiled, 0, format.order, false, base, 0, 0, 0, {}};
    SurfaceGeometry& g = t.geometry;
    if (!tiled) {
        const std::uint64_t row = align_up(std::uint64_t{pitch_blocks} * format.block_bytes, 256);
        if (row < std::uint64_t{blocks_wide} * format.block_bytes) return {Reason::none, Fault::descriptor_pitch};
        c.pitch = static_cast<std::uint32_t>(row);
        c.end = base + row * g.levels[0].blocks_high;
        if (c.end > data_size) return {Reason::none, Fault::pages_outside};
        c.areas[0] = {base, c.end};
        return {};
    }
    // The smallest pitch holding level 0, the only one whose layout is known.
    if (pitch_blocks != align_up(blocks_wide, x360_tile_side)) return {Reason::none, Fault::descriptor_pitch};
    c.pitch = pitch_blocks;
    // Small levels share the tail when the packed bit says so and the chain
    // reaches it (a single level counts when the tail starts at level 0).
    c.packed_tail = packed_bit && g.entries - 1 >= x360_tail_level(g);
    const std::uint64_t image = x360_lay_out(g, c.packed_tail);
    const LevelGeometry& top = g.levels[0];
    c.face_stride = top.x360_slice;
    // Level 0's region is the base area; every other region is in the mip
    // area, unless the tail holds level 0 and with it every level.
    const std::uint64_t base_bytes = g.faces * top.x360_slice;
    const bool one_area = image == base_bytes;
    if (one_area && g.entries > 1 && mips != base) return {Reason::none, Fault::tail_pages};
    c.mips = one_area ? base : mips;
    c.areas[0] = {base, base + base_bytes};
    if (!one_area) c.areas[1] = {mips, mips + image - base_bytes};
    for (std::uint32_t l = 0; l < g.entries; ++l) {
        LevelGeometry& level = g.levels[l];
        level.x360_region = level.x360_region < base_bytes ? base + level.x360_region : mips + level.x360_region - base_bytes;
    }
    c.end = std::max(c.areas[0][1], c.areas[1][1]);
    if (c.end > data_size) return {Reason::none, Fault::pages_outside};
    if (!one_area && c.areas[1][0] < c.areas[0][1] && c.areas[0][0] < c.areas[1][1]) return {Reason::none, Fault::areas_overlap};
    return {};
}

// Copies `bytes` bytes, reversing every `unit`-byte unit.
void copy_units(std::byte* out, const std::byte* in, std::uint64_t bytes, std::uint32_t unit) noexcept {
    if (unit <= 1) {
        std::memcpy(out, in, static_cast<std::size_t>(bytes));
        return;
    }
    for (std::uint64_t at = 0; at + unit <= bytes; at += unit) {
        for (std::uint32_t i = 0; i < unit; ++i) out[at + i] = in[at + unit - 1 - i];
    }
}

// PS3, one face: the Morton walk level by level, or rows (packed, or pitch
// apart with LN, the rest of each row zero).
void convert_ps3_face(const DescriptorTexture& t, Direction direction, const std::byte* console_face,
                      std::byte* console_out, const std::byte* linear_face, std::byte* linear_out) noexcept {
    const SurfaceGeometry& g = t.geometry;
    const std::uint32_t unit = g.format.ps3_swap;
    const bool swizzle = direction == Direction::swizzle;
    if (t.layout.swizzled) {
        SurfaceGeometry face = g;
        face.faces = 1;
        face.surface.type = t.surface.type == TextureType::volume ? TextureType::volume : TextureType::plain;
        const auto bytes = static_cast<std::size_t>(g.linear_face_bytes);
        if (swizzle) {
            convert_morton_levels(face, {linear_face, bytes}, {console_out, bytes}, direction);
        } else {
            convert_morton_levels(face, {console_face, bytes}, {linear_out, bytes}, direction);
        }
        return;
    }
    for (std::uint32_t l = 0; l < g.entries; ++l) {
        const LevelGeometry& level = g.levels[l];
        const std::uint64_t row = std::uint64_t{level.blocks_wide} * g.format.block_bytes;
        const std::uint64_t pitch = t.layout.pitch != 0 ? t.layout.pitch : row;
        for (std::uint64_t r = 0; r < std::uint64_t{level.blocks_high} * level.depth; ++r) {
            const std::uint64_t at = level.ps3_offset + r * pitch;
            const std::uint64_t linear = level.linear_offset + r * row;
            if (swizzle) {
                copy_units(console_out + at, linear_face + linear, row, unit);
                std::memset(console_out + at + row, 0, static_cast<std::size_t>(pitch - row));
            } else {
                copy_units(linear_out + linear, console_face + at, row, unit);
            }
        }
    }
}

// Xbox 360, byte by byte: for the byte orders the tiled walk has no kernel
// for (a swap unit wider than the block, or another than the format's) and
// for linear textures. The swap is undone in memory order: byte a of the
// data holds what the console reads at a ^ mask.
void convert_x360_bytes(const DescriptorTexture& t, Direction direction, const std::byte* source, std::byte* result,
                        std::uint64_t linear_face_stride) noexcept {
    const SurfaceGeometry& g = t.geometry;
    const std::uint32_t bytes = g.format.block_bytes;
    const auto log2_bytes = static_cast<std::uint32_t>(std::countr_zero(bytes));
    const std::uint64_t mask = swap_mask(t.layout.order);
    const bool swizzle = direction == Direction::swizzle;
    for (std::uint32_t l = 0; l < g.entries; ++l) {
        const LevelGeometry& level = g.levels[l];
        for (std::uint32_t face = 0; face < g.faces; ++face) {
            const std::uint64_t slice = level.x360_region + face * level.x360_slice;
            for (std::uint32_t y = 0; y < level.blocks_high; ++y) {
                for (std::uint32_t x = 0; x < level.blocks_wide; ++x) {
                    const std::uint64_t at = t.layout.swizzled
                        ? slice + x360_tiled_address(level.x360_x + x, level.x360_y + y, level.x360_pitch, log2_bytes)
                        : t.layout.level0 + std::uint64_t{y} * t.layout.pitch + std::uint64_t{x} * bytes;
                    const std::uint64_t linear = face * linear_face_stride + level.linear_offset +
                                                 (std::uint64_t{y} * level.blocks_wide + x) * bytes;
                    for (std::uint32_t j = 0; j < bytes; ++j) {
                        if (swizzle) {
                            result[(at + j) ^ mask] = source[linear + j];
                        } else {
                            result[linear + j] = source[(at + j) ^ mask];
                        }
                    }
                }
            }
        }
    }
}

}  // namespace

Outcome outcome_of(Verdict verdict) noexcept {
    switch (verdict.fault) {
        case Fault::none: break;
        case Fault::container_short:
        case Fault::no_entries:
        case Fault::table_past_end:
        case Fault::range_outside:
        case Fault::textures_overlap:
        case Fault::entry_stride:
        case Fault::name_outside: return Outcome::not_a_container;
        case Fault::blocks_past_end:
        case Fault::pages_outside:
        case Fault::cube_stride: return Outcome::truncated;
        case Fault::descriptor_format:
        case Fault::descriptor_swizzle:
        case Fault::replacement_format: return Outcome::unknown_format;
        case Fault::descriptor_type:
        case Fault::linear_mips:
        case Fault::tail_pages:
        case Fault::areas_overlap:
        case Fault::replacement_type: return Outcome::unsupported_type;
        case Fault::descriptor_pitch:
        case Fault::mip_min_level:
        case Fault::replacement_sides:
        case Fault::replacement_levels: return Outcome::unsupported_size;
        case Fault::no_such_texture:
        case Fault::not_a_texture_entry:
        case Fault::result_too_small: return Outcome::invalid_argument;
    }
    switch (verdict.reason) {
        case Reason::none: return Outcome::ok;
        case Reason::short_file:
        case Reason::no_signature:
        case Reason::short_extended_header: return Outcome::not_a_dds_texture;
        case Reason::format_not_recognised:
        case Reason::format_not_on_console: return Outcome::unknown_format;
        case Reason::texture_array:
        case Reason::partial_cube_map:
        case Reason::cube_map_and_volume:
        case Reason::volume_not_on_console: return Outcome::unsupported_type;
        case Reason::data_short: return Outcome::truncated;
        default: return Outcome::unsupported_size;
    }
}

Verdict read_descriptor(std::span<const std::byte, descriptor_bytes> descriptor, Console console,
                        std::uint64_t data_size, DescriptorTexture& texture) noexcept {
    texture = DescriptorTexture{};
    return console == Console::ps3 ? read_gcm(descriptor, data_size, texture)
                                   : read_fetch_constant(descriptor, data_size, texture);
}

std::uint64_t linear_face_bytes(const Surface& surface, std::int32_t levels) noexcept {
    const std::optional<FormatFacts> f = format_facts(surface.format);
    if (!f || surface.width <= 0 || surface.height <= 0 || levels <= 0) return 0;
    const std::uint32_t depth = surface.type == TextureType::volume ? static_cast<std::uint32_t>(std::max(surface.depth, 1)) : 1;
    std::uint64_t total = 0;
    for (std::int32_t l = 0; l < levels; ++l) {
        const std::uint32_t shift = static_cast<std::uint32_t>(std::min(l, 31));
        const std::uint64_t w = std::max(static_cast<std::uint32_t>(surface.width) >> shift, 1U);
        const std::uint64_t h = std::max(static_cast<std::uint32_t>(surface.height) >> shift, 1U);
        const std::uint64_t d = std::max(depth >> shift, 1U);
        total += (w + f->block_side - 1) / f->block_side * ((h + f->block_side - 1) / f->block_side) * d * f->block_bytes;
    }
    return total;
}

bool convert_descriptor_texture(const DescriptorTexture& t, Direction direction, std::span<const std::byte> source,
                                std::span<std::byte> result, std::uint64_t linear_face_stride) noexcept {
    const bool swizzle = direction == Direction::swizzle;
    const SurfaceGeometry& g = t.geometry;
    const std::uint64_t linear_needed = (t.faces - 1) * linear_face_stride + g.linear_face_bytes;
    const std::uint64_t console_size = swizzle ? result.size() : source.size();
    if (linear_face_stride < g.linear_face_bytes || (swizzle ? source.size() : result.size()) < linear_needed ||
        console_size < t.layout.end) {
        return false;
    }
    if (t.layout.console == Console::ps3) {
        for (std::uint32_t face = 0; face < t.faces; ++face) {
            const std::uint64_t at = face * t.layout.face_stride;
            const std::uint64_t linear = face * linear_face_stride;
            if (swizzle) {
                // The padding that aligns the next face is zero.
                const std::uint64_t gap = face + 1 < t.faces ? t.layout.face_stride - g.linear_face_bytes : 0;
                const std::uint64_t face_end = face + 1 < t.faces ? at + t.layout.face_stride : t.layout.end;
                std::memset(result.data() + face_end - gap, 0, static_cast<std::size_t>(gap));
                convert_ps3_face(t, direction, nullptr, result.data() + at, source.data() + linear, nullptr);
            } else {
                convert_ps3_face(t, direction, source.data() + at, nullptr, nullptr, result.data() + linear);
            }
        }
        return true;
    }
    const std::uint32_t bytes = g.format.block_bytes;
    const ByteOrder native = bytes == 1 ? ByteOrder::none : bytes == 4 ? ByteOrder::swap_8in32 : ByteOrder::swap_8in16;
    if (t.layout.swizzled && t.layout.order == native) {
        // The walk with the regions where the descriptor puts them, in data
        // of the given length, and the faces of the linear side as far apart
        // as the caller's.
        SurfaceGeometry walk = g;
        walk.linear_face_bytes = linear_face_stride;
        walk.linear_size = linear_needed;
        walk.console_size = console_size;
        return convert_x360_levels(walk, source, result, direction);
    }
    if (swizzle) {
        for (const auto& area : t.layout.areas) {
            std::memset(result.data() + area[0], 0, static_cast<std::size_t>(area[1] - area[0]));
        }
    }
    convert_x360_bytes(t, direction, source.data(), result.data(), linear_face_stride);
    return true;
}

}  // namespace ddsswizzle::engine
