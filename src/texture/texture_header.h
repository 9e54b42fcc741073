// The DDS header: the fields the conversion reads, the table that recognises
// a surface's format from them, the kind of texture it describes, and the
// header written for a surface, from the same table.
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

// Byte offsets of the fields read and written (little-endian).
namespace header_offset {
inline constexpr std::size_t signature = 0;           // "DDS " then the 32-bit header size 124
inline constexpr std::size_t flags = 8;               // which header fields are valid
inline constexpr std::size_t height = 12;             // signed 32-bit, top level
inline constexpr std::size_t width = 16;              // signed 32-bit, top level
inline constexpr std::size_t pitch = 20;              // written only: bytes of a row, or of level 0 when compressed
inline constexpr std::size_t depth = 24;              // slices of a volume texture
inline constexpr std::size_t mip_count = 28;          // low byte of the mip-map count, signed
inline constexpr std::size_t format_size = 76;        // written only: the pixel-format structure's size, 32
inline constexpr std::size_t format_flags = 80;       // low byte of the pixel-format flags
inline constexpr std::size_t luminance_flags = 82;    // third byte of the pixel-format flags
inline constexpr std::size_t four_cc = 84;            // 4 characters
inline constexpr std::size_t bit_count = 88;          // low byte of the RGB bit count
inline constexpr std::size_t masks = 92;              // red, green, blue and alpha bit masks, 4 bytes each
inline constexpr std::size_t caps = 108;              // written only: texture, mip map, complex
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
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
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

// The header written for a surface: 128 bytes, or 148 with the DX10
// extension.
struct DdsHeaderImage {
    std::array<std::byte, extended_header_size> bytes{};
    std::size_t size = 0;
};

// Writes the DDS header describing a surface (its type, level 0's sides, the
// depth of a volume, its levels), which read_dds_surface reads back as that
// surface; the payload that follows it is the linear layout.
//
// The pixel format is the first row of the recognition table that is written
// for the format when legacy is true and there is one: the FourCCs DXT1,
// DXT3, DXT5, ATI1 (BC4_UNORM) and ATI2 (BC5_UNORM), Direct3D's numbers 113,
// 116 and 114 for the three float formats, and flags, bit count and masks for
// A8R8G8B8, X8R8G8B8, A8B8G8R8, R5G6B5, A1R5G5B5, A4R4G4B4, L8, A8L8, L16 and
// A8, the legacy headers DDS readers expect for those formats. Any other
// format, and every format when legacy is false, gets the DX10 extension
// (resource dimension 3, or 4 for a volume; misc flag 0x4 for a cube map;
// array size 1).
//
// The other fields are set as common writers set them: flags caps, height,
// width, pixel format and mip count, with pitch (the bytes of a row of level
// 0) for pixels or linear size (the bytes of level 0, one slice) for blocks,
// and depth for a volume; the mip count, also when 1; caps texture, with
// complex and mip map for more than one level and complex for a cube map or
// volume; caps2 a cube map with all six faces, or volume.
//
// Refused, header untouched: a format with no row in the format table
// (format_not_recognised); a side zero or negative (side_not_positive); no
// level, or more than the longest side allows (level_count_out_of_range:
// readers refuse such a chain, though a DDS file may say it); a pitch or
// linear size of 2 GiB or more (level_too_large: it would not fit its field).
// A shape no console converts is still a valid DDS texture and is written:
// sides not powers of two or above 8192, compressed volumes, non-square cube
// maps.
Reason write_dds_header(const Surface& surface, bool legacy, DdsHeaderImage& header) noexcept;

}  // namespace ddsswizzle::engine
