// Morton (Z-order) pixel order of uncompressed console textures, and the walks
// that convert a whole mip chain, of a 2D texture or of a volume, between
// linear order and Morton order.
//
// In Morton order the position of pixel (x, y) is formed by interleaving the
// bits of the column and the row, column first. Each side contributes as many
// bits as it can be halved before reaching zero, so a side of 2^n contributes
// n bits; once the shorter side has run out, the remaining bits of the longer
// side follow in order. A volume interleaves three axes the same way: column,
// row, slice, in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/level_chain.h"

namespace ddsswizzle {

// Position of pixel (x, y) of a width x height level in Morton order. This is
// the rule in its plainest form; the level walks use an equivalent
// incremental form and are checked against it.
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

// Position of voxel (x, y, z) of a width x height x depth level in Morton
// order, for sides that are powers of two: the position takes its bits from
// x, y and z in turn, x first, each axis giving log2 of its side in bits; an
// axis that has given all its bits drops out and the others go on. With a
// depth of 1 this is morton_index.
constexpr std::uint32_t morton_index_3d(std::uint32_t x, std::uint32_t y, std::uint32_t z, std::uint32_t width,
                                        std::uint32_t height, std::uint32_t depth) noexcept {
    std::uint32_t index = 0;
    std::uint32_t bit = 1;
    const auto take = [&index, &bit](std::uint32_t& coordinate, std::uint32_t& side) {
        if (side <= 1) return;
        if ((coordinate & 1U) != 0) index |= bit;
        bit <<= 1U;
        coordinate >>= 1U;
        side >>= 1U;
    };
    while (width > 1 || height > 1 || depth > 1) {
        take(x, width);
        take(y, height);
        take(z, depth);
    }
    return index;
}

static_assert(morton_index_3d(1, 0, 0, 2, 2, 2) == 1);
static_assert(morton_index_3d(0, 1, 0, 2, 2, 2) == 2);
static_assert(morton_index_3d(0, 0, 1, 2, 2, 2) == 4);
static_assert(morton_index_3d(1, 1, 1, 2, 2, 2) == 7);
static_assert(morton_index_3d(2, 0, 0, 4, 2, 2) == 8);
static_assert(morton_index_3d(3, 1, 1, 4, 2, 2) == 15);
static_assert(morton_index_3d(0, 0, 2, 2, 2, 4) == 8);
static_assert(morton_index_3d(1, 1, 3, 2, 2, 4) == 15);
static_assert(morton_index_3d(3, 1, 0, 4, 2, 1) == static_cast<std::uint32_t>(morton_index(3, 1, 4, 2)));

// Bytes the pixel walk counts for the chain: width x height x bytes_per_pixel
// for each level, stopping at the first level with a side of zero or less
// (from there on no level holds a pixel). Saturates at UINT64_MAX instead of
// wrapping, so an absurd header can never look small.
std::uint64_t pixel_levels_size(std::uint32_t bytes_per_pixel, const LevelChain& chain) noexcept;

// Converts every level of the chain between linear and Morton order, moving
// whole pixels of bytes_per_pixel bytes (1, 2 or 4) from source into result.
// Every byte of result is written: bytes the layout does not move are copied
// from the same offset of source, so result is always a complete image. Those
// are the bytes beyond the counted levels, a level with a side that is not a
// power of two, every level when bytes_per_pixel is another size, and a level
// that would reach past the shorter buffer, with every level after it. The
// caller validates sizes before calling; this only keeps memory safe.
void convert_pixel_levels(std::uint32_t bytes_per_pixel, const LevelChain& chain,
                          std::span<const std::byte> source, std::span<std::byte> result,
                          Direction direction) noexcept;

// Bytes the volume walk counts for the chain: width x height x depth x
// bytes_per_pixel for each level; 0 when a side of the top level is zero or
// less. Saturates at UINT64_MAX instead of wrapping.
std::uint64_t volume_levels_size(std::uint32_t bytes_per_pixel, const VolumeChain& chain) noexcept;

// convert_pixel_levels for a volume: every level between linear order (slice
// after slice, rows inside a slice) and 3D Morton order, under the same
// guarantees. A chain with a side of zero or less is copied whole.
void convert_volume_levels(std::uint32_t bytes_per_pixel, const VolumeChain& chain,
                           std::span<const std::byte> source, std::span<std::byte> result,
                           Direction direction) noexcept;

}  // namespace ddsswizzle
