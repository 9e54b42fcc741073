// Tiled layout of Xbox 360 textures: the address of one block inside a tiled
// surface, where each mip level (and each cube face) sits in the console's
// memory image, and the walk that converts a whole texture between the levels
// a DDS file stores one after another and that image.
//
// Tiles. The console stores a level as a surface `pitch` blocks wide and
// `rows` blocks high, both multiples of 32 (a block is a pixel, or a 4 x 4
// block of a DXT format). The surface is cut into 32 x 32-block macro tiles,
// numbered row by row; a tile's number supplies the high bits of a block's
// address. Inside a tile, columns 0-2 and rows 1-3 count through an 8 x 16
// micro tile, row bit 0 always lands on address bit 4, columns 3-4 pick one
// of four 64-byte "pipes" (column 4 flipped on rows 8-15 and 24-31), and row
// bit 4 picks one of two 2 KiB "banks". The result keeps runs of 16 bytes
// together (8 for 1-byte blocks) and spreads the rest so that the GPU's
// memory channels are used evenly.
//
// Regions. The image holds one region for level 0 (the base) and then one
// region for each further level, in level order. A region holds one slice per
// face, each slice padded to a multiple of 4 KiB: with small blocks several
// tiles share a 4 KiB page, so a surface that does not fill its last page
// leaves holes in it, and whole pages keep every region and face on the
// page boundary the GPU needs a texture address to start on. The base
// region is the real size rounded up to 32 blocks.
// The mip regions are sized from the size rounded up to powers of two,
// halved once per level: the texture unit finds a mip from the base size
// alone and assumes power-of-two steps, so a 100 x 60 texture's level 1
// (50 x 30) sits in the region of a 64 x 32 level.
//
// Packed tail. A level at most 16 pixels on its shorter side (after that
// rounding) would waste most of its 32 x 32-block region, so all such levels
// share the region of the first of them, the tail, each drawn at its own
// offset: the first three along the shorter side at 16, 8 and 4 pixels, the
// rest along the longer side at halving offsets. When even level 0 is that
// small, one region sized like level 0 of the power-of-two texture holds every
// level, level 0 included, and there is no base region. A texture of one
// level is never packed.
//
// Byte order. The console reads texels as big-endian words: 16-bit pixels
// and every 16-bit word of a compressed block have their two bytes swapped,
// 32-bit pixels their four bytes reversed. The image is the DDS payload
// swapped, then tiled; every byte of the image no block lands on is zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/surface_geometry.h"

namespace ddsswizzle::engine {

inline constexpr std::uint32_t x360_tile_side = 32;        // blocks on a macro tile's side
inline constexpr std::uint64_t x360_page_bytes = 4096;     // slices are padded to whole pages
inline constexpr std::int32_t x360_max_side = 8192;        // pixels
inline constexpr std::uint32_t x360_tail_short_side = 16;  // pixels: levels this small share the tail

// Byte offset of block (x, y) in a tiled surface `pitch` blocks wide (a
// multiple of 32), blocks of 2^log2_bytes bytes.
//
// The counter u numbers the blocks tile by tile (tile number in the high
// bits), and inside a tile by micro tile position: columns 0-2, then rows 1-3.
// Scaled to bytes, its bits are spread over the address around the bits that
// come straight from the coordinates: row bit 0 (address bit 4), the pipe
// (bits 6-7: columns 3-4, column 4 flipped by row bit 3) and the bank (bit 11:
// row bit 4).
constexpr std::uint64_t x360_tiled_address(std::uint32_t x, std::uint32_t y, std::uint32_t pitch,
                                           std::uint32_t log2_bytes) noexcept {
    const std::uint64_t tile = std::uint64_t{y >> 5U} * (pitch >> 5U) + (x >> 5U);
    const std::uint64_t micro = (((y >> 1U) & 7U) << 3U) | (x & 7U);
    const std::uint64_t u = ((tile << 6U) | micro) << log2_bytes;
    const std::uint64_t pipe = ((x >> 3U) & 3U) ^ (((y >> 3U) & 1U) << 1U);
    const std::uint64_t bank = (y >> 4U) & 1U;
    return (u & 15U) | (std::uint64_t{y & 1U} << 4U) | (((u >> 4U) & 1U) << 5U) | (pipe << 6U) |
           (((u >> 5U) & 7U) << 8U) | (bank << 11U) | ((u >> 8U) << 12U);
}

// The first level at most 16 pixels on its shorter side, once the base is
// rounded up to powers of two: where the packed tail starts.
std::uint32_t x360_tail_level(const SurfaceGeometry& geometry) noexcept;

// Fills the Xbox 360 fields of every level of an accepted surface (sides of
// at most 8192, no more levels than its longer side allows) and returns the
// size of its image: the end of the last region, a multiple of 4096. The
// levels from the tail level on share the packed tail when the chain reaches
// it and holds more than one level, as DDS files are converted.
std::uint64_t x360_lay_out(SurfaceGeometry& geometry) noexcept;

// The same with the packing given: packed, the levels from the tail level on
// share the tail (a single level included, drawn at its tail offset, as a
// texture whose descriptor says packed is stored); not packed, every level
// has a region of its own and sits at its corner.
std::uint64_t x360_lay_out(SurfaceGeometry& geometry, bool packed) noexcept;

// swizzle: source holds the linear levels (at least the linear size), result
// receives the console image (exactly the console size is written: every
// level's blocks at their tiled addresses, in console byte order, every
// padding byte zero). unswizzle: source holds the console image, result
// receives the linear levels (exactly the linear size, byte order back to the
// file's). Returns false, writing nothing, for a surface not laid out for
// the Xbox 360 or a span shorter than that; bytes of result beyond the
// written size are untouched.
bool convert_x360_levels(const SurfaceGeometry& geometry, std::span<const std::byte> source,
                         std::span<std::byte> result, Direction direction) noexcept;

// The same conversion, a piece at a time: writes bytes [begin, begin +
// piece.size()) of what the call above writes (the image, or the linear
// levels) into piece, and nothing else. Returns false, writing nothing, for
// a surface not laid out for the Xbox 360, a source shorter than the call
// above needs, or a piece reaching past the end of the result. The pieces
// of a result, taken in any order, make the same bytes as the whole; a
// piece costs no more a byte than the whole does, but for a few tiles (or
// blocks) at its ends.
bool convert_x360_piece(const SurfaceGeometry& geometry, std::span<const std::byte> source, std::uint64_t begin,
                        std::span<std::byte> piece, Direction direction) noexcept;

}  // namespace ddsswizzle::engine
