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

#if DDSSWIZZLE_HAVE_SSE2
inline __m128i load16(const std::byte* at) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

inline void store16(std::byte* at, __m128i value) noexcept {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
}
#endif
static_assert(block_tile_index(1) == 4 && block_tile_index(15) == 60,
              "input bits 0-3 must land on output bits 2-5");

// Input bit 10 (with bit 4, to keep output bit 6) flips only output bit 0,
// and input bit 5 only output bit 1: the runs starting at first, first ^ 1040,
// first ^ 32 and first ^ 1072 fill tiled positions t, t + 1, t + 2, t + 3 of
// each group of four. Taking those four runs together completes whole
// 64-byte lines of the tiled side one after another.
constexpr std::uint32_t next_tiled_bit0 = 1040;  // input bits 4 and 10
constexpr std::uint32_t next_tiled_bit1 = 32;    // input bit 5
static_assert(block_tile_index(next_tiled_bit0) == 1 && block_tile_index(next_tiled_bit1) == 2);

template <std::size_t BlockBytes, Direction D>
void permute_group(const std::byte* source, std::byte* result) noexcept {
    constexpr std::size_t block = BlockBytes;
    for (std::uint32_t first = 0; first < blocks_per_tile_group; first += blocks_per_run) {
        if ((first & (1024U | next_tiled_bit1)) != 0) continue;  // a partner of an earlier run
        const std::size_t runs[4] = {std::size_t{first} * block, std::size_t{first ^ next_tiled_bit0} * block,
                                     std::size_t{first ^ next_tiled_bit1} * block,
                                     std::size_t{first ^ next_tiled_bit0 ^ next_tiled_bit1} * block};
        const std::size_t tiled = std::size_t{block_tile_index(first)} * block;
#if DDSSWIZZLE_HAVE_SSE2
        if constexpr (block == 8) {
            // Blocks k and k + 1 of a run are one register; unpacking two
            // runs' registers gives pairs of tiled neighbours.
            for (std::size_t k = 0; k < blocks_per_run; k += 2) {
                const std::size_t line = tiled + k * 4 * block;
                if constexpr (D == Direction::swizzle) {
                    const __m128i a = load16(source + runs[0] + k * block);
                    const __m128i b = load16(source + runs[1] + k * block);
                    const __m128i c = load16(source + runs[2] + k * block);
                    const __m128i d = load16(source + runs[3] + k * block);
                    store16(result + line, _mm_unpacklo_epi64(a, b));
                    store16(result + line + 16, _mm_unpacklo_epi64(c, d));
                    store16(result + line + 32, _mm_unpackhi_epi64(a, b));
                    store16(result + line + 48, _mm_unpackhi_epi64(c, d));
                } else {
                    const __m128i p = load16(source + line);
                    const __m128i q = load16(source + line + 16);
                    const __m128i r = load16(source + line + 32);
                    const __m128i t = load16(source + line + 48);
                    store16(result + runs[0] + k * block, _mm_unpacklo_epi64(p, r));
                    store16(result + runs[1] + k * block, _mm_unpackhi_epi64(p, r));
                    store16(result + runs[2] + k * block, _mm_unpacklo_epi64(q, t));
                    store16(result + runs[3] + k * block, _mm_unpackhi_epi64(q, t));
                }
            }
            continue;
        }
#endif
        for (std::size_t k = 0; k < blocks_per_run; ++k) {
            // Block k of each run lands at tiled position t + 4 k + run number.
            const std::size_t line = tiled + k * 4 * block;
            for (std::size_t r = 0; r < 4; ++r) {
                if constexpr (D == Direction::swizzle) {
                    move_element<block>(result + line + r * block, source + runs[r] + k * block, block);
                } else {
                    move_element<block>(result + runs[r] + k * block, source + line + r * block, block);
                }
            }
        }
    }
}

template <std::size_t BlockBytes>
void permute_groups(const std::byte* source, std::byte* result, std::uint64_t groups,
                    Direction direction) noexcept {
    constexpr std::size_t group_bytes = std::size_t{blocks_per_tile_group} * BlockBytes;
    for (std::uint64_t g = 0; g < groups; ++g) {
        const std::size_t at = static_cast<std::size_t>(g) * group_bytes;
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
