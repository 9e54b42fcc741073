// Morton (Z-order) pixel order of uncompressed console textures, and the walk
// that converts a whole mip chain between linear order and Morton order.
//
// In Morton order the position of pixel (x, y) is formed by interleaving the
// bits of the column and the row, column first. Each side contributes as many
// bits as it can be halved before reaching zero, so a side of 2^n contributes
// n bits; once the shorter side has run out, the remaining bits of the longer
// side follow in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/level_chain.h"

namespace ddsswizzle {

// Position of pixel (x, y) of a width x height level in Morton order. This is
// the rule in its plainest form; the level walk below uses an equivalent
// incremental form and is checked against this one.
constexpr std::int32_t morton_index(std::int32_t x, std::int32_t y, std::int32_t width,
                                    std::int32_t height) noexcept {
    std::uint32_t index = 0;
    std::uint32_t bit = 1;
    do {
        width /= 2;
        height /= 2;
        if (width > 0) {
            if (x % 2 != 0) index |= bit;
            bit <<= 1U;
        }
        if (height > 0) {
            if (y % 2 != 0) index |= bit;
            bit <<= 1U;
        }
        x /= 2;
        y /= 2;
    } while (std::int64_t{x} + std::int64_t{y} != 0);
    return static_cast<std::int32_t>(index);
}

static_assert(morton_index(1, 0, 4, 2) == 1);
static_assert(morton_index(0, 1, 4, 2) == 2);
static_assert(morton_index(2, 0, 4, 2) == 4);
static_assert(morton_index(3, 1, 4, 2) == 7);
static_assert(morton_index(1, 0, 2, 4) == 1);
static_assert(morton_index(0, 1, 2, 4) == 2);
static_assert(morton_index(0, 2, 2, 4) == 4);
static_assert(morton_index(1, 3, 2, 4) == 7);
static_assert(morton_index(3, 3, 4, 4) == 15);
static_assert(morton_index(2, 1, 4, 4) == 6);

// Bytes the pixel walk counts for the chain: width x height x bytes_per_pixel
// for each level, stopping at the first level with a side of zero or less
// (from there on no level holds a pixel). Saturates at UINT64_MAX instead of
// wrapping, so an absurd header can never look small.
std::uint64_t pixel_levels_size(std::uint32_t bytes_per_pixel, const LevelChain& chain) noexcept;

// Converts every level of the chain between linear and Morton order, moving
// whole pixels of bytes_per_pixel bytes from source into result. Every byte of
// result is written: bytes the layout does not move (beyond the counted
// levels, or unreached inside a level whose side is not a power of two) are
// copied from the same offset of source, so result is always a complete image.
// A level that would reach past the shorter buffer is copied, not converted;
// the caller validates sizes before calling, this only keeps memory safe.
void convert_pixel_levels(std::uint32_t bytes_per_pixel, const LevelChain& chain,
                          std::span<const std::byte> source, std::span<std::byte> result,
                          Direction direction) noexcept;

}  // namespace ddsswizzle
