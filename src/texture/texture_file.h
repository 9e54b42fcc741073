// The in-place conversion of a DDS texture: what a file's header asks for,
// checked against the file's length, and the conversion of its payload.
//
// The header (128 bytes, or 148 with the DX10 extension) is never changed:
// the rewritten file is the same header followed by the converted payload.
// A cube map's payload is its six faces one after another, each a whole mip
// chain converted as a 2D texture of its own would be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "layout/level_chain.h"
#include "texture/texture_header.h"

namespace ddsswizzle {

// Element size the class's level walk moves: bytes per pixel or per block.
std::uint32_t element_bytes(FormatClass format) noexcept;
bool is_block_class(FormatClass format) noexcept;

// Bytes the class's level walk counts for the chain, and for its top level.
std::uint64_t counted_levels_size(FormatClass format, const LevelChain& chain) noexcept;
std::uint64_t top_level_size(FormatClass format, const LevelChain& chain) noexcept;

// Bytes a DDS file stores for the chain: every level at least one pixel (or
// one block) on each side, sides halved and never below 1, over all the
// chain's levels. For block classes this is more than the walk counts for
// levels narrower than 4 pixels. Saturates instead of wrapping.
std::uint64_t stored_levels_size(FormatClass format, const LevelChain& chain) noexcept;

// Outcome of one conversion. Every value but converted and not_confirmed
// leaves the file as it was; not_confirmed leaves it converted.
enum class ConversionStatus {
    converted,
    cannot_open,       // missing, unreadable, or not writable by this user
    not_a_texture,     // shorter than a header, or no "DDS " / 124 signature
    unknown_format,    // no row of the recognition table matches
    unsupported_type,  // a volume, a texture array, or a cube map missing faces
    unsupported_size,  // sides the layouts cannot convert without losing pixels
    truncated,         // the levels (or six faces) need more than the payload holds
    cannot_write,      // the rewrite failed; the original is still in place
    out_of_memory,     // the buffers could not be allocated
    not_confirmed,     // converted and renamed into place, but the folder could not be flushed to the disk
};

// What the header says about a file of file_length bytes, checked in order:
// signature, recognition, texture type, sizes, payload length.
struct TexturePlan {
    ConversionStatus status = ConversionStatus::not_a_texture;
    FormatClass format = FormatClass::block16;
    LevelChain chain{};
    std::size_t header_bytes = texture_header_size;  // where the payload starts
    std::uint32_t faces = 1;                         // 6 for a cube map
    std::uint64_t face_bytes = 0;  // payload of each face; a 2D texture's face is the whole payload
};

// file_start holds the first bytes of the file: all of it, or at least the
// first extended_header_size bytes of a longer file.
TexturePlan plan_texture_conversion(std::span<const std::byte> file_start,
                                    std::uint64_t file_length) noexcept;

// Exchanges the two bytes of each 16-bit word, from offset 0; an odd last
// byte has no partner and stays as it is.
void swap_16bit_words(std::span<std::byte> buffer) noexcept;

// Runs the plan's layout transform over the payload from source into result
// (same length): each face in turn, the bytes after the faces copied, then
// the byte swap of the 16-bit class over the whole payload. Every byte of
// result is written.
void convert_payload(const TexturePlan& plan, std::span<const std::byte> source, std::span<std::byte> result,
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
