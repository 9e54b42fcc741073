// Level walk for the Morton pixel order.
//
// For sides that are powers of two the Morton index is the column's bits
// deposited into one bit mask ORed with the row's bits deposited into another.
// The walk goes over the level in small square tiles (at most 32 x 32 pixels):
// a tile's pixels come from a few short runs of linear rows and land in one
// contiguous run of Morton positions, so both buffers are touched locally.
// Inside a tile the column and row parts of the index are stepped with the
// masked increment ((m | ~mask) + 1) & mask instead of being recomputed.
//
// Sides that are not powers of two map several pixels onto one position; such
// levels are walked with the plain rule, in its own loop order, so that the
// result is exactly what the rule gives.
#include "layout/morton.h"

#include <algorithm>

#include "layout/walk_support.h"

namespace ddsswizzle {
namespace {

using detail::move_element;

constexpr std::uint32_t tile_side = 32;

constexpr bool is_power_of_two(std::int32_t v) noexcept { return v > 0 && (v & (v - 1)) == 0; }

// Which bits of the Morton index come from the column and which from the row,
// for power-of-two sides; mirrors the halving loop of morton_index.
struct MortonMasks {
    std::uint32_t column = 0;
    std::uint32_t row = 0;
};

constexpr MortonMasks morton_masks(std::int32_t width, std::int32_t height) noexcept {
    MortonMasks masks;
    std::uint32_t bit = 1;
    while (width > 1 || height > 1) {
        width /= 2;
        height /= 2;
        if (width > 0) {
            masks.column |= bit;
            bit <<= 1U;
        }
        if (height > 0) {
            masks.row |= bit;
            bit <<= 1U;
        }
    }
    return masks;
}

// Spreads the low bits of value over the set bits of mask, lowest first.
constexpr std::uint32_t deposit_bits(std::uint32_t value, std::uint32_t mask) noexcept {
    std::uint32_t out = 0;
    for (std::uint32_t m = mask; m != 0; m &= m - 1U) {
        if ((value & 1U) != 0) out |= m & (~m + 1U);
        value >>= 1U;
    }
    return out;
}

// The next value of a number whose bits live only at the set bits of mask.
constexpr std::uint32_t next_in_mask(std::uint32_t m, std::uint32_t mask) noexcept {
    return ((m | ~mask) + 1U) & mask;
}

static_assert((deposit_bits(3, morton_masks(4, 2).column) | deposit_bits(1, morton_masks(4, 2).row)) ==
              static_cast<std::uint32_t>(morton_index(3, 1, 4, 2)));
static_assert(next_in_mask(0b0001, 0b0101) == 0b0100);

// Per-pixel walk over square tiles, for levels with a side below 4.
template <std::size_t Fixed, Direction D>
void walk_narrow_level(const std::byte* source, std::byte* result, std::uint32_t width, std::uint32_t height,
                       std::size_t runtime_bpp) noexcept {
    const std::size_t bpp = Fixed != 0 ? Fixed : runtime_bpp;
    const MortonMasks masks = morton_masks(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    const std::uint32_t tile_w = std::min(width, tile_side);
    const std::uint32_t tile_h = std::min(height, tile_side);
    const std::uint32_t column_in_tile = deposit_bits(tile_w - 1U, masks.column);
    const std::uint32_t row_in_tile = deposit_bits(tile_h - 1U, masks.row);

    for (std::uint32_t ty = 0; ty < height; ty += tile_h) {
        const std::uint32_t row_base = deposit_bits(ty, masks.row);
        for (std::uint32_t tx = 0; tx < width; tx += tile_w) {
            const std::uint32_t tile_base = row_base | deposit_bits(tx, masks.column);
            std::uint32_t row_part = 0;
            for (std::uint32_t iy = 0; iy < tile_h; ++iy) {
                const std::size_t line = std::size_t{ty + iy} * width + tx;
                const std::uint32_t line_base = tile_base | row_part;
                std::uint32_t column_part = 0;
                for (std::uint32_t ix = 0; ix < tile_w; ++ix) {
                    const std::size_t linear = (line + ix) * bpp;
                    const std::size_t morton = std::size_t{line_base | column_part} * bpp;
                    if constexpr (D == Direction::swizzle) {
                        move_element<Fixed>(result + morton, source + linear, bpp);
                    } else {
                        move_element<Fixed>(result + linear, source + morton, bpp);
                    }
                    column_part = next_in_mask(column_part, column_in_tile);
                }
                row_part = next_in_mask(row_part, row_in_tile);
            }
        }
    }
}

// Moves one 4 x 4 pixel block. With both sides at least 4, the low four bits
// of the Morton index are column bit 0, row bit 0, column bit 1, row bit 1,
// so the block is 16 consecutive Morton positions and each horizontal pair of
// pixels stays together: pair q of the block holds row (q & 1) + 2 (q >> 2),
// columns 2 ((q >> 1) & 1) and the one after.
template <std::size_t Fixed, Direction D>
inline void move_block4x4(const std::byte* source, std::byte* result, std::size_t linear, std::size_t row_stride,
                          std::size_t morton, std::size_t bpp) noexcept {
    const std::size_t pair = 2 * bpp;
    constexpr std::size_t pair_fixed = 2 * Fixed;
    for (std::size_t q = 0; q < 8; ++q) {
        const std::size_t row = (q & 1U) + 2 * (q >> 2U);
        const std::size_t column_pair = (q >> 1U) & 1U;
        const std::size_t at_linear = linear + row * row_stride + column_pair * pair;
        const std::size_t at_morton = morton + q * pair;
        if constexpr (D == Direction::swizzle) {
            move_element<pair_fixed>(result + at_morton, source + at_linear, pair);
        } else {
            move_element<pair_fixed>(result + at_linear, source + at_morton, pair);
        }
    }
}

// Walk for levels with both sides at least 4: square tiles of up to 32 x 32
// pixels, each taken as 4 x 4 blocks; the Morton index of a block is stepped
// with the masked increment over the bits above the block's own four.
template <std::size_t Fixed, Direction D>
void walk_wide_level(const std::byte* source, std::byte* result, std::uint32_t width, std::uint32_t height,
                     std::size_t runtime_bpp) noexcept {
    const std::size_t bpp = Fixed != 0 ? Fixed : runtime_bpp;
    const std::size_t row_stride = std::size_t{width} * bpp;
    const MortonMasks masks = morton_masks(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    constexpr std::uint32_t block_bits = 0xFU;
    const std::uint32_t tile_w = std::min(width, tile_side);
    const std::uint32_t tile_h = std::min(height, tile_side);
    const std::uint32_t column_in_tile = deposit_bits(tile_w - 1U, masks.column) & ~block_bits;
    const std::uint32_t row_in_tile = deposit_bits(tile_h - 1U, masks.row) & ~block_bits;

    for (std::uint32_t ty = 0; ty < height; ty += tile_h) {
        const std::uint32_t row_base = deposit_bits(ty, masks.row);
        for (std::uint32_t tx = 0; tx < width; tx += tile_w) {
            const std::uint32_t tile_base = row_base | deposit_bits(tx, masks.column);
            std::uint32_t row_part = 0;
            for (std::uint32_t by = 0; by < tile_h; by += 4) {
                const std::size_t line = (std::size_t{ty + by} * width + tx) * bpp;
                const std::uint32_t line_base = tile_base | row_part;
                std::uint32_t column_part = 0;
                for (std::uint32_t bx = 0; bx < tile_w; bx += 4) {
                    move_block4x4<Fixed, D>(source, result, line + std::size_t{bx} * bpp, row_stride,
                                            std::size_t{line_base | column_part} * bpp, bpp);
                    column_part = next_in_mask(column_part, column_in_tile);
                }
                row_part = next_in_mask(row_part, row_in_tile);
            }
        }
    }
}

template <std::size_t Fixed, Direction D>
void walk_power_of_two_level(const std::byte* source, std::byte* result, std::uint32_t width,
                             std::uint32_t height, std::size_t runtime_bpp) noexcept {
    if (width >= 4 && height >= 4) {
        walk_wide_level<Fixed, D>(source, result, width, height, runtime_bpp);
    } else {
        walk_narrow_level<Fixed, D>(source, result, width, height, runtime_bpp);
    }
}

// The rule exactly as stated, column-major, for sides that are not powers of
// two. The level has been copied into result first, so positions no pixel
// reaches keep the bytes they had.
void walk_level_by_rule(const std::byte* source, std::byte* result, std::int32_t width,
                        std::int32_t height, std::size_t bpp, Direction direction) noexcept {
    for (std::int32_t x = 0; x < width; ++x) {
        for (std::int32_t y = 0; y < height; ++y) {
            const std::size_t morton =
                static_cast<std::size_t>(static_cast<std::uint32_t>(morton_index(x, y, width, height))) * bpp;
            const std::size_t linear =
                (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * bpp;
            if (direction == Direction::swizzle) {
                move_element<0>(result + morton, source + linear, bpp);
            } else {
                move_element<0>(result + linear, source + morton, bpp);
            }
        }
    }
}

template <Direction D>
void walk_power_of_two_level(const std::byte* source, std::byte* result, std::uint32_t width,
                             std::uint32_t height, std::size_t bpp) noexcept {
    switch (bpp) {
        case 1: walk_power_of_two_level<1, D>(source, result, width, height, bpp); break;
        case 2: walk_power_of_two_level<2, D>(source, result, width, height, bpp); break;
        case 4: walk_power_of_two_level<4, D>(source, result, width, height, bpp); break;
        default: walk_power_of_two_level<0, D>(source, result, width, height, bpp); break;
    }
}

}  // namespace

std::uint64_t pixel_levels_size(std::uint32_t bytes_per_pixel, const LevelChain& chain) noexcept {
    std::uint64_t total = 0;
    std::int32_t w = chain.width;
    std::int32_t h = chain.height;
    for (std::int32_t level = 0; level < chain.level_count && w > 0 && h > 0; ++level) {
        total = detail::saturating_sum(
            total, detail::saturating_product(static_cast<std::uint64_t>(w),
                                              static_cast<std::uint64_t>(h), bytes_per_pixel));
        w /= 2;
        h /= 2;
    }
    return total;
}

void convert_pixel_levels(std::uint32_t bytes_per_pixel, const LevelChain& chain,
                          std::span<const std::byte> source, std::span<std::byte> result,
                          Direction direction) noexcept {
    const std::uint64_t length = std::min(source.size(), result.size());
    std::uint64_t offset = 0;
    std::int32_t w = chain.width;
    std::int32_t h = chain.height;
    for (std::int32_t level = 0; level < chain.level_count && bytes_per_pixel > 0; ++level) {
        if (w <= 0 || h <= 0) break;  // no later level holds a pixel either
        const std::uint64_t size = detail::saturating_product(
            static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h), bytes_per_pixel);
        if (size > length - offset) break;
        const std::byte* level_source = source.data() + offset;
        std::byte* level_result = result.data() + offset;
        const bool power_of_two = is_power_of_two(w) && is_power_of_two(h);
        if (power_of_two && (w == 1 || h == 1)) {
            // A level one pixel wide or high keeps linear order.
            detail::copy_span(level_source, level_result, 0, size);
        } else if (!power_of_two) {
            // Start from a copy so positions no pixel reaches keep their data.
            detail::copy_span(level_source, level_result, 0, size);
            walk_level_by_rule(level_source, level_result, w, h, bytes_per_pixel, direction);
        } else if (direction == Direction::swizzle) {
            walk_power_of_two_level<Direction::swizzle>(level_source, level_result,
                                                        static_cast<std::uint32_t>(w),
                                                        static_cast<std::uint32_t>(h), bytes_per_pixel);
        } else {
            walk_power_of_two_level<Direction::unswizzle>(level_source, level_result,
                                                          static_cast<std::uint32_t>(w),
                                                          static_cast<std::uint32_t>(h), bytes_per_pixel);
        }
        offset += size;
        w /= 2;
        h /= 2;
    }
    detail::copy_span(source.data(), result.data(), offset, length);
}

}  // namespace ddsswizzle
