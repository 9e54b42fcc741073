// The level walks of the console layouts against the bit-by-bit oracles, and
// sizes and the 4 x 2 example worked by hand. (The worked values of the two
// index rules are checked where the rules are defined, by static_assert; the
// walks check the rules at every position of many shapes.)
#include <gtest/gtest.h>

#include <bit>

#include "layout/block_tiling.h"
#include "layout/kernel_set.h"
#include "layout/morton.h"
#include "support/oracles.h"
#include "support/texture_builder.h"

namespace ddsswizzle {
namespace {

TEST(LayoutRules, WorkedExampleSizesAndKernelSets) {
    // 4 x 2: pixel (2, 0) lands at Morton position 4, pixel (0, 1) at 2.
    std::vector<std::byte> source(32), result(32);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::byte>(i);
    convert_pixel_levels(4, {4, 2, 1}, source, result, Direction::swizzle);
    EXPECT_TRUE(std::equal(source.begin() + 8, source.begin() + 12, result.begin() + 16) &&
                std::equal(source.begin() + 16, source.begin() + 20, result.begin() + 8));
    // 256 x 128 with 9 levels: the ninth is 1 x 0 and counts nothing.
    EXPECT_EQ(pixel_levels_size(4, {256, 128, 9}), 4U * (32768 + 8192 + 2048 + 512 + 128 + 32 + 8 + 2));
    // Narrow block levels count fewer bytes than a file stores (2 x 2 DXT1:
    // 2 bytes): 256 x 256 in 9 levels stores 43704 bytes of DXT1, 87408 of DXT5.
    EXPECT_EQ(block_levels_size(8, {256, 256, 9}), 43704U - 14);
    EXPECT_EQ(block_levels_size(16, {256, 256, 9}), 87408U - 27);
    // Sizes never wrap: an absurd header saturates instead of looking small.
    EXPECT_GT(block_levels_size(16, {0x7FFFFFFF, 0x7FFFFFFF, 127}), std::uint64_t{1} << 60U);
    EXPECT_GT(pixel_levels_size(4, {0x7FFFFFFF, 0x7FFFFFFF, 127}), std::uint64_t{1} << 60U);
    EXPECT_TRUE(kernel_set_available(KernelSet::portable) && kernel_set_available(best_kernel_set()));
    // The index rule at every position (p % w, p / w) of every level up to
    // 40 x 40, sides that are not powers of two included.
    int differ = 0;
    for (std::int32_t w = 1; w <= 40; ++w) {
        for (std::int32_t h = 1; h <= 40; ++h) {
            for (std::int32_t p = 0; p < w * h; ++p) {
                differ += std::uint32_t(morton_index(p % w, p / w, w, h)) != testing::morton_by_bits(p % w, p / w, w, h);
            }
        }
    }
    EXPECT_EQ(differ, 0);
}

// A walk over a buffer of `length` bytes (by default twice the top level and
// 5 bytes more) placed `shift` bytes into its allocation, with every kernel
// set the processor has, both directions, against the oracle; and back again
// where the layout is one-to-one.
void expect_walk_matches(bool blocks, std::uint32_t element, LevelChain chain, std::size_t length = 0, std::size_t shift = 0) {
    const std::size_t top = static_cast<std::size_t>(chain.width) * static_cast<std::size_t>(chain.height) * element;
    length = length != 0 ? length : 2 * (blocks ? top / 16 : top) + 5;
    SCOPED_TRACE(::testing::Message() << (blocks ? "blocks of " : "pixels of ") << element << ", " << chain.width << "x"
                                      << chain.height << "x" << chain.level_count << ", " << length << " at " << shift);
    const auto walk = blocks ? convert_block_levels_using : convert_pixel_levels_using;
    const auto oracle = blocks ? testing::oracle_block_levels : testing::oracle_pixel_levels;
    const bool one_to_one = blocks || (std::has_single_bit(std::uint32_t(chain.width)) && std::has_single_bit(std::uint32_t(chain.height)));
    const std::vector<std::byte> source = testing::random_bytes(length, static_cast<std::uint32_t>(length) + element);
    const auto at = [shift](std::vector<std::byte>& buffer) { return std::span(buffer).subspan(shift); };
    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        const Direction back = direction == Direction::swizzle ? Direction::unswizzle : Direction::swizzle;
        const std::vector<std::byte> expected = oracle(element, chain, source, direction);
        for (const KernelSet set : {KernelSet::portable, KernelSet::sse2, KernelSet::avx2}) {
            if (!kernel_set_available(set)) continue;
            std::vector<std::byte> in(shift + length), out(shift + length, std::byte{0xEE});
            std::copy(source.begin(), source.end(), at(in).begin());
            walk(set, element, chain, at(in), at(out), direction);
            ASSERT_TRUE(std::ranges::equal(expected, at(out))) << "set " << int(set) << ", direction " << int(direction);
            walk(set, element, chain, at(out), at(in), back);
            ASSERT_TRUE(!one_to_one || std::ranges::equal(source, at(in))) << "set " << int(set) << ", and back";
        }
    }
}

TEST(LevelWalks, PixelsMatchTheOracle) {
    for (const std::uint32_t bpp : {1U, 2U, 3U, 4U}) {
        // Every power-of-two shape, one level and the full chain (non-square
        // chains reach a side of 0 before it ends), with bytes after it.
        for (std::int32_t w = 1; w <= 1024; w *= 2) {
            for (std::int32_t h = 1; h <= 1024; h *= 2) {
                const auto levels = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(std::max(w, h))));
                expect_walk_matches(false, bpp, {w, h, 1}, static_cast<std::size_t>(w * h) * bpp);
                expect_walk_matches(false, bpp, {w, h, levels});
            }
        }
        // Other sides follow the rule, which maps several pixels to one place;
        // a position no pixel reaches keeps its bytes.
        for (const LevelChain chain : {LevelChain{6, 6, 3}, LevelChain{3, 5, 2}, LevelChain{40, 30, 4},
                                       LevelChain{1, 6, 1}, LevelChain{7, 12, 3}, LevelChain{96, 80, 5}}) {
            expect_walk_matches(false, bpp, chain);
        }
    }
    // Levels reaching past the buffer are copied, not converted.
    expect_walk_matches(false, 4, {64, 64, 7}, 100);
    expect_walk_matches(false, 4, {64, 64, 7}, 16384 + 4096 + 10);
    // Levels of 8 MiB and more are written with streaming stores when the
    // destination is 16-byte aligned; narrow ones unswizzle group by group.
    const std::pair<std::uint32_t, LevelChain> streamed[] = {{4, {2048, 1024, 2}}, {2, {2048, 2048, 1}}, {4, {16, 131072, 1}},
                                                             {2, {32, 131072, 1}}, {4, {8, 262144, 1}}, {2, {16, 262144, 1}}};
    for (const auto& [bpp, chain] : streamed) {
        for (const std::size_t shift : {0, 3}) expect_walk_matches(false, bpp, chain, pixel_levels_size(bpp, chain), shift);
    }
}

TEST(LevelWalks, BlocksMatchTheOracle) {
    // 8192 blocks: tiled, smaller levels copied; 8191; two groups; a partial
    // third; one and a half; below at every level; reaching height 0; sides
    // not multiples of 4; 64 groups; a level one block row high.
    const LevelChain chains[] = {{512, 256, 10}, {4 * 8191, 4, 1}, {512, 512, 10}, {640, 480, 10}, {512, 384, 1},
                                 {256, 256, 9},  {1024, 4, 11},    {6, 6, 3},      {1024, 1024, 11}, {262144, 1, 1}};
    for (const LevelChain& chain : chains) {
        for (const std::uint32_t block : {8U, 16U}) expect_walk_matches(true, block, chain);
    }
    expect_walk_matches(true, 8, {512, 256, 1}, 0xFFFF);  // past the buffer
    expect_walk_matches(true, 8, {1024, 1024, 2}, 0x80000 + 0x10000);  // a later tiled level past it
}

}  // namespace
}  // namespace ddsswizzle
