// Reading the DDS header, recognising the surface's format and the kind of
// texture.
#include "texture/texture_header.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>

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
// empty FourCC. The row without a format defers to the DXGI format of the
// DX10 extension.
constexpr std::int16_t any = -1;
constexpr std::uint32_t from_extension = 0;

struct RecognitionRow {
    std::string_view four_cc;
    std::int16_t flags_low;    // byte 80: 0x40 RGB, 0x01 alpha pixels, 0x02 alpha only
    std::int16_t flags_third;  // byte 82: 0x02 luminance
    std::int16_t bit_count;    // byte 88
    std::uint32_t dxgi;        // the DXGI format with the same layout
};

// DXGI numbers of the legacy formats.
constexpr std::uint32_t bc1 = 71, bc2 = 74, bc3 = 77, bc4 = 80, bc4_signed = 81, bc5 = 83, bc5_signed = 84;
constexpr std::uint32_t b8g8r8a8 = 87, b8g8r8x8 = 88, b5g5r5a1 = 86, b5g6r5 = 85, r8g8 = 49, r16 = 56, r8 = 61, a8 = 65;
constexpr std::uint32_t rgba16_float = 10, rgba32_float = 2, r32_float = 41;

// Only single bytes are compared, so flags of 0x41 and 0x141 both match 0x41.
// The first six rows come first, whatever the later ones would say. DXT2 and
// DXT4 are DXT3 and DXT5 with premultiplied alpha, and RXGB a DXT5 with its
// channels moved: the same 16-byte blocks. Float formats have no FourCC of
// letters: Direct3D's format number stands in the FourCC field.
constexpr RecognitionRow recognition_rows[] = {
    {"DXT5", any, any, any, bc3},
    {"DXT3", any, any, any, bc2},
    {"DXT1", any, any, any, bc1},
    {"", 0x41, any, 32, b8g8r8a8},   // A8R8G8B8, A8B8G8R8
    {"", 0x41, any, 16, b5g5r5a1},   // A1R5G5B5, A4R4G4B4
    {"", any, 0x02, 8, r8},          // L8, A4L4
    {"", 0x40, any, 32, b8g8r8x8},   // X8R8G8B8, X8B8G8R8
    {"", 0x40, any, 16, b5g6r5},     // R5G6B5, X1R5G5B5, X4R4G4B4
    {"", 0x01, 0x02, 16, r8g8},      // A8L8
    {"", 0x00, 0x02, 16, r16},       // L16
    {"", 0x02, any, 8, a8},          // A8
    {"DX10", any, any, any, from_extension},
    {"DXT2", any, any, any, bc2},
    {"DXT4", any, any, any, bc3},
    {"ATI1", any, any, any, bc4},
    {"BC4U", any, any, any, bc4},
    {"BC4S", any, any, any, bc4_signed},
    {"ATI2", any, any, any, bc5},
    {"A2XY", any, any, any, bc5},
    {"BC5U", any, any, any, bc5},
    {"BC5S", any, any, any, bc5_signed},
    {"RXGB", any, any, any, bc3},
    {{"\x71\0\0\0", 4}, any, any, any, rgba16_float},  // D3DFMT_A16B16G16R16F
    {{"\x74\0\0\0", 4}, any, any, any, rgba32_float},  // D3DFMT_A32B32G32R32F
    {{"\x72\0\0\0", 4}, any, any, any, r32_float},     // D3DFMT_R32F
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

namespace {

// The DXGI format the recognition table finds, first match wins.
Reason recognise_format(const TextureHeader& header, DdsSurface& dds) noexcept {
    const auto* const row = std::find_if(std::begin(recognition_rows), std::end(recognition_rows),
                                         [&](const RecognitionRow& r) { return row_matches(r, header); });
    if (row == std::end(recognition_rows)) return Reason::format_not_recognised;
    if (row->dxgi != from_extension) {
        dds.surface.format = row->dxgi;
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

}  // namespace ddsswizzle::engine
