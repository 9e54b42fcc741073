// The in-place conversion of a DDS texture: what a file's header asks for,
// checked against the file's length, and the conversion of its payload for
// the console asked for.
//
// The header (128 bytes, or 148 with the DX10 extension) is never changed:
// the rewritten file is the same header followed by the converted texture
// data and then, unchanged, whatever followed the texture data.
//
// PS3: every layout keeps each level where it is, so the texture data is the
// whole payload and the file keeps its length. A cube map's payload is its
// six faces one after another, each a whole mip chain converted as a 2D
// texture of its own would be; a volume's levels are each put in
// three-dimensional Morton order.
//
// Xbox 360: the console image pads every level to whole tiles and 4 KiB, so
// it is longer than the linear levels a DDS file stores; swiz makes the file
// longer and unswiz shorter by that padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "layout/level_chain.h"
#include "layout/x360_tiling.h"
#include "texture/texture_header.h"

namespace ddsswizzle {

// Which console's layout the texture is converted to or from.
enum class Console { ps3, x360 };

// Element size the class's level walk moves: bytes per pixel or per block.
std::uint32_t element_bytes(FormatClass format) noexcept;
bool is_block_class(FormatClass format) noexcept;

// Bytes the class's PS3 level walk counts for the chain, and for its top level.
std::uint64_t counted_levels_size(FormatClass format, const LevelChain& chain) noexcept;
std::uint64_t top_level_size(FormatClass format, const LevelChain& chain) noexcept;

// Bytes a DDS file stores for the chain: every level at least one pixel (or
// one block) on each side, sides halved and never below 1, over all the
// chain's levels. For block classes this is more than the PS3 walk counts for
// levels narrower than 4 pixels. Saturates instead of wrapping.
std::uint64_t stored_levels_size(FormatClass format, const LevelChain& chain) noexcept;

// Outcome of one conversion. Every value but converted and not_confirmed
// leaves the file as it was; not_confirmed leaves it converted.
enum class ConversionStatus {
    converted,
    cannot_open,       // missing, unreadable, or not writable by this user
    not_a_texture,     // shorter than a header, or no "DDS " / 124 signature
    unknown_format,    // no row of the recognition table matches
    unsupported_type,  // a texture array, a partial cube map, or a volume the console cannot hold
    unsupported_size,  // sides or levels the console's layout cannot convert without losing pixels
    truncated,         // the texture data the header describes is longer than the payload
    cannot_write,      // the rewrite failed; the original is still in place
    out_of_memory,     // the buffers could not be allocated
    not_confirmed,     // converted and renamed into place, but the folder could not be flushed to the disk
};

// What the header says about a file of file_length bytes, checked in order:
// signature, recognition, texture type, sizes, payload length.
struct TexturePlan {
    ConversionStatus status = ConversionStatus::not_a_texture;
    Console console = Console::ps3;
    FormatClass format = FormatClass::block16;
    TextureType type = TextureType::plain;
    LevelChain chain{};                              // width, height and level count from the header
    std::int32_t depth = 1;                          // slices of a volume's top level
    std::size_t header_bytes = texture_header_size;  // where the payload starts
    std::uint32_t faces = 1;                         // 6 for a cube map
    std::uint64_t face_bytes = 0;  // PS3: payload of each face; a 2D texture's or volume's is the whole payload
    X360Surface surface{};         // Xbox 360: the surface as its tiling sees it
    // Texture data at the start of the payload, in the file as it is and as it
    // will be; the payload's remaining bytes follow it unchanged.
    std::uint64_t data_in = 0;
    std::uint64_t data_out = 0;
    std::uint64_t output_length = 0;  // of the converted file
};

// file_start holds the first bytes of the file: all of it, or at least the
// first extended_header_size bytes of a longer file.
TexturePlan plan_texture_conversion(std::span<const std::byte> file_start, std::uint64_t file_length,
                                    Direction direction, Console console) noexcept;

// Exchanges the two bytes of each 16-bit word, from offset 0; an odd last
// byte has no partner and stays as it is.
void swap_16bit_words(std::span<std::byte> buffer) noexcept;

// Runs the plan's layout transform over the payload, from source (the
// payload as it is) into result (the payload as it will be, output_length
// minus the header bytes long). PS3: each face in turn (or the volume's
// levels), the bytes after them copied, then the byte swap of the 16-bit
// class over the whole payload. Xbox 360: the texture data tiled or untiled,
// then the bytes after it copied. Every byte of result is written.
void convert_payload(const TexturePlan& plan, std::span<const std::byte> source, std::span<std::byte> result,
                     Direction direction) noexcept;

// Converts a whole texture image held in memory into converted, which must
// be the plan's output_length long: the header is copied unchanged, the
// payload converted. On any status but converted, converted is left
// untouched (a converted of the wrong length gives cannot_write).
ConversionStatus convert_texture_image(std::span<const std::byte> file, std::span<std::byte> converted,
                                       Direction direction, Console console) noexcept;

// Converts the texture file at path in place. The new contents go to a
// temporary file beside the target which then replaces it, so the file is
// either fully converted or left exactly as it was. A symbolic link is
// followed and stays a link; the target's permission bits are kept.
ConversionStatus convert_texture_file(const std::filesystem::path& path, Direction direction, Console console);

}  // namespace ddsswizzle
