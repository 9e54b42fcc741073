// The console layouts in their simplest possible form, for the tests to check
// the real walks against: bit by bit, one element at a time, in the order the
// rules are stated, with no attempt at speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "layout/block_tiling.h"
#include "layout/level_chain.h"
#include "layout/morton.h"

namespace ddsswizzle::testing {

inline int bits_of_side(std::int32_t side) {
    int bits = 0;
    while (side > 1) {
        side /= 2;
        ++bits;
    }
    return bits;
}

// Morton index for power-of-two sides, built from the bit counts of the two
// sides: column bit i and row bit i alternate while both sides have a bit i.
inline std::uint32_t morton_by_bits(std::uint32_t x, std::uint32_t y, std::int32_t width, std::int32_t height) {
    const int column_bits = bits_of_side(width);
    const int row_bits = bits_of_side(height);
    std::uint32_t index = 0;
    int out = 0;
    for (int i = 0; i < column_bits || i < row_bits; ++i) {
        if (i < column_bits) index |= ((x >> i) & 1U) << out++;
        if (i < row_bits) index |= ((y >> i) & 1U) << out++;
    }
    return index;
}

// Block tiling from the table of which input bit feeds each output bit.
inline std::uint32_t block_tile_by_table(std::uint32_t j) {
    // Output bit k takes input bit source_bit[k]; -1 marks output bit 6,
    // the exclusive or of input bits 4, 10 and 11.
    constexpr int source_bit[13] = {10, 5, 0, 1, 2, 3, -1, 6, 12, 7, 8, 9, 11};
    std::uint32_t out = j & ~0x1FFFU;
    for (int k = 0; k < 13; ++k) {
        const std::uint32_t bit = source_bit[k] >= 0
                                      ? (j >> source_bit[k]) & 1U
                                      : ((j >> 4U) ^ (j >> 10U) ^ (j >> 11U)) & 1U;
        out |= bit << k;
    }
    return out;
}

// The pixel walk as the rule states it: column-major, morton_index per pixel.
// The result starts as a copy of the source, so unmoved bytes keep their value.
inline std::vector<std::byte> oracle_pixel_levels(std::size_t bpp, const LevelChain& chain,
                                                  const std::vector<std::byte>& source, Direction direction) {
    std::vector<std::byte> result = source;
    std::size_t offset = 0;
    std::int32_t w = chain.width;
    std::int32_t h = chain.height;
    for (std::int32_t level = 0; level < chain.level_count && w > 0 && h > 0; ++level) {
        for (std::int32_t x = 0; x < w; ++x) {
            for (std::int32_t y = 0; y < h; ++y) {
                const std::size_t m = static_cast<std::size_t>(morton_index(x, y, w, h));
                const std::size_t l = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
                if (direction == Direction::swizzle) {
                    std::memcpy(&result[offset + m * bpp], &source[offset + l * bpp], bpp);
                } else {
                    std::memcpy(&result[offset + l * bpp], &source[offset + m * bpp], bpp);
                }
            }
        }
        offset += static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * bpp;
        w /= 2;
        h /= 2;
    }
    return result;
}

// The block walk as the rule states it, block by block through the table
// form, permuting only whole groups of 8192 blocks.
inline std::vector<std::byte> oracle_block_levels(std::size_t block_bytes, const LevelChain& chain,
                                                  const std::vector<std::byte>& source, Direction direction) {
    std::vector<std::byte> result = source;
    const std::size_t threshold = block_bytes == 8 ? 0x10000 : 0x20000;
    std::size_t offset = 0;
    std::int64_t w = chain.width;
    std::int64_t h = chain.height;
    for (std::int32_t level = 0; level < chain.level_count && w > 0 && h > 0; ++level) {
        const auto n = static_cast<std::size_t>(w * h * static_cast<std::int64_t>(block_bytes) / 16);
        if (n >= threshold) {
            const std::size_t whole_blocks = n / block_bytes / 8192 * 8192;
            for (std::size_t j = 0; j < whole_blocks; ++j) {
                const std::size_t t = block_tile_by_table(static_cast<std::uint32_t>(j));
                if (direction == Direction::swizzle) {
                    std::memcpy(&result[offset + t * block_bytes], &source[offset + j * block_bytes], block_bytes);
                } else {
                    std::memcpy(&result[offset + j * block_bytes], &source[offset + t * block_bytes], block_bytes);
                }
            }
        }
        offset += n;
        w /= 2;
        h /= 2;
    }
    return result;
}

}  // namespace ddsswizzle::testing
