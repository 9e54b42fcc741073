// Reading the DDS header, recognising the surface's format and the kind of
// texture; writing the header of a surface from the same table.
#include "texture/texture_header.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>
#include <utility>

namespace ddsswizzle::engine {
namespace {

// Fields wider than a byte are little-endian in the file.
std::uint32_t load_u32(std::span<const std::byte> bytes, std::size_t offset) noexcept {
    std::array<std::uint8_t, 4> raw{};
    std::memcpy(raw.data(), bytes.data() + offset, raw.size());
    return std::uint32_t{raw[0]} | (std::uint32_t{raw[1]} << 8U) | (std::uint32_t{raw[2]} << 16U) |
           (std::uint32_t{raw[3]} << 24U);
}

std::uint8_t load_u8(std::span<const std::byte> bytes, std::size_t offset) noexcept {
    return static_cast<std::uint8_t>(bytes[offset]);
}

// One row of the recognition table: header bytes compared for equality, and
// the DXGI format they name, stored by the consoles as that format's row of
// the format table says. A byte given as `any` is not compared, nor is an
// empty FourCC, nor are the masks but where two formats share the other
// bytes. The row without a format defers to the DXGI format of the DX10
// extension.
//
// The table also writes headers: a row with pixel-format flags to write is
// the header written for its format (the first such row), with those flags,
// its FourCC, its bit count and its masks. Every row written is read back as
// itself (checked below, when this compiles), so writer and reader cannot
// disagree.
constexpr std::int16_t any = -1;
constexpr std::uint32_t from_extension = 0;
using Masks = std::array<std::uint32_t, 4>;  // red, green, blue, alpha

struct RecognitionRow {
    std::string_view four_cc;
    std::uint32_t dxgi;             // the DXGI format with the same layout
    std::uint32_t written_flags;    // the pixel-format flags a written header has (0: the row is only read)
    Masks masks;                    // written, and compared when masks_compared
    std::int16_t flags_low;         // byte 80: 0x40 RGB, 0x01 alpha pixels, 0x02 alpha only
    std::int16_t flags_third;       // byte 82: 0x02 luminance
    std::int16_t bit_count;         // byte 88
    bool masks_compared;
};

// Pixel-format flags.
constexpr std::uint32_t alpha_pixels = 0x1, alpha_only = 0x2, has_four_cc = 0x4, rgb = 0x40, luminance = 0x20000;
constexpr bool written = true, read_only = false;

constexpr RecognitionRow by_four_cc(std::string_view four_cc, std::uint32_t dxgi, bool write) noexcept {
    return {four_cc, dxgi, write ? has_four_cc : 0, {}, any, any, any, false};
}
constexpr RecognitionRow by_bits(std::int16_t flags_low, std::int16_t flags_third, std::int16_t bits, std::uint32_t dxgi,
                                 std::uint32_t write_flags, Masks masks) noexcept {
    return {{}, dxgi, write_flags, masks, flags_low, flags_third, bits, false};
}
// RGB with alpha told apart by its masks from a row that follows.
constexpr RecognitionRow by_masks(std::int16_t bits, std::uint32_t dxgi, Masks masks) noexcept {
    return {{}, dxgi, rgb | alpha_pixels, masks, 0x41, any, bits, true};
}

// DXGI numbers of the legacy formats.
constexpr std::uint32_t bc1 = 71, bc2 = 74, bc3 = 77, bc4 = 80, bc4_signed = 81, bc5 = 83, bc5_signed = 84;
constexpr std::uint32_t b8g8r8a8 = 87, b8g8r8x8 = 88, r8g8b8a8 = 28, b5g5r5a1 = 86, b4g4r4a4 = 115, b5g6r5 = 85;
constexpr std::uint32_t r8g8 = 49, r16 = 56, r8 = 61, a8 = 65, rgba16_float = 10, rgba32_float = 2, r32_float = 41;

// Channel masks of the legacy formats, as Direct3D 9 named them.
constexpr Masks a8r8g8b8{0xFF0000, 0xFF00, 0xFF, 0xFF000000}, x8r8g8b8{0xFF0000, 0xFF00, 0xFF, 0};
constexpr Masks a8b8g8r8{0xFF, 0xFF00, 0xFF0000, 0xFF000000}, r5g6b5{0xF800, 0x7E0, 0x1F, 0};
constexpr Masks a1r5g5b5{0x7C00, 0x3E0, 0x1F, 0x8000}, a4r4g4b4{0xF00, 0xF0, 0xF, 0xF000};
constexpr Masks l8{0xFF, 0, 0, 0}, a8l8{0xFF, 0, 0, 0xFF00}, l16{0xFFFF, 0, 0, 0}, a8_only{0, 0, 0, 0xFF};

// Only single bytes are compared, so flags of 0x41 and 0x141 both match 0x41.
// The first rows come first, whatever the later ones would say; the rows
// told apart by their masks name a format stored as the row after them.
// DXT2 and DXT4 are DXT3 and DXT5 with premultiplied alpha, and RXGB a DXT5
// with its channels moved: the same 16-byte blocks. Float formats have no
// FourCC of letters: Direct3D's format number stands in the FourCC field.
constexpr RecognitionRow recognition_rows[] = {
    by_four_cc("DXT5", bc3, written),
    by_four_cc("DXT3", bc2, written),
    by_four_cc("DXT1", bc1, written),
    by_masks(32, r8g8b8a8, a8b8g8r8),                               // A8B8G8R8
    by_bits(0x41, any, 32, b8g8r8a8, rgb | alpha_pixels, a8r8g8b8),  // A8R8G8B8, and other masks
    by_masks(16, b4g4r4a4, a4r4g4b4),                               // A4R4G4B4
    by_bits(0x41, any, 16, b5g5r5a1, rgb | alpha_pixels, a1r5g5b5),  // A1R5G5B5, and other masks
    by_bits(any, 0x02, 8, r8, luminance, l8),                        // L8, A4L4
    by_bits(0x40, any, 32, b8g8r8x8, rgb, x8r8g8b8),                 // X8R8G8B8, X8B8G8R8
    by_bits(0x40, any, 16, b5g6r5, rgb, r5g6b5),                     // R5G6B5, X1R5G5B5, X4R4G4B4
    by_bits(0x01, 0x02, 16, r8g8, luminance | alpha_pixels, a8l8),   // A8L8
    by_bits(0x00, 0x02, 16, r16, luminance, l16),                    // L16
    by_bits(0x02, any, 8, a8, alpha_only, a8_only),                  // A8
    by_four_cc("DX10", from_extension, written),
    by_four_cc("DXT2", bc2, read_only),
    by_four_cc("DXT4", bc3, read_only),
    by_four_cc("ATI1", bc4, written),
    by_four_cc("BC4U", bc4, read_only),
    by_four_cc("BC4S", bc4_signed, read_only),
    by_four_cc("ATI2", bc5, written),
    by_four_cc("A2XY", bc5, read_only),
    by_four_cc("BC5U", bc5, read_only),
    by_four_cc("BC5S", bc5_signed, read_only),
    by_four_cc("RXGB", bc3, read_only),
    by_four_cc({"\x71\0\0\0", 4}, rgba16_float, written),  // D3DFMT_A16B16G16R16F
    by_four_cc({"\x74\0\0\0", 4}, rgba32_float, written),  // D3DFMT_A32B32G32R32F
    by_four_cc({"\x72\0\0\0", 4}, r32_float, written),     // D3DFMT_R32F
};

constexpr bool byte_matches(std::int16_t wanted, std::uint8_t actual) noexcept {
    return wanted == any || wanted == actual;
}

constexpr bool row_matches(const RecognitionRow& row, const TextureHeader& header) noexcept {
    const bool four_cc = row.four_cc.empty() || std::equal(header.four_cc.begin(), header.four_cc.end(),
                                                           row.four_cc.begin(), row.four_cc.end());
    return four_cc && byte_matches(row.flags_low, header.format_flags_low) &&
           byte_matches(row.flags_third, header.format_flags_third) &&
           byte_matches(row.bit_count, header.bit_count_low) && (!row.masks_compared || row.masks == header.masks);
}

// The first row the header matches; the table's size for none.
constexpr std::size_t matching_row(const TextureHeader& header) noexcept {
    std::size_t index = 0;
    while (index < std::size(recognition_rows) && !row_matches(recognition_rows[index], header)) ++index;
    return index;
}

// The pixel format of a header written from a row, as it is read.
constexpr TextureHeader written_pixel_format(const RecognitionRow& row) noexcept {
    TextureHeader header;
    std::copy(row.four_cc.begin(), row.four_cc.end(), header.four_cc.begin());
    header.format_flags_low = static_cast<std::uint8_t>(row.written_flags & 0xFFU);
    header.format_flags_third = static_cast<std::uint8_t>((row.written_flags >> 16U) & 0xFFU);
    header.bit_count_low = static_cast<std::uint8_t>(row.bit_count == any ? 0 : row.bit_count);
    header.masks = row.masks;
    return header;
}

// Every row written is the first match of the header written from it, and
// the first row written for its format.
constexpr bool written_rows_read_back() noexcept {
    for (std::size_t index = 0; index < std::size(recognition_rows); ++index) {
        const RecognitionRow& row = recognition_rows[index];
        if (row.written_flags == 0) continue;
        if (matching_row(written_pixel_format(row)) != index) return false;
        for (std::size_t earlier = 0; earlier < index; ++earlier) {
            if (recognition_rows[earlier].written_flags != 0 && recognition_rows[earlier].dxgi == row.dxgi) return false;
        }
    }
    return true;
}
static_assert(written_rows_read_back(), "a header written from the recognition table must be read back as its format");

// Header flags: which fields are valid. Those of every header written come
// first.
constexpr std::uint32_t flags_written = 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000;  // caps, height, width, pixel format, mip count
constexpr std::uint32_t flag_pitch = 0x8;
constexpr std::uint32_t flag_linear_size = 0x80000;
constexpr std::uint32_t flag_depth = 0x800000;
// Capability bits, and those that say what kind of texture it is.
constexpr std::uint32_t caps_texture = 0x1000;
constexpr std::uint32_t caps_complex = 0x8;             // more than one surface
constexpr std::uint32_t caps_mipmap = 0x400000;
constexpr std::uint32_t caps2_cube_map = 0x200;
constexpr std::uint32_t caps2_all_faces = 0xFC00;       // +X, -X, +Y, -Y, +Z, -Z
constexpr std::uint32_t caps2_volume = 0x200000;
constexpr std::uint32_t dimension_texture1d = 2;        // DX10 resource dimensions
constexpr std::uint32_t dimension_texture2d = 3;
constexpr std::uint32_t dimension_texture3d = 4;
constexpr std::uint32_t misc_texture_cube = 0x4;

}  // namespace

TextureHeader read_texture_header(std::span<const std::byte> bytes) noexcept {
    TextureHeader header;
    if (bytes.size() < texture_header_size) return header;
    std::memcpy(header.signature.data(), bytes.data() + header_offset::signature, header.signature.size());
    header.flags = load_u32(bytes, header_offset::flags);
    header.height = static_cast<std::int32_t>(load_u32(bytes, header_offset::height));
    header.width = static_cast<std::int32_t>(load_u32(bytes, header_offset::width));
    header.depth = load_u32(bytes, header_offset::depth);
    header.mip_count_low = static_cast<std::int8_t>(load_u8(bytes, header_offset::mip_count));
    header.format_flags_low = load_u8(bytes, header_offset::format_flags);
    header.format_flags_third = load_u8(bytes, header_offset::luminance_flags);
    std::memcpy(header.four_cc.data(), bytes.data() + header_offset::four_cc, header.four_cc.size());
    header.bit_count_low = load_u8(bytes, header_offset::bit_count);
    for (std::size_t i = 0; i < header.masks.size(); ++i) header.masks[i] = load_u32(bytes, header_offset::masks + 4 * i);
    header.caps2 = load_u32(bytes, header_offset::caps2);
    if (bytes.size() >= extended_header_size) {
        header.has_extension = true;
        header.dxgi_format = load_u32(bytes, header_offset::dxgi_format);
        header.resource_dimension = load_u32(bytes, header_offset::resource_dimension);
        header.misc_flag = load_u32(bytes, header_offset::misc_flag);
        header.array_size = load_u32(bytes, header_offset::array_size);
    }
    return header;
}

bool has_texture_signature(const TextureHeader& header) noexcept {
    return header.signature == texture_signature;
}

namespace {

// The DXGI format the recognition table finds, first match wins.
Reason recognise_format(const TextureHeader& header, DdsSurface& dds) noexcept {
    const std::size_t index = matching_row(header);
    if (index == std::size(recognition_rows)) return Reason::format_not_recognised;
    const RecognitionRow& row = recognition_rows[index];
    if (row.dxgi != from_extension) {
        dds.surface.format = row.dxgi;
        return Reason::none;
    }
    if (!header.has_extension) return Reason::short_extended_header;
    dds.header_bytes = extended_header_size;
    dds.surface.format = header.dxgi_format;
    return format_facts(header.dxgi_format) ? Reason::none : Reason::format_not_recognised;
}

// Legacy headers say what they are in caps2, the flags and the depth; a DX10
// file in its extension (resource dimension, misc flag, array size), which is
// all that is read for it.
Reason texture_type(const TextureHeader& header, bool extended, TextureType& type) noexcept {
    bool volume = false;
    bool cube = false;
    bool all_faces = true;
    if (extended) {
        const bool flat = header.resource_dimension == dimension_texture1d ||
                          header.resource_dimension == dimension_texture2d;
        volume = header.resource_dimension == dimension_texture3d;
        if ((!flat && !volume) || header.array_size != 1) return Reason::texture_array;
        cube = (header.misc_flag & misc_texture_cube) != 0;
    } else {
        volume = (header.caps2 & caps2_volume) != 0 || ((header.flags & flag_depth) != 0 && header.depth > 1);
        cube = (header.caps2 & caps2_cube_map) != 0;
        all_faces = (header.caps2 & caps2_all_faces) == caps2_all_faces;
    }
    type = volume ? TextureType::volume : cube ? TextureType::cube_map : TextureType::plain;
    if (volume && cube) return Reason::cube_map_and_volume;  // a header that says both describes no texture
    return cube && !all_faces ? Reason::partial_cube_map : Reason::none;
}

}  // namespace

DdsSurface read_dds_surface(std::span<const std::byte> file_start, std::uint64_t file_length) noexcept {
    DdsSurface dds;
    if (file_length < texture_header_size || file_start.size() < texture_header_size) return dds;
    const TextureHeader header = read_texture_header(
        file_start.first(static_cast<std::size_t>(std::min<std::uint64_t>(file_length, file_start.size()))));
    dds.reason = Reason::no_signature;
    if (!has_texture_signature(header)) return dds;
    // The level count is the low byte of the mip-map count, signed, with 1
    // for 0 or less.
    dds.surface.width = header.width;
    dds.surface.height = header.height;
    dds.surface.levels = header.mip_count_low > 0 ? header.mip_count_low : 1;
    dds.reason = recognise_format(header, dds);
    if (dds.reason != Reason::none) return dds;
    dds.reason = texture_type(header, dds.header_bytes == extended_header_size, dds.surface.type);
    if (dds.surface.type == TextureType::volume) {
        dds.surface.depth = static_cast<std::int32_t>(std::min<std::uint32_t>(header.depth, std::numeric_limits<std::int32_t>::max()));
    }
    return dds;
}

namespace {

void store_u32(std::span<std::byte> bytes, std::size_t offset, std::uint32_t value) noexcept {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::byte>(value >> (8 * i));
}

// A pitch or linear size must fit the signed range readers take it in.
constexpr std::uint64_t max_pitch = std::numeric_limits<std::int32_t>::max();
constexpr std::uint32_t pixel_format_size = 32;

// The first row written for a DXGI format; the table's end for none.
const RecognitionRow* row_written_for(std::uint32_t dxgi) noexcept {
    return std::find_if(std::begin(recognition_rows), std::end(recognition_rows),
                        [dxgi](const RecognitionRow& row) { return row.written_flags != 0 && row.dxgi == dxgi; });
}

}  // namespace

Reason write_dds_header(const Surface& surface, bool legacy, DdsHeaderImage& header) noexcept {
    const std::optional<FormatFacts> format = format_facts(surface.format);
    if (!format) return Reason::format_not_recognised;
    const bool volume = surface.type == TextureType::volume;
    const bool cube = surface.type == TextureType::cube_map;
    const std::int32_t depth = volume ? surface.depth : 1;
    if (surface.width <= 0 || surface.height <= 0 || depth <= 0) return Reason::side_not_positive;
    if (surface.levels < 1 || surface.levels > full_chain_levels(std::max({surface.width, surface.height, depth}))) {
        return Reason::level_count_out_of_range;
    }
    // A row of level 0 for pixels, the whole of level 0 (one slice) for blocks.
    const bool blocks = format->block_side > 1;
    const std::uint64_t side = format->block_side;
    const std::uint64_t pitch =
        blocks ? (static_cast<std::uint64_t>(surface.width) + side - 1) / side *
                     ((static_cast<std::uint64_t>(surface.height) + side - 1) / side) * format->block_bytes
               : static_cast<std::uint64_t>(surface.width) * format->block_bytes;
    if (pitch > max_pitch) return Reason::level_too_large;

    const RecognitionRow* written = legacy ? row_written_for(surface.format) : std::end(recognition_rows);
    if (written == std::end(recognition_rows)) written = row_written_for(from_extension);
    const RecognitionRow& row = *written;
    const bool extended = row.dxgi == from_extension;
    DdsHeaderImage image;
    image.size = extended ? extended_header_size : texture_header_size;
    const std::span<std::byte> bytes(image.bytes);
    std::transform(texture_signature.begin(), texture_signature.end(), bytes.begin(),
                   [](std::uint8_t b) { return static_cast<std::byte>(b); });
    const std::uint32_t levels = static_cast<std::uint32_t>(surface.levels);
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {header_offset::flags,
         flags_written | (blocks ? flag_linear_size : flag_pitch) | (volume ? flag_depth : 0)},
        {header_offset::height, static_cast<std::uint32_t>(surface.height)},
        {header_offset::width, static_cast<std::uint32_t>(surface.width)},
        {header_offset::pitch, static_cast<std::uint32_t>(pitch)},
        {header_offset::depth, static_cast<std::uint32_t>(depth)},
        {header_offset::mip_count, levels},
        {header_offset::format_size, pixel_format_size},
        {header_offset::format_flags, row.written_flags},
        {header_offset::bit_count, static_cast<std::uint32_t>(row.bit_count == any ? 0 : row.bit_count)},
        {header_offset::masks, row.masks[0]},
        {header_offset::masks + 4, row.masks[1]},
        {header_offset::masks + 8, row.masks[2]},
        {header_offset::masks + 12, row.masks[3]},
        {header_offset::caps, caps_texture | (levels > 1 ? caps_complex | caps_mipmap : 0) |
                                  (cube || volume ? caps_complex : 0)},
        {header_offset::caps2, cube ? caps2_cube_map | caps2_all_faces : volume ? caps2_volume : 0},
    };
    for (const auto& [offset, value] : fields) store_u32(bytes, offset, value);
    std::transform(row.four_cc.begin(), row.four_cc.end(), bytes.begin() + header_offset::four_cc,
                   [](char c) { return static_cast<std::byte>(c); });
    if (extended) {
        store_u32(bytes, header_offset::dxgi_format, surface.format);
        store_u32(bytes, header_offset::resource_dimension, volume ? dimension_texture3d : dimension_texture2d);
        store_u32(bytes, header_offset::misc_flag, cube ? misc_texture_cube : 0);
        store_u32(bytes, header_offset::array_size, 1);
    }
    header = image;
    return Reason::none;
}

}  // namespace ddsswizzle::engine
