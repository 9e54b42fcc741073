// Tiled order of block-compressed PS3 textures (DXT1 to DXT5), and the walk
// that converts every level of a surface between linear and tiled block
// order.
//
// A compressed texture stores each 4 x 4 pixel tile as one block of 8 bytes
// (DXT1) or 16 bytes (DXT2 to DXT5). Levels of at least 8192 blocks are
// stored on the console with their block numbers permuted in groups of 8192;
// smaller levels keep linear block order. The permutation ignores the row
// length: the j-th block of a level in stored order is simply block number j.
// A level counts width x height x block bytes / 16 bytes (see
// surface_geometry.h), and only its whole groups are permuted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/kernel_set.h"
#include "layout/surface_geometry.h"

namespace ddsswizzle::engine {

// Blocks per tiling group: a level of fewer blocks is not tiled.
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

// A level is tiled when it counts at least this many bytes: 8192 blocks.
constexpr std::uint64_t block_tiling_threshold(std::uint32_t block_bytes) noexcept {
    return std::uint64_t{blocks_per_tile_group} * block_bytes;
}

// Converts every level of every face of a surface laid out for the PS3 with
// the block tiling rule, between linear and tiled block order. Only whole
// groups of 8192 blocks are permuted; every other byte of result, up to the
// shorter buffer's length, is copied from the same offset of source, so the
// conversion can always be undone. A level that would reach past the shorter
// buffer is copied, not converted. A kernel set the processor lacks is
// replaced by the portable kernels.
void convert_block_levels(const SurfaceGeometry& geometry, std::span<const std::byte> source,
                          std::span<std::byte> result, Direction direction,
                          KernelSet set = best_kernel_set()) noexcept;

// The same conversion, a piece at a time: writes bytes [begin, begin +
// piece.size()) of the result the call above would make from source (a
// result as long as source) into piece, and nothing else; bytes of piece
// past the end of source are left as they are. Whole groups go through the
// kernels, the groups the piece's ends cut block by block.
void convert_block_piece(const SurfaceGeometry& geometry, std::span<const std::byte> source, std::uint64_t begin,
                         std::span<std::byte> piece, Direction direction,
                         KernelSet set = best_kernel_set()) noexcept;

}  // namespace ddsswizzle::engine
