// Level walk for the Morton pixel order.
//
// For sides that are powers of two the Morton index is the column's bits
// deposited into one bit mask ORed with the row's bits deposited into
// another. The walk takes a level in square tiles of 16 to 64 pixels a side:
// a tile is a few short runs of linear rows on one side and one contiguous
// run of Morton positions on the other, so both buffers are touched locally.
// Indices are stepped with the masked increment ((m | ~mask) + 1) & mask
// rather than recomputed.
//
// With both sides at least 4 the walk moves 4 x 4 blocks (16 consecutive
// Morton positions) at a time, in 16-byte registers for 4-byte and 2-byte
// pixels. Levels of 8 MiB and more are written with streaming stores, which
// skip reading each destination line before overwriting it.
//
// Sides that are not powers of two map several pixels onto one position; such
// levels are walked with the plain rule, in its own loop order, so that the
// result is exactly what the rule gives.
#include "layout/morton.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "layout/kernel_set.h"
#include "layout/simd.h"
#include "layout/walk_support.h"

namespace ddsswizzle {
namespace {

using detail::move_element;

// Side of the square tiles the walks take a level in: a 32 x 32 tile is one
// contiguous run of 1024 Morton positions, read or written in one go.
constexpr std::uint32_t tile_side = 32;

// Tile sides of the grouped walks, found by measurement. Swizzling reads a
// tile from as many linear rows as it is high and does best when each of
// those row pieces is one 64-byte line (16 x 16 tiles of 4-byte pixels,
// 32 x 32 of 2-byte ones): fewer rows at a time keep the hardware prefetcher
// on track. Unswizzling reads the Morton side sequentially and writes rows
// through the staging buffer; larger tiles mean longer runs on both sides.
constexpr std::uint32_t swizzle_tile_side(std::size_t bpp) noexcept { return bpp >= 4 ? 16 : 32; }
constexpr std::uint32_t unswizzle_tile_side = 64;

template <Direction D>
constexpr std::uint32_t group_tile_side(std::size_t bpp) noexcept {
    return D == Direction::swizzle ? swizzle_tile_side(bpp) : unswizzle_tile_side;
}

// Levels at least this large are written with streaming stores: they do not
// fit the cache anyway, and streaming saves reading every destination line
// from memory before overwriting it.
constexpr std::size_t streaming_level_bytes = std::size_t{8} << 20U;

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

// With both sides at least 4, the low four bits of the Morton index are
// column bit 0, row bit 0, column bit 1, row bit 1: a 4 x 4 block is 16
// consecutive Morton positions, made of eight horizontal pixel pairs. Pair q
// of the block holds row (q & 1) + 2 (q >> 2), columns 2 ((q >> 1) & 1) and
// the one after. The walks below move groups of such blocks.
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

#if DDSSWIZZLE_HAVE_SSE2
// Vector kernels for 4-byte and 2-byte pixels. A group is 64 bytes: one 4 x 4
// block of 4-byte pixels, or two 4 x 4 blocks of 2-byte pixels side by side
// (column bit 2 is Morton bit 4, so with a width of at least 8 the second
// block directly follows the first). Either way the group is four rows of 16
// bytes in linear order and four consecutive 16-byte registers in Morton order.
struct GroupRegisters {
    __m128i part[4];
};

using detail::load16;

template <bool Stream>
inline void store16(std::byte* at, __m128i value) noexcept {
    if constexpr (Stream) {
        detail::stream16(at, value);
    } else {
        detail::store16(at, value);
    }
}

// Rows in linear order to registers in Morton order.
template <std::size_t Fixed>
inline GroupRegisters rows_to_morton(const GroupRegisters& rows) noexcept {
    const __m128i* r = rows.part;
    if constexpr (Fixed == 4) {
        // Pixel pairs are 8-byte halves: pairs of rows 0-1, then rows 2-3.
        return {{_mm_unpacklo_epi64(r[0], r[1]), _mm_unpackhi_epi64(r[0], r[1]), _mm_unpacklo_epi64(r[2], r[3]),
                 _mm_unpackhi_epi64(r[2], r[3])}};
    } else {
        // Pixel pairs are 4-byte lanes; the low two lanes of a row belong to
        // the first block, the high two to the second.
        return {{_mm_unpacklo_epi32(r[0], r[1]), _mm_unpacklo_epi32(r[2], r[3]), _mm_unpackhi_epi32(r[0], r[1]),
                 _mm_unpackhi_epi32(r[2], r[3])}};
    }
}

// Registers in Morton order back to rows in linear order.
template <std::size_t Fixed>
inline GroupRegisters morton_to_rows(const GroupRegisters& morton) noexcept {
    if constexpr (Fixed == 4) {
        // Exchanging the 8-byte halves of two registers twice restores them:
        // the 4-byte interleave is its own inverse.
        return rows_to_morton<Fixed>(morton);
    } else {
        const __m128i* m = morton.part;
        // Each register alternates the pairs of two rows: gather each row's
        // pairs into one half, then join the two blocks' halves.
        constexpr int even_then_odd = _MM_SHUFFLE(3, 1, 2, 0);
        const __m128i a = _mm_shuffle_epi32(m[0], even_then_odd);
        const __m128i b = _mm_shuffle_epi32(m[1], even_then_odd);
        const __m128i c = _mm_shuffle_epi32(m[2], even_then_odd);
        const __m128i d = _mm_shuffle_epi32(m[3], even_then_odd);
        return {{_mm_unpacklo_epi64(a, c), _mm_unpackhi_epi64(a, c), _mm_unpacklo_epi64(b, d),
                 _mm_unpackhi_epi64(b, d)}};
    }
}

inline GroupRegisters load_rows(const std::byte* at, std::size_t row_stride) noexcept {
    return {{load16(at), load16(at + row_stride), load16(at + 2 * row_stride), load16(at + 3 * row_stride)}};
}

inline GroupRegisters load_run(const std::byte* at) noexcept {
    return {{load16(at), load16(at + 16), load16(at + 32), load16(at + 48)}};
}

template <bool Stream>
inline void store_rows(std::byte* at, std::size_t row_stride, const GroupRegisters& rows) noexcept {
    for (std::size_t k = 0; k < 4; ++k) store16<Stream>(at + k * row_stride, rows.part[k]);
}

template <bool Stream>
inline void store_run(std::byte* at, const GroupRegisters& run) noexcept {
    for (std::size_t k = 0; k < 4; ++k) store16<Stream>(at + 16 * k, run.part[k]);
}

constexpr bool has_vector_kernel(std::size_t fixed, std::uint32_t group_width) noexcept {
    return (fixed == 4 && group_width == 4) || (fixed == 2 && group_width == 8);
}
#else
constexpr bool has_vector_kernel(std::size_t /*fixed*/, std::uint32_t /*group_width*/) noexcept { return false; }
#endif

// Moves one group of GroupWidth x 4 pixels (one or two 4 x 4 blocks), with
// the vector kernels when Vector is set.
template <std::size_t Fixed, std::uint32_t GroupWidth, Direction D, bool Vector, bool Stream>
inline void move_group(const std::byte* source, std::byte* result, std::size_t linear, std::size_t row_stride,
                       std::size_t morton, std::size_t bpp) noexcept {
#if DDSSWIZZLE_HAVE_SSE2
    if constexpr (Vector && has_vector_kernel(Fixed, GroupWidth)) {
        if constexpr (D == Direction::swizzle) {
            store_run<Stream>(result + morton, rows_to_morton<Fixed>(load_rows(source + linear, row_stride)));
        } else {
            store_rows<Stream>(result + linear, row_stride, morton_to_rows<Fixed>(load_run(source + morton)));
        }
        return;
    }
#endif
    for (std::size_t block = 0; block < GroupWidth / 4; ++block) {
        move_block4x4<Fixed, D>(source, result, linear + block * 4 * bpp, row_stride, morton + block * 16 * bpp, bpp);
    }
}

// A rectangle of a level, in pixels, and where its linear side lives: the
// byte offset of its top-left pixel in the linear buffer and the distance
// between its rows there. For a whole level the linear buffer is the level
// itself; for a staged unswizzle it is the small staging buffer.
struct Region {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t linear_origin = 0;
    std::size_t linear_stride = 0;
};

// Moves the region's pixels in square tiles (sides from group_tile_side; one contiguous
// run of Morton positions each), group by group. The Morton index of a group
// is stepped with the masked increment over the bits above the group's own.
// source and result are the level's buffers, one of them possibly replaced
// by the staging buffer on the linear side.
template <std::size_t Fixed, std::uint32_t GroupWidth, Direction D, bool Vector, bool Stream>
void walk_region(const std::byte* source, std::byte* result, const MortonMasks& masks, const Region& region,
                 std::size_t bpp) noexcept {
    const std::uint32_t column_steps = masks.column & ~deposit_bits(GroupWidth - 1U, masks.column);
    const std::uint32_t row_steps = masks.row & ~deposit_bits(3U, masks.row);
    const std::uint32_t tile_w = std::min(region.width, group_tile_side<D>(bpp));
    const std::uint32_t tile_h = std::min(region.height, group_tile_side<D>(bpp));
    const std::uint32_t column_in_tile = deposit_bits(tile_w - 1U, masks.column) & column_steps;
    const std::uint32_t row_in_tile = deposit_bits(tile_h - 1U, masks.row) & row_steps;

    // Unswizzle reads the tile's groups in Morton order, one sequential run,
    // and steps the linear offset alongside: group number g and the tile's
    // Morton bits above the group correspond bit for bit, each bit standing
    // for a fixed linear distance (a column or a row step). Going from g to
    // g + 1 clears its trailing ones and sets the next bit, so the offset
    // loses those bits' distances and gains the next one's.
    const std::uint32_t tile_bits = column_in_tile | row_in_tile;
    std::size_t step_distance[32] = {};
    std::size_t below_distance[33] = {};
    std::uint32_t tile_groups = 1;
    if constexpr (D == Direction::unswizzle) {
        std::uint32_t k = 0;
        for (std::uint32_t bits = tile_bits; bits != 0; bits &= bits - 1U, ++k) {
            const std::uint32_t bit = bits & (~bits + 1U);
            const bool is_column = (bit & masks.column) != 0;
            const std::uint32_t rank = static_cast<std::uint32_t>(
                std::popcount((is_column ? masks.column : masks.row) & (bit - 1U)));
            step_distance[k] = is_column ? (std::size_t{1} << rank) * bpp
                                         : (std::size_t{1} << rank) * region.linear_stride;
            below_distance[k + 1] = below_distance[k] + step_distance[k];
        }
        tile_groups = std::uint32_t{1} << k;
    }

    for (std::uint32_t ty = 0; ty < region.height; ty += tile_h) {
        const std::uint32_t row_base = deposit_bits(region.y + ty, masks.row);
        for (std::uint32_t tx = 0; tx < region.width; tx += tile_w) {
            const std::uint32_t tile_base = row_base | deposit_bits(region.x + tx, masks.column);
            const std::size_t tile_linear =
                region.linear_origin + std::size_t{ty} * region.linear_stride + std::size_t{tx} * bpp;
            if constexpr (D == Direction::unswizzle) {
                std::size_t linear = tile_linear;
                std::uint32_t morton_part = 0;
                for (std::uint32_t g = 0; g < tile_groups; ++g) {
                    move_group<Fixed, GroupWidth, D, Vector, Stream>(source, result, linear, region.linear_stride,
                                                              std::size_t{tile_base | morton_part} * bpp, bpp);
                    const auto trailing_ones = static_cast<std::uint32_t>(std::countr_one(g));
                    linear = linear - below_distance[trailing_ones] + step_distance[trailing_ones];
                    morton_part = next_in_mask(morton_part, tile_bits);
                }
            } else {
                std::uint32_t row_part = 0;
                for (std::uint32_t by = 0; by < tile_h; by += 4) {
                    const std::size_t line = tile_linear + std::size_t{by} * region.linear_stride;
                    const std::uint32_t line_base = tile_base | row_part;
                    std::uint32_t column_part = 0;
                    for (std::uint32_t bx = 0; bx < tile_w; bx += GroupWidth) {
                        move_group<Fixed, GroupWidth, D, Vector, Stream>(source, result, line + std::size_t{bx} * bpp,
                                                                  region.linear_stride,
                                                                  std::size_t{line_base | column_part} * bpp, bpp);
                        column_part = next_in_mask(column_part, column_in_tile);
                    }
                    row_part = next_in_mask(row_part, row_in_tile);
                }
            }
        }
    }
}

#if DDSSWIZZLE_HAVE_SSE2
// Size of the staging buffer of the streaming unswizzle: small enough to stay
// in the first two cache levels.
constexpr std::size_t staging_bytes = std::size_t{64} << 10U;

// Copies bytes (a multiple of 64, destination 16-byte aligned) with
// streaming stores.
inline void stream_copy(std::byte* to, const std::byte* from, std::size_t bytes) noexcept {
    for (std::size_t i = 0; i < bytes; i += 64) store_run<true>(to + i, load_run(from + i));
}

// Unswizzle of a large level: the linear rows are scattered over many lines
// at a time, which streaming stores handle badly, so each band of up to 64
// rows is unswizzled chunk by chunk into a small staging buffer and then
// streamed out row by row as long sequential runs.
template <std::size_t Fixed, std::uint32_t GroupWidth>
void unswizzle_staged(const std::byte* source, std::byte* result, std::uint32_t width, std::uint32_t height,
                      const MortonMasks& masks, std::size_t bpp) noexcept {
    alignas(64) std::byte stage[staging_bytes];
    const std::size_t row_bytes = std::size_t{width} * bpp;
    const std::uint32_t band = std::min(height, unswizzle_tile_side);
    const auto chunk =
        static_cast<std::uint32_t>(std::min<std::size_t>(width, staging_bytes / (std::size_t{band} * bpp)));
    const std::size_t chunk_bytes = std::size_t{chunk} * bpp;
    for (std::uint32_t y = 0; y < height; y += band) {
        for (std::uint32_t x = 0; x < width; x += chunk) {
            const Region region{x, y, chunk, band, 0, chunk_bytes};
            walk_region<Fixed, GroupWidth, Direction::unswizzle, true, false>(source, stage, masks, region, bpp);
            for (std::uint32_t r = 0; r < band; ++r) {
                stream_copy(result + std::size_t{y + r} * row_bytes + std::size_t{x} * bpp, stage + r * chunk_bytes,
                            chunk_bytes);
            }
        }
    }
    _mm_sfence();
}
#endif

// Walks a level whose sides are both at least 4, choosing streaming or
// ordinary stores. Streaming needs the vector kernels and a 16-byte aligned
// destination (every store of the kernels lands a multiple of 16 bytes from
// the level's start) and, for the staged unswizzle, rows of whole 64-byte
// lines.
template <std::size_t Fixed, std::uint32_t GroupWidth, Direction D>
void walk_groups(const std::byte* source, std::byte* result, std::uint32_t width, std::uint32_t height,
                 std::size_t bpp, bool vectors) noexcept {
    const MortonMasks masks = morton_masks(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    const Region whole{0, 0, width, height, 0, std::size_t{width} * bpp};
#if DDSSWIZZLE_HAVE_SSE2
    if constexpr (has_vector_kernel(Fixed, GroupWidth)) {
        if (vectors) {
            const bool aligned = reinterpret_cast<std::uintptr_t>(result) % 16 == 0;
            if (aligned && std::size_t{width} * bpp >= 64 &&
                std::size_t{width} * height * bpp >= streaming_level_bytes) {
                if constexpr (D == Direction::swizzle) {
                    walk_region<Fixed, GroupWidth, D, true, true>(source, result, masks, whole, bpp);
                    _mm_sfence();
                } else {
                    unswizzle_staged<Fixed, GroupWidth>(source, result, width, height, masks, bpp);
                }
            } else {
                walk_region<Fixed, GroupWidth, D, true, false>(source, result, masks, whole, bpp);
            }
            return;
        }
    }
#endif
    static_cast<void>(vectors);
    walk_region<Fixed, GroupWidth, D, false, false>(source, result, masks, whole, bpp);
}

template <std::size_t Fixed, Direction D>
void walk_wide_level(const std::byte* source, std::byte* result, std::uint32_t width, std::uint32_t height,
                     std::size_t runtime_bpp, bool vectors) noexcept {
    const std::size_t bpp = Fixed != 0 ? Fixed : runtime_bpp;
    if constexpr (Fixed == 2) {
        // 2-byte pixels go two blocks at a time when the level is wide enough.
        if (width >= 8) {
            walk_groups<Fixed, 8, D>(source, result, width, height, bpp, vectors);
            return;
        }
    }
    walk_groups<Fixed, 4, D>(source, result, width, height, bpp, vectors);
}

template <std::size_t Fixed, Direction D>
void walk_power_of_two_level(const std::byte* source, std::byte* result, std::uint32_t width,
                             std::uint32_t height, std::size_t runtime_bpp, bool vectors) noexcept {
    if (width >= 4 && height >= 4) {
        walk_wide_level<Fixed, D>(source, result, width, height, runtime_bpp, vectors);
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
                             std::uint32_t height, std::size_t bpp, bool vectors) noexcept {
    switch (bpp) {
        case 1: walk_power_of_two_level<1, D>(source, result, width, height, bpp, vectors); break;
        case 2: walk_power_of_two_level<2, D>(source, result, width, height, bpp, vectors); break;
        case 4: walk_power_of_two_level<4, D>(source, result, width, height, bpp, vectors); break;
        default: walk_power_of_two_level<0, D>(source, result, width, height, bpp, vectors); break;
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
    convert_pixel_levels_using(best_kernel_set(), bytes_per_pixel, chain, source, result, direction);
}

void convert_pixel_levels_using(KernelSet set, std::uint32_t bytes_per_pixel, const LevelChain& chain,
                                std::span<const std::byte> source, std::span<std::byte> result,
                                Direction direction) noexcept {
    // The pixel kernels go no wider than 16-byte registers.
    const bool vectors = set != KernelSet::portable && kernel_set_available(set);
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
                                                        static_cast<std::uint32_t>(h), bytes_per_pixel, vectors);
        } else {
            walk_power_of_two_level<Direction::unswizzle>(level_source, level_result,
                                                          static_cast<std::uint32_t>(w),
                                                          static_cast<std::uint32_t>(h), bytes_per_pixel, vectors);
        }
        offset += size;
        w /= 2;
        h /= 2;
    }
    detail::copy_span(source.data(), result.data(), offset, length);
}

}  // namespace ddsswizzle
