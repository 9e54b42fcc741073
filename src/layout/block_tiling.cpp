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

#include "layout/walk_support.h"

namespace ddsswizzle {
namespace {

using detail::move_element;

constexpr std::uint32_t blocks_per_run = 16;
static_assert(block_tile_index(1) == 4 && block_tile_index(15) == 60,
              "input bits 0-3 must land on output bits 2-5");

template <std::size_t BlockBytes, Direction D>
void permute_group(const std::byte* source, std::byte* result) noexcept {
    for (std::uint32_t first = 0; first < blocks_per_tile_group; first += blocks_per_run) {
        const std::uint32_t tiled_first = block_tile_index(first);
        for (std::uint32_t k = 0; k < blocks_per_run; ++k) {
            const std::size_t linear = std::size_t{first + k} * BlockBytes;
            const std::size_t tiled = std::size_t{tiled_first | (k << 2U)} * BlockBytes;
            if constexpr (D == Direction::swizzle) {
                move_element<BlockBytes>(result + tiled, source + linear, BlockBytes);
            } else {
                move_element<BlockBytes>(result + linear, source + tiled, BlockBytes);
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
