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
// rest along the longer side at halving offsets. When even the base is in
// the tail, the base region holds level 0 at its tail offset and one further
// region, sized like level 0 of the power-of-two texture, holds levels 1 and
// up. A texture of one level is never packed.
//
// Byte order. The console reads texels as big-endian words: 16-bit pixels
// and every 16-bit word of a DXT block have their two bytes swapped, 32-bit
// pixels their four bytes reversed. The image is the DDS payload swapped,
// then tiled; every byte of the image no block lands on is zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/level_chain.h"

namespace ddsswizzle {

// A surface as the console's tiling sees it.
struct X360Surface {
    std::uint32_t block_bytes = 4;  // bytes of one block: 1, 2 or 4 for pixels, 8 (DXT1) or 16 (DXT3/DXT5)
    std::uint32_t block_side = 1;   // pixels on a block's side: 1 for pixels, 4 for DXT blocks
    std::uint32_t swap_bytes = 1;   // byte-order unit: 1 none, 2 swap the bytes of every 16-bit word, 4 reverse every 32-bit word
    std::int32_t width = 0;         // level 0 in pixels
    std::int32_t height = 0;
    std::int32_t level_count = 1;
    std::uint32_t faces = 1;        // 1, or 6 for a cube map
};

inline constexpr std::uint32_t x360_tile_side = 32;      // blocks on a macro tile's side
inline constexpr std::uint64_t x360_page_bytes = 4096;   // slices are padded to whole pages
inline constexpr std::int32_t x360_max_side = 8192;      // pixels
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

static_assert(x360_tiled_address(5, 3, 32, 2) == 308);
static_assert(x360_tiled_address(37, 45, 64, 2) == 14004);
static_assert(x360_tiled_address(1, 0, 32, 2) == 4);
static_assert(x360_tiled_address(4, 0, 32, 2) == 32);
static_assert(x360_tiled_address(8, 0, 32, 2) == 64);
static_assert(x360_tiled_address(0, 1, 32, 2) == 16);
static_assert(x360_tiled_address(0, 2, 32, 2) == 256);
static_assert(x360_tiled_address(0, 8, 32, 2) == 1152);
static_assert(x360_tiled_address(0, 16, 32, 2) == 2048);
static_assert(x360_tiled_address(40, 0, 64, 2) == 4160);
static_assert(x360_tiled_address(0, 32, 64, 2) == 8192);
static_assert(x360_tiled_address(5, 3, 32, 0) == 29);
static_assert(x360_tiled_address(13, 21, 64, 1) == 2394);
static_assert(x360_tiled_address(13, 21, 64, 3) == 3416);
static_assert(x360_tiled_address(13, 21, 64, 4) == 6768);
static_assert(x360_tiled_address(100, 200, 128, 4) == 451200);
// With 1-byte blocks four tiles share a page: the tiles at columns 96 and 128
// of a 192-wide surface start 0x200 apart.
static_assert(x360_tiled_address(96, 32, 192, 0) == 0x2200 && x360_tiled_address(128, 32, 192, 0) == 0x2400);

// Where one level of the surface lives in the console image.
struct X360Placement {
    std::uint64_t region_offset = 0;  // bytes from the image start to face 0's slice of the region holding the level
    std::uint64_t slice_bytes = 0;    // one face's slice of that region (a multiple of 4096); face f starts f * slice_bytes further
    std::uint32_t pitch = 0;          // region surface size in blocks (multiples of 32)
    std::uint32_t rows = 0;
    std::uint32_t x = 0;              // where the level is drawn in its region, in blocks (its packed-tail offset, or 0, 0)
    std::uint32_t y = 0;
    std::uint32_t width = 0;          // the level's content, in blocks
    std::uint32_t height = 0;
};

namespace detail {

constexpr std::uint64_t x360_align_up(std::uint64_t v, std::uint64_t a) noexcept { return (v + a - 1) / a * a; }
constexpr std::uint64_t x360_ceil_div(std::uint64_t v, std::uint64_t a) noexcept { return (v + a - 1) / a; }

// Smallest k with 2^k >= v (0 for v <= 1).
constexpr std::uint32_t x360_log2_ceil(std::uint64_t v) noexcept {
    std::uint32_t k = 0;
    while ((std::uint64_t{1} << k) < v) ++k;
    return k;
}

// Bytes of one face's slice of a region of pitch x rows blocks.
constexpr std::uint64_t x360_slice_bytes(std::uint64_t pitch, std::uint64_t rows, std::uint32_t block_bytes) noexcept {
    return x360_align_up(pitch * rows * block_bytes, x360_page_bytes);
}

// A level's content side in blocks: the pixel side halved `level` times, at
// least 1, in whole blocks.
constexpr std::uint32_t x360_content_side(std::int32_t side, std::int32_t level, std::uint32_t block_side) noexcept {
    const std::uint64_t pixels = static_cast<std::uint64_t>(side) >> static_cast<std::uint32_t>(level);
    return static_cast<std::uint32_t>(x360_ceil_div(pixels > 0 ? pixels : 1, block_side));
}

// The base region's side in blocks: the real side rounded up to whole tiles.
constexpr std::uint32_t x360_base_region_side(std::int32_t side, std::uint32_t block_side) noexcept {
    return static_cast<std::uint32_t>(
        x360_align_up(x360_ceil_div(static_cast<std::uint64_t>(side), block_side), x360_tile_side));
}

// A mip region's side in blocks: the power-of-two side 2^log2_side halved
// `stored` times (at least 1 pixel), rounded up to whole tiles.
constexpr std::uint32_t x360_mip_region_side(std::uint32_t log2_side, std::uint32_t stored,
                                             std::uint32_t block_side) noexcept {
    const std::uint64_t pixels = stored < log2_side ? std::uint64_t{1} << (log2_side - stored) : 1;
    return static_cast<std::uint32_t>(x360_align_up(x360_ceil_div(pixels, block_side), x360_tile_side));
}

}  // namespace detail

// True for a surface the console can hold: block_bytes/block_side/swap_bytes
// one of the five rows (1/1/1, 2/1/2, 4/1/4, 8/4/2, 16/4/2), sides 1..8192,
// 1 <= level_count <= floor(log2(max(W, H))) + 1, faces 1 or 6.
constexpr bool x360_surface_valid(const X360Surface& surface) noexcept {
    const std::uint32_t b = surface.block_bytes;
    const bool pixels = (b == 1 || b == 2 || b == 4) && surface.block_side == 1 && surface.swap_bytes == b;
    const bool dxt = (b == 8 || b == 16) && surface.block_side == 4 && surface.swap_bytes == 2;
    if (!pixels && !dxt) return false;
    if (surface.width < 1 || surface.width > x360_max_side || surface.height < 1 || surface.height > x360_max_side) {
        return false;
    }
    const auto longer = static_cast<std::uint32_t>(surface.width > surface.height ? surface.width : surface.height);
    std::int32_t most_levels = 0;
    for (std::uint32_t side = longer; side > 0; side >>= 1U) ++most_levels;
    return surface.level_count >= 1 && surface.level_count <= most_levels &&
           (surface.faces == 1 || surface.faces == 6);
}

// Where level `level` of a valid surface is stored; all zero for an invalid
// surface or a level outside 0..level_count-1.
constexpr X360Placement x360_level_placement(const X360Surface& surface, std::int32_t level) noexcept {
    if (!x360_surface_valid(surface) || level < 0 || level >= surface.level_count) return {};
    using detail::x360_mip_region_side;
    using detail::x360_slice_bytes;
    const std::uint32_t side = surface.block_side;
    const std::uint32_t log2_w = detail::x360_log2_ceil(static_cast<std::uint64_t>(surface.width));
    const std::uint32_t log2_h = detail::x360_log2_ceil(static_cast<std::uint64_t>(surface.height));
    const std::uint32_t log2_short = log2_w < log2_h ? log2_w : log2_h;
    // The first level at most 16 pixels on its shorter side, once the base is
    // rounded up to powers of two. The tail exists only when the chain reaches
    // it, and never for a single level.
    const std::uint32_t tail_level = log2_short > 4 ? log2_short - 4 : 0;
    const auto index = static_cast<std::uint32_t>(level);
    const auto last = static_cast<std::uint32_t>(surface.level_count - 1);
    const bool in_tail = last > 0 && last >= tail_level && index >= tail_level;

    X360Placement p;
    p.width = detail::x360_content_side(surface.width, level, side);
    p.height = detail::x360_content_side(surface.height, level, side);
    const std::uint32_t base_pitch = detail::x360_base_region_side(surface.width, side);
    const std::uint32_t base_rows = detail::x360_base_region_side(surface.height, side);
    const std::uint64_t base_slice = x360_slice_bytes(base_pitch, base_rows, surface.block_bytes);
    if (level == 0) {
        p.pitch = base_pitch;
        p.rows = base_rows;
        p.slice_bytes = base_slice;
    } else {
        // The mip area follows the base; its regions follow each other in
        // level order. Tail levels live in the tail level's region, which is
        // the region sized as the power-of-two level 0 when the tail starts
        // at level 0.
        const std::uint32_t stored = in_tail ? tail_level : index;
        p.region_offset = surface.faces * base_slice;
        for (std::uint32_t s = 1; s < stored; ++s) {
            p.region_offset += surface.faces * x360_slice_bytes(x360_mip_region_side(log2_w, s, side),
                                                                x360_mip_region_side(log2_h, s, side),
                                                                surface.block_bytes);
        }
        p.pitch = x360_mip_region_side(log2_w, stored, side);
        p.rows = x360_mip_region_side(log2_h, stored, side);
        p.slice_bytes = x360_slice_bytes(p.pitch, p.rows, surface.block_bytes);
    }
    if (in_tail) {
        // The first three tail levels step along the shorter side (16, 8, 4
        // pixels), the rest along the longer one, from a quarter of the tail
        // level's longer side down. Square textures count as tall. Every
        // offset is at least 4 pixels, so always whole 4 x 4 blocks.
        const std::uint32_t k = index - tail_level;
        const bool wide = log2_w > log2_h;
        const std::uint32_t log2_long = wide ? log2_w : log2_h;
        const std::uint32_t along_short = k < 3 ? x360_tail_short_side >> k : 0;
        const std::uint32_t along_long = k < 3 ? 0 : (1U << (log2_long - tail_level)) >> (k - 2);
        p.x = (wide ? along_long : along_short) / side;
        p.y = (wide ? along_short : along_long) / side;
    }
    return p;
}

// Console image size: the end of the last region (a multiple of 4096). 0 for
// an invalid surface.
constexpr std::uint64_t x360_image_size(const X360Surface& surface) noexcept {
    if (!x360_surface_valid(surface)) return 0;
    const X360Placement last = x360_level_placement(surface, surface.level_count - 1);
    return last.region_offset + surface.faces * last.slice_bytes;
}

// What a DDS file stores for the surface in linear layout: every level
// max(1, W >> l) x max(1, H >> l) pixels, in whole blocks (ceil_div of each
// side by block_side), levels one after another, faces one after another
// (face 0 with all its levels, then face 1 ...). 0 for an invalid surface.
constexpr std::uint64_t x360_linear_size(const X360Surface& surface) noexcept {
    if (!x360_surface_valid(surface)) return 0;
    std::uint64_t face = 0;
    for (std::int32_t level = 0; level < surface.level_count; ++level) {
        face += std::uint64_t{detail::x360_content_side(surface.width, level, surface.block_side)} *
                detail::x360_content_side(surface.height, level, surface.block_side) * surface.block_bytes;
    }
    return face * surface.faces;
}

// swizzle: source holds the linear levels (at least x360_linear_size bytes),
// result receives the console image (exactly x360_image_size bytes are
// written: every level's blocks at their tiled addresses, in console byte
// order, every padding byte zero). unswizzle: source holds the console image
// (at least x360_image_size bytes), result receives the linear levels
// (exactly x360_linear_size bytes, byte order back to the file's). Returns
// false, writing nothing, when the surface is invalid or a span is shorter
// than that; bytes of result beyond the written size are untouched.
bool convert_x360_levels(const X360Surface& surface, std::span<const std::byte> source, std::span<std::byte> result,
                         Direction direction) noexcept;

}  // namespace ddsswizzle
