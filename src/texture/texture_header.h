// The DDS header: the fields the conversion reads, the table that recognises
// a surface's layout rule from them, and the kind of texture it describes.
//
// A DDS file starts with the magic "DDS " and a 124-byte header structure,
// 128 bytes in all. A file whose pixel format carries the FourCC "DX10" has a
// further 20 bytes (the DXGI format, the resource dimension, the misc flag,
// the array size and a second misc word) before its payload. Headers are
// never changed: the conversion writes them back byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/level_chain.h"

namespace ddsswizzle {

inline constexpr std::size_t texture_header_size = 128;
inline constexpr std::size_t extended_header_size = 148;  // with the DX10 extension

// Byte offsets of the fields read (little-endian).
namespace header_offset {
inline constexpr std::size_t signature = 0;           // "DDS " then the 32-bit header size 124
inline constexpr std::size_t flags = 8;               // which header fields are valid
inline constexpr std::size_t height = 12;             // signed 32-bit, top level
inline constexpr std::size_t width = 16;              // signed 32-bit, top level
inline constexpr std::size_t depth = 24;              // slices of a volume texture
inline constexpr std::size_t mip_count = 28;          // low byte of the mip-map count, signed
inline constexpr std::size_t format_flags = 80;       // low byte of the pixel-format flags
inline constexpr std::size_t luminance_flags = 82;    // third byte of the pixel-format flags
inline constexpr std::size_t four_cc = 84;            // 4 characters
inline constexpr std::size_t bit_count = 88;          // low byte of the RGB bit count
inline constexpr std::size_t caps2 = 112;             // cube map faces, volume
inline constexpr std::size_t dxgi_format = 128;       // DX10 extension from here on
inline constexpr std::size_t resource_dimension = 132;
inline constexpr std::size_t misc_flag = 136;
inline constexpr std::size_t array_size = 140;
}  // namespace header_offset

inline constexpr std::array<std::uint8_t, 8> texture_signature = {0x44, 0x44, 0x53, 0x20,
                                                                  0x7C, 0x00, 0x00, 0x00};

// The fields of the header the conversion looks at. The DX10 fields are
// read only when the bytes given hold them (has_extension).
struct TextureHeader {
    std::array<std::uint8_t, 8> signature{};
    std::uint32_t flags = 0;
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::uint32_t depth = 0;
    std::int8_t mip_count_low = 0;
    std::uint8_t format_flags_low = 0;
    std::uint8_t format_flags_third = 0;
    std::array<char, 4> four_cc{};
    std::uint8_t bit_count_low = 0;
    std::uint32_t caps2 = 0;
    bool has_extension = false;
    std::uint32_t dxgi_format = 0;
    std::uint32_t resource_dimension = 0;
    std::uint32_t misc_flag = 0;
    std::uint32_t array_size = 0;
};

// bytes: at least the 128 header bytes; the DX10 fields are read from bytes
// 128 to 147 when bytes holds them.
TextureHeader read_texture_header(std::span<const std::byte> bytes) noexcept;

bool has_texture_signature(const TextureHeader& header) noexcept;

// The five kinds of surface the consoles store differently: what a layout
// moves as one element, and how its bytes are ordered.
enum class FormatClass {
    block16,     // 16-byte blocks of 4 x 4 pixels: DXT2, DXT3, DXT4, DXT5 (BC2, BC3)
    block8,      // 8-byte blocks of 4 x 4 pixels: DXT1 (BC1)
    pixel32,     // 4-byte pixels
    pixel16,     // 2-byte pixels
    luminance8,  // 1-byte pixels
};

// What the recognition table makes of a header.
struct SurfaceFormat {
    FormatClass format = FormatClass::block16;
    bool extended = false;  // recognised through the DX10 extension: payload at byte 148
};

enum class Recognition {
    recognised,
    unknown_format,         // no row of the table matches
    short_extended_header,  // FourCC "DX10" but the file ends before byte 148
};

// Runs the recognition table over the header, first match wins.
Recognition recognise_surface(const TextureHeader& header, SurfaceFormat& surface) noexcept;

enum class TextureType {
    plain,        // a 2D (or 1D) texture: one mip chain
    cube_map,     // six faces, each a whole mip chain, one after another
    volume,       // a 3D texture: each level slice after slice, depth from offset 24
    unsupported,  // a texture array, a cube map missing faces, or one that is also a volume
};

// Legacy headers say what they are in caps2, the flags and the depth; a DX10
// file in its extension (resource dimension, misc flag, array size), which is
// all that is read for it.
TextureType texture_type(const TextureHeader& header, bool extended) noexcept;

// Width from offset 16, height from offset 12, level count from the signed
// byte at offset 28, with 1 used when that byte is 0 or negative.
LevelChain texture_level_chain(const TextureHeader& header) noexcept;

}  // namespace ddsswizzle
