// DDS texture files: the header fields the conversion reads, the surface
// classes it knows, and the in-place conversion of a whole file.
//
// A DDS file is a 128-byte header followed by the payload, the mip levels
// stored one after another from the largest. The header is never changed:
// the rewritten file is the same 128 bytes followed by the converted payload.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "layout/level_chain.h"

namespace ddsswizzle {

inline constexpr std::size_t texture_header_size = 128;

// Byte offsets of the fields read from the header (little-endian).
namespace header_offset {
inline constexpr std::size_t signature = 0;    // "DDS " then the 32-bit header size 124
inline constexpr std::size_t height = 12;      // signed 32-bit, top level
inline constexpr std::size_t width = 16;       // signed 32-bit, top level
inline constexpr std::size_t mip_count = 28;   // low byte of the mip-map count, signed
inline constexpr std::size_t format_flags = 80;      // low byte of the pixel-format flags
inline constexpr std::size_t luminance_flags = 82;   // third byte of the pixel-format flags
inline constexpr std::size_t four_cc = 84;     // 4 characters
inline constexpr std::size_t bit_count = 88;   // low byte of the RGB bit count
}  // namespace header_offset

inline constexpr std::array<std::uint8_t, 8> texture_signature = {0x44, 0x44, 0x53, 0x20,
                                                                  0x7C, 0x00, 0x00, 0x00};
inline constexpr std::uint8_t rgb_with_alpha_flags = 0x41;  // DDPF_RGB | DDPF_ALPHAPIXELS
inline constexpr std::uint8_t luminance_flag = 0x02;        // DDPF_LUMINANCE, bit 17

// The fields of the header the conversion looks at.
struct TextureHeader {
    std::array<std::uint8_t, 8> signature{};
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int8_t mip_count_low = 0;
    std::uint8_t format_flags_low = 0;
    std::uint8_t format_flags_third = 0;
    std::array<char, 4> four_cc{};
    std::uint8_t bit_count_low = 0;
};

TextureHeader read_texture_header(std::span<const std::byte, texture_header_size> bytes) noexcept;

bool has_texture_signature(const TextureHeader& header) noexcept;

// Surface classes, tested in this order; the first that matches wins.
enum class FormatClass {
    block16,     // FourCC "DXT5" or "DXT3": 16-byte blocks
    block8,      // FourCC "DXT1": 8-byte blocks
    pixel32,     // flags byte 0x41 and 32 bits per pixel
    pixel16,     // flags byte 0x41 and 16 bits per pixel, words byte-swapped
    luminance8,  // luminance flag and 8 bits per pixel
};

std::optional<FormatClass> classify_texture(const TextureHeader& header) noexcept;

// Width from offset 16, height from offset 12, level count from the signed
// byte at offset 28, with 1 used when that byte is 0 or negative.
LevelChain texture_level_chain(const TextureHeader& header) noexcept;

// Element size the class's level walk moves: bytes per pixel or per block.
std::uint32_t element_bytes(FormatClass format) noexcept;
bool is_block_class(FormatClass format) noexcept;

// Bytes the class's level walk counts for the chain, and for its top level.
std::uint64_t counted_levels_size(FormatClass format, const LevelChain& chain) noexcept;
std::uint64_t top_level_size(FormatClass format, const LevelChain& chain) noexcept;

// Outcome of one conversion; every value but converted leaves the file as it was.
enum class ConversionStatus {
    converted,
    cannot_open,       // missing, unreadable, or not writable by this user
    not_a_texture,     // shorter than a header, or no "DDS " / 124 signature
    unknown_format,    // no surface class matches
    unsupported_size,  // sides the layouts cannot convert without losing pixels
    truncated,         // the levels add up to more than the payload holds
    cannot_write,      // the rewrite failed; the original is still in place
    out_of_memory,     // the buffers could not be allocated
};

// What the header says about a file of file_length bytes, checked in order:
// signature, class, sizes, payload length.
struct TexturePlan {
    ConversionStatus status = ConversionStatus::not_a_texture;
    FormatClass format = FormatClass::block16;
    LevelChain chain{};
};

TexturePlan plan_texture_conversion(std::span<const std::byte> file_start,
                                    std::uint64_t file_length) noexcept;

// Exchanges the two bytes of each 16-bit word, from offset 0; an odd last
// byte has no partner and stays as it is.
void swap_16bit_words(std::span<std::byte> buffer) noexcept;

// Runs the class's layout transform from source into result (same length),
// including the byte swap of the 16-bit class. Every byte of result is written.
void convert_payload(FormatClass format, const LevelChain& chain,
                     std::span<const std::byte> source, std::span<std::byte> result,
                     Direction direction) noexcept;

// Converts a whole texture image held in memory into converted (same length
// as file): the header is copied unchanged, the payload converted. On any
// status but converted, converted is left untouched.
ConversionStatus convert_texture_image(std::span<const std::byte> file,
                                       std::span<std::byte> converted,
                                       Direction direction) noexcept;

// Converts the texture file at path in place. The new contents go to a
// temporary file beside the target which then replaces it, so the file is
// either fully converted or left exactly as it was. A symbolic link is
// followed and stays a link; the target's permission bits are kept.
ConversionStatus convert_texture_file(const std::filesystem::path& path, Direction direction);

}  // namespace ddsswizzle
