// Level walk for the tiled block order.
//
// Within a group the permutation is linear over bits, and input bits 0 to 3
// land unchanged on output bits 2 to 5. So the walk takes the group in runs of
// 16 consecutive blocks: the tiled position of the first block of a run is
// computed once, and the run's blocks go to that position plus 0, 4, 8 ... 60.
// Every run of 128 consecutive blocks lands inside a span of 256 positions,
// which keeps reads and writes local.
#include "layout/block_tiling.h"

#include <algorithm>

// x86-64 always has SSE2; elsewhere the portable loops are used.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define DDSSWIZZLE_HAVE_SSE2 1
#else
#define DDSSWIZZLE_HAVE_SSE2 0
#endif

#include "layout/walk_support.h"

namespace ddsswizzle {
namespace {

using detail::move_element;

constexpr std::uint32_t blocks_per_run = 16;
static_assert(block_tile_index(1) == 4 && block_tile_index(15) == 60,
              "input bits 0-3 must land on output bits 2-5");

template <std::size_t BlockBytes, Direction D>
void permute_group(const std::byte* source, std::byte* result) noexcept {
    // Within a run, block k sits k blocks after the run's first block in
    // linear order and 4 k blocks after it in tiled order.
    constexpr std::size_t tiled_stride = 4 * BlockBytes;
    for (std::uint32_t first = 0; first < blocks_per_tile_group; first += blocks_per_run) {
        const std::size_t linear = std::size_t{first} * BlockBytes;
        const std::size_t tiled = std::size_t{block_tile_index(first)} * BlockBytes;
        for (std::size_t k = 0; k < blocks_per_run; ++k) {
            if constexpr (D == Direction::swizzle) {
                move_element<BlockBytes>(result + tiled + k * tiled_stride, source + linear + k * BlockBytes,
                                         BlockBytes);
            } else {
                move_element<BlockBytes>(result + linear + k * BlockBytes, source + tiled + k * tiled_stride,
                                         BlockBytes);
            }
        }
    }
}

#if DDSSWIZZLE_HAVE_SSE2
// 8-byte blocks, two runs at a time, in 16-byte registers. Flipping input
// bits 4 and 10 together flips only output bit 0, so block j of a run whose
// bit 10 is clear and block j ^ 1040 of its partner run are neighbours in
// tiled order. Two consecutive blocks of each run, loaded as one register
// each, make two tiled neighbour pairs: an unpack apart.
template <Direction D>
void permute_group_8byte_pairs(const std::byte* source, std::byte* result) noexcept {
    constexpr std::uint32_t partner_bits = 1040;  // input bits 4 and 10
    constexpr std::size_t block = 8;
    constexpr std::size_t tiled_stride = 4 * block;
    static_assert(block_tile_index(partner_bits) == 1, "partner blocks must be tiled neighbours");
    for (std::uint32_t first = 0; first < blocks_per_tile_group; first += blocks_per_run) {
        if ((first & 1024U) != 0) continue;  // visited as a partner run
        const std::size_t run = std::size_t{first} * block;
        const std::size_t partner = std::size_t{first ^ partner_bits} * block;
        const std::size_t tiled = std::size_t{block_tile_index(first)} * block;
        for (std::size_t k = 0; k < blocks_per_run; k += 2) {
            const std::size_t at = tiled + k * tiled_stride;
            if constexpr (D == Direction::swizzle) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + run + k * block));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + partner + k * block));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(result + at), _mm_unpacklo_epi64(a, b));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(result + at + tiled_stride), _mm_unpackhi_epi64(a, b));
            } else {
                const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + at));
                const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + at + tiled_stride));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(result + run + k * block), _mm_unpacklo_epi64(p, q));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(result + partner + k * block), _mm_unpackhi_epi64(p, q));
            }
        }
    }
}
#endif

template <std::size_t BlockBytes>
void permute_groups(const std::byte* source, std::byte* result, std::uint64_t groups,
                    Direction direction) noexcept {
    constexpr std::size_t group_bytes = std::size_t{blocks_per_tile_group} * BlockBytes;
    for (std::uint64_t g = 0; g < groups; ++g) {
        const std::size_t at = static_cast<std::size_t>(g) * group_bytes;
#if DDSSWIZZLE_HAVE_SSE2
        if constexpr (BlockBytes == 8) {
            if (direction == Direction::swizzle) {
                permute_group_8byte_pairs<Direction::swizzle>(source + at, result + at);
            } else {
                permute_group_8byte_pairs<Direction::unswizzle>(source + at, result + at);
            }
            continue;
        }
#endif
        if (direction == Direction::swizzle) {
            permute_group<BlockBytes, Direction::swizzle>(source + at, result + at);
        } else {
            permute_group<BlockBytes, Direction::unswizzle>(source + at, result + at);
        }
    }
}

}  // namespace

std::uint64_t block_level_size(std::uint32_t block_bytes, std::int32_t width,
                               std::int32_t height) noexcept {
    if (width <= 0 || height <= 0) return 0;
    return detail::saturating_product(static_cast<std::uint64_t>(width),
                                      static_cast<std::uint64_t>(height), block_bytes) /
           16U;
}

std::uint64_t block_levels_size(std::uint32_t block_bytes, const LevelChain& chain) noexcept {
    std::uint64_t total = 0;
    std::int32_t w = chain.width;
    std::int32_t h = chain.height;
    for (std::int32_t level = 0; level < chain.level_count && w > 0 && h > 0; ++level) {
        total = detail::saturating_sum(total, block_level_size(block_bytes, w, h));
        w /= 2;
        h /= 2;
    }
    return total;
}

void convert_block_levels(std::uint32_t block_bytes, const LevelChain& chain,
                          std::span<const std::byte> source, std::span<std::byte> result,
                          Direction direction) noexcept {
    const std::uint64_t length = std::min(source.size(), result.size());
    const bool supported = block_bytes == 8 || block_bytes == 16;
    std::uint64_t offset = 0;
    std::uint64_t copied = 0;  // result[0, copied) is final
    std::int32_t w = chain.width;
    std::int32_t h = chain.height;
    for (std::int32_t level = 0; supported && level < chain.level_count; ++level) {
        if (w <= 0 || h <= 0) break;  // no later level counts a byte either
        const std::uint64_t size = block_level_size(block_bytes, w, h);
        if (size > length - offset) break;
        if (size >= block_tiling_threshold(block_bytes)) {
            const std::uint64_t groups = size / block_bytes / blocks_per_tile_group;
            detail::copy_span(source.data(), result.data(), copied, offset);
            const std::byte* from = source.data() + offset;
            std::byte* to = result.data() + offset;
            if (block_bytes == 8) {
                permute_groups<8>(from, to, groups, direction);
            } else {
                permute_groups<16>(from, to, groups, direction);
            }
            copied = offset + groups * block_tiling_threshold(block_bytes);
        }
        offset += size;
        w /= 2;
        h /= 2;
    }
    detail::copy_span(source.data(), result.data(), copied, length);
}

}  // namespace ddsswizzle
