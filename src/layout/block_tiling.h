// Tiled order of block-compressed console textures (DXT1, DXT3, DXT5), and the
// walk that converts a whole mip chain between linear and tiled block order.
//
// A compressed texture stores each 4 x 4 pixel tile as one block of 8 bytes
// (DXT1) or 16 bytes (DXT3, DXT5). Levels of at least 8192 blocks are stored
// on the console with their block numbers permuted in groups of 8192; smaller
// levels keep linear block order. The permutation ignores the row length: the
// j-th block of a level in stored order is simply block number j.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/level_chain.h"

namespace ddsswizzle {

// Blocks per tiling group, and the group count a level needs to be tiled.
inline constexpr std::uint32_t blocks_per_tile_group = 8192;

// Tiled position of block number j. Bits 13 and up (the group) pass through;
// the low 13 bits are permuted, output bit 6 being an exclusive or of three
// input bits:
//   o0=j10 o1=j5 o2=j0 o3=j1 o4=j2 o5=j3 o6=j4^j10^j11 o7=j6 o8=j12 o9=j7
//   o10=j8 o11=j9 o12=j11
// The map is linear over bits and one-to-one on every group of 8192.
constexpr std::uint32_t block_tile_index(std::uint32_t j) noexcept {
    auto bit = [j](unsigned k) { return (j >> k) & 1U; };
    std::uint32_t t = j & ~(blocks_per_tile_group - 1U);
    t |= bit(10) << 0U;
    t |= bit(5) << 1U;
    t |= bit(0) << 2U;
    t |= bit(1) << 3U;
    t |= bit(2) << 4U;
    t |= bit(3) << 5U;
    t |= (bit(4) ^ bit(10) ^ bit(11)) << 6U;
    t |= bit(6) << 7U;
    t |= bit(12) << 8U;
    t |= bit(7) << 9U;
    t |= bit(8) << 10U;
    t |= bit(9) << 11U;
    t |= bit(11) << 12U;
    return t;
}

static_assert(block_tile_index(0) == 0);
static_assert(block_tile_index(1) == 4);
static_assert(block_tile_index(2) == 8);
static_assert(block_tile_index(31) == 124);
static_assert(block_tile_index(32) == 2);
static_assert(block_tile_index(33) == 6);
static_assert(block_tile_index(64) == 128);
static_assert(block_tile_index(128) == 512);
static_assert(block_tile_index(1024) == 65);
static_assert(block_tile_index(2048) == 4160);
static_assert(block_tile_index(4096) == 256);
static_assert(block_tile_index(8191) == 8191);
static_assert(block_tile_index(8192) == 8192);
static_assert(block_tile_index(8193) == 8196);
static_assert(block_tile_index(12345) == 8550);

// Bytes a level counts in the block walk: (width x height x block_bytes) / 16.
// For sides that are multiples of 4 this is the block count times block_bytes;
// narrower or shorter levels count fewer bytes than the blocks a file stores
// for them (a 2 x 2 DXT1 level counts 2 bytes). Zero when a side is zero or
// less; saturates at UINT64_MAX instead of wrapping.
std::uint64_t block_level_size(std::uint32_t block_bytes, std::int32_t width,
                               std::int32_t height) noexcept;

// Sum of block_level_size over the chain, saturating.
std::uint64_t block_levels_size(std::uint32_t block_bytes, const LevelChain& chain) noexcept;

// A level is tiled when it counts at least this many bytes: 8192 blocks.
constexpr std::uint64_t block_tiling_threshold(std::uint32_t block_bytes) noexcept {
    return std::uint64_t{blocks_per_tile_group} * block_bytes;
}

// Converts every level of the chain between linear and tiled block order.
// block_bytes is 8 or 16. Only whole groups of 8192 blocks are permuted; the
// blocks of a last partial group, bytes after the last whole block of a level,
// levels below the threshold and bytes beyond the counted levels are copied
// from the same offset of source, so every byte of result is written and the
// conversion can always be undone. A level that would reach past the shorter
// buffer is copied, not converted.
void convert_block_levels(std::uint32_t block_bytes, const LevelChain& chain,
                          std::span<const std::byte> source, std::span<std::byte> result,
                          Direction direction) noexcept;

}  // namespace ddsswizzle
