// The conversion plan: a surface checked for a console, or a DDS file image
// checked against its own length, and the conversion of its texture data.
//
// A DDS file is its header (128 bytes, or 148 with the DX10 extension),
// never changed, then the texture data, then whatever followed the texture
// data, unchanged. On the PS3 every layout keeps each level in its place, so
// the file keeps its length and the whole payload is converted as one buffer
// (bytes after the texture data are copied, or, for 16-bit pixels, swapped as
// everything else). On the Xbox 360 the console image pads every level to
// whole tiles and 4 KiB, so swiz makes the file longer and unswiz shorter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/surface_geometry.h"
#include "texture/texture_header.h"

namespace ddsswizzle::engine {

// The outcome of a check or a conversion: every reason belongs to one.
enum class Status : std::uint8_t {
    converted,
    not_a_texture,     // shorter than a header, or no "DDS " / 124 signature
    unknown_format,    // no row of the recognition table, or a format the console has no layout for
    unsupported_type,  // a texture array, a partial cube map, or a volume the console cannot hold
    unsupported_size,  // sides or levels the console's layout cannot convert without losing pixels
    truncated,         // the texture data the header describes is longer than the payload
};

Status status_of(Reason reason) noexcept;

// Bytes of texture data a conversion reads and writes: the linear levels and
// the console layout, one way or the other.
std::uint64_t data_in_size(const SurfaceGeometry& geometry, Direction direction) noexcept;
std::uint64_t data_out_size(const SurfaceGeometry& geometry, Direction direction) noexcept;

// Converts the texture data between layouts, from source into result. PS3:
// source and result are equally long and hold at least geometry.ps3_reach
// bytes; every byte of result is written (see morton.h and block_tiling.h).
// Xbox 360: source holds at least data_in_size bytes, result at least
// data_out_size, of which exactly those are written. Returns false, writing
// nothing, when the spans are not so.
bool convert_surface(const SurfaceGeometry& geometry, Direction direction, std::span<const std::byte> source,
                     std::span<std::byte> result) noexcept;

// The same conversion a piece at a time: writes bytes [begin, begin +
// piece.size()) of the result into piece (PS3: of a result as long as
// source; Xbox 360: of the data_out_size bytes written), and nothing else.
// Returns false, writing nothing, when the call above would refuse source or
// the piece reaches past the end of the result.
bool convert_surface_piece(const SurfaceGeometry& geometry, Direction direction, std::span<const std::byte> source,
                           std::uint64_t begin, std::span<std::byte> piece) noexcept;

// What a DDS file image asks for, checked in order: signature, recognition,
// the console's formats, texture type, sizes, payload length.
struct TexturePlan {
    Reason reason = Reason::short_file;
    DdsSurface dds;
    SurfaceGeometry geometry;  // when the surface is accepted
    // Texture data at the start of the payload, in the file as it is and as
    // it will be; the payload's remaining bytes follow it unchanged.
    std::uint64_t data_in = 0;
    std::uint64_t data_out = 0;
    std::uint64_t output_length = 0;  // of the converted file
};

// file_start holds the first bytes of the file: all of it, or at least the
// first extended_header_size bytes of a longer file.
TexturePlan plan_texture_conversion(std::span<const std::byte> file_start, std::uint64_t file_length,
                                    Direction direction, Console console) noexcept;

// Converts an accepted plan's file image, `file` (the whole file), into
// `converted`, exactly plan.output_length bytes: the header copied, the
// payload converted. False, writing nothing, for spans of other lengths.
bool convert_texture_image(const TexturePlan& plan, Direction direction, std::span<const std::byte> file,
                           std::span<std::byte> converted) noexcept;

// The same a piece at a time, for a file written while it converts: writes
// bytes [begin, begin + piece.size()) of the converted file image into
// piece, and nothing else, from the whole file held in memory. The pieces,
// taken in any order, make the same bytes as the call above; a piece of a
// few MiB costs no more a byte than the whole image. False, writing nothing,
// for a file of another length or a piece reaching past the converted
// image's end.
bool convert_texture_piece(const TexturePlan& plan, Direction direction, std::span<const std::byte> file,
                           std::uint64_t begin, std::span<std::byte> piece) noexcept;

}  // namespace ddsswizzle::engine
