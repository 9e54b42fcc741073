// The DDS header: the fields the conversion reads, the table that recognises
// a surface's format from them, and the kind of texture it describes.
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

#include "layout/surface_geometry.h"

namespace ddsswizzle::engine {

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

// What a DDS header describes: the surface, as far as the header could be
// read, where its payload starts, and why it is refused (Reason::none when it
// is not). A header is refused here only for what it says of itself: no
// signature, no format of the recognition table, a kind of texture no
// console stores; whether a console can hold the surface is for
// lay_out_surface.
struct DdsSurface {
    Reason reason = Reason::short_file;
    Surface surface;
    std::size_t header_bytes = texture_header_size;  // where the payload starts: 128, or 148 with the DX10 extension
};

// file_start: the first bytes of a file of file_length bytes (all of it, or at
// least the first extended_header_size bytes).
DdsSurface read_dds_surface(std::span<const std::byte> file_start, std::uint64_t file_length) noexcept;

}  // namespace ddsswizzle::engine
