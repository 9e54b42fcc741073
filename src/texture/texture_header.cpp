// Reading the DDS header, recognising the surface's layout rule and the kind
// of texture.
#include "texture/texture_header.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

namespace ddsswizzle {
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
// the layout rule they select. A byte given as `any` is not compared, nor is
// an empty FourCC. Rows without a rule defer to the DXGI format of the DX10
// extension.
constexpr std::int16_t any = -1;

struct RecognitionRow {
    std::string_view four_cc;
    std::int16_t flags_low;    // byte 80: 0x40 RGB, 0x01 alpha pixels, 0x02 alpha only
    std::int16_t flags_third;  // byte 82: 0x02 luminance
    std::int16_t bit_count;    // byte 88
    std::optional<FormatClass> format;
};

// Only single bytes are compared, so flags of 0x41 and 0x141 both match 0x41.
// The first six rows come first, whatever the later ones would say. DXT2 and
// DXT4 are DXT3 and DXT5 with premultiplied alpha: the same 16-byte blocks.
constexpr RecognitionRow recognition_rows[] = {
    {"DXT5", any, any, any, FormatClass::block16},
    {"DXT3", any, any, any, FormatClass::block16},
    {"DXT1", any, any, any, FormatClass::block8},
    {"", 0x41, any, 32, FormatClass::pixel32},     // A8R8G8B8, A8B8G8R8
    {"", 0x41, any, 16, FormatClass::pixel16},     // A1R5G5B5, A4R4G4B4
    {"", any, 0x02, 8, FormatClass::luminance8},   // L8, A4L4
    {"", 0x40, any, 32, FormatClass::pixel32},     // X8R8G8B8, X8B8G8R8
    {"", 0x40, any, 16, FormatClass::pixel16},     // R5G6B5, X1R5G5B5, X4R4G4B4
    {"", 0x01, 0x02, 16, FormatClass::pixel16},    // A8L8
    {"", 0x00, 0x02, 16, FormatClass::pixel16},    // L16
    {"", 0x02, any, 8, FormatClass::luminance8},   // A8
    {"DX10", any, any, any, std::nullopt},
    {"DXT2", any, any, any, FormatClass::block16},
    {"DXT4", any, any, any, FormatClass::block16},
};

// DXGI formats, as ranges of their numbers, and the layout rule each is
// stored with. Float, depth and wider formats have no console layout here.
struct DxgiRange {
    std::uint32_t first;
    std::uint32_t last;
    FormatClass format;
};

constexpr DxgiRange dxgi_formats[] = {
    {27, 32, FormatClass::pixel32},      // R8G8B8A8: typeless, unorm, srgb, uint, snorm, sint
    {87, 88, FormatClass::pixel32},      // B8G8R8A8, B8G8R8X8 unorm
    {90, 93, FormatClass::pixel32},      // B8G8R8A8, B8G8R8X8 typeless and srgb
    {85, 86, FormatClass::pixel16},      // B5G6R5, B5G5R5A1
    {115, 115, FormatClass::pixel16},    // B4G4R4A4
    {48, 53, FormatClass::pixel16},      // R8G8 family, R16 typeless
    {56, 59, FormatClass::pixel16},      // R16 unorm, uint, snorm, sint
    {60, 65, FormatClass::luminance8},   // R8 family, A8
    {70, 72, FormatClass::block8},       // BC1
    {73, 78, FormatClass::block16},      // BC2, BC3
};

bool byte_matches(std::int16_t wanted, std::uint8_t actual) noexcept {
    return wanted == any || wanted == actual;
}

bool row_matches(const RecognitionRow& row, const TextureHeader& header) noexcept {
    const bool four_cc = row.four_cc.empty() || std::equal(header.four_cc.begin(), header.four_cc.end(),
                                                           row.four_cc.begin(), row.four_cc.end());
    return four_cc && byte_matches(row.flags_low, header.format_flags_low) &&
           byte_matches(row.flags_third, header.format_flags_third) &&
           byte_matches(row.bit_count, header.bit_count_low);
}

// Header flag and capability bits that say what kind of texture it is.
constexpr std::uint32_t flag_depth = 0x800000;          // DDSD_DEPTH: the depth field is valid
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

Recognition recognise_surface(const TextureHeader& header, SurfaceFormat& surface) noexcept {
    const auto* const row = std::find_if(std::begin(recognition_rows), std::end(recognition_rows),
                                         [&](const RecognitionRow& r) { return row_matches(r, header); });
    if (row == std::end(recognition_rows)) return Recognition::unknown_format;
    if (row->format) {
        surface = {*row->format, false};
        return Recognition::recognised;
    }
    if (!header.has_extension) return Recognition::short_extended_header;
    const auto* const range = std::find_if(std::begin(dxgi_formats), std::end(dxgi_formats), [&](const DxgiRange& r) {
        return header.dxgi_format >= r.first && header.dxgi_format <= r.last;
    });
    if (range == std::end(dxgi_formats)) return Recognition::unknown_format;
    surface = {range->format, true};
    return Recognition::recognised;
}

TextureType texture_type(const TextureHeader& header, bool extended) noexcept {
    bool volume = false;
    bool cube = false;
    bool all_faces = true;
    if (extended) {
        const bool flat = header.resource_dimension == dimension_texture1d ||
                          header.resource_dimension == dimension_texture2d;
        volume = header.resource_dimension == dimension_texture3d;
        if ((!flat && !volume) || header.array_size != 1) return TextureType::unsupported;
        cube = (header.misc_flag & misc_texture_cube) != 0;
    } else {
        volume = (header.caps2 & caps2_volume) != 0 || ((header.flags & flag_depth) != 0 && header.depth > 1);
        cube = (header.caps2 & caps2_cube_map) != 0;
        all_faces = (header.caps2 & caps2_all_faces) == caps2_all_faces;
    }
    // A header that says both cube map and volume describes no texture.
    if (volume) return cube ? TextureType::unsupported : TextureType::volume;
    if (!cube) return TextureType::plain;
    return all_faces ? TextureType::cube_map : TextureType::unsupported;
}

LevelChain texture_level_chain(const TextureHeader& header) noexcept {
    LevelChain chain;
    chain.width = header.width;
    chain.height = header.height;
    chain.level_count = header.mip_count_low > 0 ? header.mip_count_low : 1;
    return chain;
}

}  // namespace ddsswizzle
