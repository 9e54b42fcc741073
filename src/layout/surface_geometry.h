// One texture surface, laid out once: whether a console can hold it, and for
// every level its sides and where its bytes are, in the linear layout a DDS
// file stores and in the console's layout. Everything else (the walks, the
// checks of a DDS file, the library's sizes and placements) reads this.
//
// The linear layout is what a DDS file stores: face after face (one, or six
// for a cube map), each with all its levels from the largest, every level
// max(1, W >> l) x max(1, H >> l) (x max(1, D >> l) for a volume) pixels in
// whole blocks, levels one after another with no gaps.
//
// The PS3 keeps every level in its place and reorders the elements inside
// it. Which bytes its walks count as a level is the PS3 rule's own: for
// pixels and compressed blocks in a 2D texture or cube map, a level is
// (W >> l) x (H >> l) pixels with no lower bound of 1, counted as width x
// height x block bytes / 16 for blocks (fewer bytes than a file stores for
// levels narrower than 4 pixels), and the chain ends at the first level with
// a side of 0; for the float formats (R32_FLOAT as the wider texels) and for
// volumes, the levels are those the file stores, down to the 1 x 1 level.
//
// The Xbox 360 draws every level into a tiled region of its own memory image
// (see x360_tiling.h); the image is longer than the linear levels.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "layout/format_table.h"

namespace ddsswizzle::engine {

// swizzle reads linear data and writes console layout; unswizzle reads console
// layout and writes linear data. Each layout uses one index rule f for both
// ways: swizzle sends the element at linear position i to position f(i),
// unswizzle reads the element at f(i) and puts it at linear position i.
enum class Direction : std::uint8_t { swizzle, unswizzle };

enum class TextureType : std::uint8_t {
    plain,     // a 2D (or 1D) texture: one chain of levels
    cube_map,  // six faces, each a whole chain of levels
    volume,    // a 3D texture: each level slice after slice
};

// A texture as the layouts see it.
struct Surface {
    std::uint32_t format = 0;  // DXGI number
    TextureType type = TextureType::plain;
    std::int32_t width = 0;    // level 0, in pixels
    std::int32_t height = 0;
    std::int32_t depth = 1;    // slices of a volume; read for volumes only
    std::int32_t levels = 1;
};

// Why a texture is refused, from its header to its sizes. The first group is
// found in a DDS header, the others in the surface it describes (and the
// last, truncated, in the length of its data).
enum class Reason : std::uint8_t {
    none,
    // not a DDS texture
    short_file,               // shorter than the 128-byte header
    no_signature,             // no "DDS " followed by the header size 124
    short_extended_header,    // FourCC "DX10" in a file shorter than 148 bytes
    // unknown format
    format_not_recognised,    // the header names no format of the recognition table
    format_not_on_console,    // a format this console has no layout for
    // unsupported texture type
    texture_array,            // an array of textures, or a DX10 resource dimension that is no texture
    partial_cube_map,         // a cube map without all six faces
    cube_map_and_volume,      // a header that says both
    volume_not_on_console,    // a volume of compressed blocks (PS3), any volume (Xbox 360)
    // unsupported size
    side_not_positive,        // a side zero or negative
    width_not_power_of_two,   // PS3 Morton order maps pixels one to one only on power-of-two sides
    height_not_power_of_two,
    depth_not_power_of_two,
    side_above_limit,         // Xbox 360: a side above 8192
    level_count_out_of_range, // more levels than the longest side allows (or than 127), or none
    level_too_large,          // PS3: a level of 2 GiB or more
    // truncated
    data_short,               // the data is shorter than the texture it should hold
};

inline constexpr std::int32_t max_levels = 127;  // what the signed mip-count byte of a DDS header can say

// Levels from a longest side (above 0) down to 1 (x 1 x 1):
// floor(log2(longest)) + 1, the most a chain with that side holds.
constexpr std::int32_t full_chain_levels(std::int32_t longest) noexcept {
    return static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(longest)));
}
inline constexpr std::size_t max_level_entries = 32;  // a side below 2^31 reaches 1 x 1 by level 31

// One level of one face: offsets are those of face 0; face f's linear levels
// start f x linear_face_bytes further, its Xbox 360 slices f x x360_slice.
struct LevelGeometry {
    std::uint32_t width = 1;  // pixels
    std::uint32_t height = 1;
    std::uint32_t depth = 1;
    std::uint32_t blocks_wide = 1;  // whole blocks of one slice
    std::uint32_t blocks_high = 1;
    std::uint64_t linear_offset = 0;
    std::uint64_t linear_bytes = 0;
    std::uint64_t ps3_offset = 0;  // the bytes the PS3 walk converts as this level (0 bytes: none)
    std::uint64_t ps3_bytes = 0;
    std::uint64_t x360_region = 0;  // face 0's slice of the region the level is drawn in
    std::uint64_t x360_slice = 0;   // one face's slice of that region, a multiple of 4 KiB
    std::uint32_t x360_pitch = 0;   // the region's sides in blocks, multiples of 32
    std::uint32_t x360_rows = 0;
    std::uint32_t x360_x = 0;       // where the level is drawn in the region, in blocks
    std::uint32_t x360_y = 0;
};

struct SurfaceGeometry {
    Surface surface;
    FormatFacts format;
    Console console = Console::ps3;
    std::uint32_t faces = 1;
    // The first `entries` levels; a level after them is 1 x 1 (x 1), one
    // block in the linear layout, and converts to nothing on the PS3.
    std::uint32_t entries = 0;
    std::array<LevelGeometry, max_level_entries> levels{};
    std::uint64_t linear_face_bytes = 0;
    std::uint64_t linear_size = 0;   // every face
    std::uint64_t console_size = 0;  // PS3: the linear size; Xbox 360: the memory image
    // PS3: the bytes the walks reach, from the start of the data: a 2D
    // chain's counted levels, or every face of a cube map or volume.
    std::uint64_t ps3_reach = 0;
};

// Checks the surface for the console, in order: format, texture type, sizes;
// on none, fills geometry. Sizes are bounded once accepted (a PS3 level
// below 2 GiB, Xbox 360 sides of at most 8192), so no size here overflows.
Reason lay_out_surface(const Surface& surface, Console console, SurfaceGeometry& geometry) noexcept;

// Where a level of a face is, in both layouts. For a level past the entries,
// its linear place and, on the Xbox 360 (which has no such levels), nothing.
struct LevelPlace {
    std::uint64_t linear_offset = 0;
    std::uint64_t linear_bytes = 0;
    std::uint64_t console_offset = 0;
    std::uint64_t console_bytes = 0;
};
LevelPlace place_level(const SurfaceGeometry& geometry, std::uint32_t level, std::uint32_t face) noexcept;

}  // namespace ddsswizzle::engine
