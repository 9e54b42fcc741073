// The console layouts in their simplest possible form, for the tests to check
// the real walks against: bit by bit, one element at a time, in the order the
// rules are stated, with no attempt at speed and nothing taken from src/.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "layout/level_chain.h"

namespace ddsswizzle::testing {

// Morton position of voxel (x, y, z), or of pixel (x, y) with depth 1: a
// side contributes one bit for each time it can be halved before reaching 1;
// bit i of the column, of the row and of the slice follow in turn, column
// first, each while its side has a bit i.
inline std::uint64_t morton_by_bits(std::uint64_t x, std::uint64_t y, std::uint64_t z, std::int64_t width,
                                    std::int64_t height, std::int64_t depth) {
    std::uint64_t index = 0;
    int out = 0;
    for (int i = 0; (width >> i) > 1 || (height >> i) > 1 || (depth >> i) > 1; ++i) {
        if ((width >> i) > 1) index |= ((x >> i) & 1U) << out++;
        if ((height >> i) > 1) index |= ((y >> i) & 1U) << out++;
        if ((depth >> i) > 1) index |= ((z >> i) & 1U) << out++;
    }
    return index;
}

// Tiled position of block j from the table of which input bit feeds each
// output bit; -1 marks output bit 6, the exclusive or of input bits 4, 10, 11.
inline std::uint32_t block_tile_by_table(std::uint32_t j) {
    constexpr int source_bit[13] = {10, 5, 0, 1, 2, 3, -1, 6, 12, 7, 8, 9, 11};
    std::uint32_t out = j & ~0x1FFFU;
    for (int k = 0; k < 13; ++k) {
        const std::uint32_t bit = source_bit[k] >= 0 ? j >> source_bit[k] : (j >> 4U) ^ (j >> 10U) ^ (j >> 11U);
        out |= (bit & 1U) << k;
    }
    return out;
}

// Level by level, until a side reaches 0 or a level would reach past the
// buffer (a level counts width x height x depth x sixteenths / 16 bytes), the
// k-th element of a level goes from linear position i to position p, where
// {i, p} = place(sides, elements of the level, k), and back for unswizzle.
// Every byte not moved keeps its value. A 2D chain (depth 1) halves its sides
// with no lower bound; a volume's sides stop at 1.
template <typename Place>
std::vector<std::byte> oracle_levels(std::size_t element, std::int64_t sixteenths, const VolumeChain& chain, bool volume,
                                     const std::vector<std::byte>& source, Direction direction, Place place) {
    std::vector<std::byte> result = source;
    std::size_t offset = 0;
    for (std::int64_t level = 0; level < chain.level_count; ++level) {
        const auto halve = [&](std::int64_t s) { return volume && s > 0 ? std::max<std::int64_t>(1, s >> std::min<std::int64_t>(level, 31)) : level < 32 ? s >> level : 0; };
        const std::array<std::int64_t, 3> side{halve(chain.width), halve(chain.height), volume ? halve(chain.depth) : 1};
        if (std::ranges::min(side) <= 0 || double(side[0]) * double(side[1]) * double(side[2]) * double(sixteenths) / 16 > double(source.size() - offset)) break;
        const auto size = static_cast<std::size_t>(side[0] * side[1] * side[2] * sixteenths / 16);
        for (std::size_t k = 0; k < size / element; ++k) {
            const auto [i, p] = place(side, size / element, k);
            const bool swizzle = direction == Direction::swizzle;
            std::memcpy(&result[offset + (swizzle ? p : i) * element], &source[offset + (swizzle ? i : p) * element], element);
        }
        offset += size;
    }
    return result;
}

// The pixel walks, of a volume or of a 2D chain: pixel k in linear order goes to its Morton
// position; levels with a side that is not a power of two, and every level of
// pixels of other sizes than 1, 2 and 4 bytes, keep their bytes.
inline std::vector<std::byte> oracle_morton_levels(std::size_t bpp, const VolumeChain& chain, bool volume,
                                                   const std::vector<std::byte>& source, Direction direction) {
    if (bpp != 1 && bpp != 2 && bpp != 4) return source;
    return oracle_levels(bpp, 16 * std::int64_t(bpp), chain, volume, source, direction, [](const auto& side, std::size_t, std::size_t k) {
        const auto w = std::uint64_t(side[0]), h = std::uint64_t(side[1]), d = std::uint64_t(side[2]);
        const bool moves = std::has_single_bit(w) && std::has_single_bit(h) && std::has_single_bit(d);
        return std::pair<std::size_t, std::size_t>(k, moves ? morton_by_bits(k % w, k / w % h, k / w / h, side[0], side[1], side[2]) : k);
    });
}

inline std::vector<std::byte> oracle_pixel_levels(std::size_t bpp, const LevelChain& c, const std::vector<std::byte>& source, Direction direction) {
    return oracle_morton_levels(bpp, {c.width, c.height, 1, c.level_count}, false, source, direction);
}

// The block walk: the whole groups of 8192 blocks of a level of at least
// 8192 blocks are permuted through the table, the other blocks stay; blocks
// of other sizes than 8 and 16 bytes are not moved.
inline std::vector<std::byte> oracle_block_levels(std::size_t block_bytes, const LevelChain& c,
                                                  const std::vector<std::byte>& source, Direction direction) {
    if (block_bytes != 8 && block_bytes != 16) return source;
    return oracle_levels(block_bytes, std::int64_t(block_bytes), {c.width, c.height, 1, c.level_count}, false, source, direction, [](const auto&, std::size_t blocks, std::size_t k) {
        const auto j = static_cast<std::uint32_t>(k);
        return std::pair<std::size_t, std::size_t>(j, k < blocks / 8192 * 8192 ? block_tile_by_table(j) : j);
    });
}

}  // namespace ddsswizzle::testing
