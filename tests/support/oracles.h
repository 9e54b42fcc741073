// The console layouts in their simplest possible form, for the tests to check
// the real walks against: bit by bit, one element at a time, in the order the
// rules are stated, with no attempt at speed and nothing taken from src/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "layout/level_chain.h"

namespace ddsswizzle::testing {

// Morton position of pixel (x, y): a side contributes one bit for each time
// it can be halved before reaching 1; column bit i and row bit i alternate,
// column first, while both sides have a bit i, then the longer side's follow.
inline std::uint32_t morton_by_bits(std::uint32_t x, std::uint32_t y, std::int64_t width, std::int64_t height) {
    std::uint32_t index = 0;
    int out = 0;
    for (int i = 0; (width >> i) > 1 || (height >> i) > 1; ++i) {
        if ((width >> i) > 1) index |= ((x >> i) & 1U) << out++;
        if ((height >> i) > 1) index |= ((y >> i) & 1U) << out++;
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
// buffer (a level counts width x height x sixteenths / 16 bytes), the k-th
// element of a level goes from linear position i to position p, where
// {i, p} = place(width, height, elements of the level, k), and back for
// unswizzle. Every byte not moved keeps its value.
template <typename Place>
std::vector<std::byte> oracle_levels(std::size_t element, std::int64_t sixteenths, const LevelChain& chain,
                                     const std::vector<std::byte>& source, Direction direction, Place place) {
    std::vector<std::byte> result = source;
    std::size_t offset = 0;
    for (std::int64_t level = 0, w = chain.width, h = chain.height; level < chain.level_count && w > 0 && h > 0;
         ++level, w /= 2, h /= 2) {
        const auto size = static_cast<std::size_t>(w * h * sixteenths / 16);
        if (offset + size > source.size()) break;
        for (std::size_t k = 0; k < size / element; ++k) {
            const auto [i, p] = place(w, h, size / element, k);
            const bool swizzle = direction == Direction::swizzle;
            const std::size_t from = offset + (swizzle ? i : p) * element, to = offset + (swizzle ? p : i) * element;
            std::memcpy(&result[to], &source[from], element);
        }
        offset += size;
    }
    return result;
}

// The pixel walk, column by column as the rule is stated (where several
// pixels meet at one position, the last one stays).
inline std::vector<std::byte> oracle_pixel_levels(std::size_t bpp, const LevelChain& chain,
                                                  const std::vector<std::byte>& source, Direction direction) {
    return oracle_levels(bpp, 16 * static_cast<std::int64_t>(bpp), chain, source, direction,
                         [](std::int64_t w, std::int64_t h, std::size_t, std::size_t k) {  // pixel (k / h, k % h)
                             const auto x = k / static_cast<std::size_t>(h), y = k % static_cast<std::size_t>(h);
                             return std::pair<std::size_t, std::size_t>(y * w + x, morton_by_bits(x, y, w, h));
                         });
}

// The block walk: the whole groups of 8192 blocks of a level of at least
// 8192 blocks are permuted through the table, the other blocks stay.
inline std::vector<std::byte> oracle_block_levels(std::size_t block_bytes, const LevelChain& chain,
                                                  const std::vector<std::byte>& source, Direction direction) {
    return oracle_levels(block_bytes, static_cast<std::int64_t>(block_bytes), chain, source, direction,
                         [](std::int64_t, std::int64_t, std::size_t blocks, std::size_t k) {
                             const auto j = static_cast<std::uint32_t>(k);
                             return std::pair<std::size_t, std::size_t>(j, k < blocks / 8192 * 8192 ? block_tile_by_table(j) : j);
                         });
}

}  // namespace ddsswizzle::testing
