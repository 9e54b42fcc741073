// Index rules and level walks of the console layouts, against their worked
// values and against the bit-by-bit oracles.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "layout/block_tiling.h"
#include "layout/kernel_set.h"
#include "layout/morton.h"
#include "support/oracles.h"
#include "support/texture_builder.h"

namespace ddsswizzle {
namespace {

using testing::block_tile_by_table;
using testing::morton_by_bits;
using testing::oracle_block_levels;
using testing::oracle_pixel_levels;
using testing::random_bytes;

struct MortonCase {
    std::int32_t x, y, width, height, expected;
};

TEST(MortonIndex, WorkedValues) {
    const MortonCase cases[] = {
        {1, 0, 4, 2, 1}, {0, 1, 4, 2, 2}, {2, 0, 4, 2, 4}, {3, 1, 4, 2, 7},
        {1, 0, 2, 4, 1}, {0, 1, 2, 4, 2}, {0, 2, 2, 4, 4}, {1, 3, 2, 4, 7},
        {3, 3, 4, 4, 15}, {2, 1, 4, 4, 6}, {0, 0, 1, 1, 0},
        // One pixel wide or high: linear order.
        {0, 5, 1, 8, 5}, {6, 0, 8, 1, 6},
        // Width 6 gives each column two bits: column 5 acts as column 1.
        {5, 0, 6, 1, 1},
    };
    for (const MortonCase& c : cases) {
        EXPECT_EQ(morton_index(c.x, c.y, c.width, c.height), c.expected)
            << c.x << "," << c.y << " in " << c.width << "x" << c.height;
    }
}

TEST(MortonIndex, MatchesBitInterleavingAndIsOneToOneForPowerOfTwoSides) {
    for (std::int32_t w = 1; w <= 256; w *= 2) {
        for (std::int32_t h = 1; h <= 256; h *= 2) {
            std::vector<bool> seen(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
            for (std::int32_t y = 0; y < h; ++y) {
                for (std::int32_t x = 0; x < w; ++x) {
                    const std::int32_t m = morton_index(x, y, w, h);
                    ASSERT_EQ(static_cast<std::uint32_t>(m), morton_by_bits(x, y, w, h)) << w << "x" << h;
                    ASSERT_LT(static_cast<std::size_t>(m), seen.size());
                    ASSERT_FALSE(seen[static_cast<std::size_t>(m)]) << "collision in " << w << "x" << h;
                    seen[static_cast<std::size_t>(m)] = true;
                }
            }
        }
    }
}

TEST(MortonIndex, StaysInsideTheLevelForAnySides) {
    for (std::int32_t w = 1; w <= 40; ++w) {
        for (std::int32_t h = 1; h <= 40; ++h) {
            for (std::int32_t y = 0; y < h; ++y) {
                for (std::int32_t x = 0; x < w; ++x) {
                    const std::int32_t m = morton_index(x, y, w, h);
                    ASSERT_GE(m, 0);
                    ASSERT_LT(m, w * h) << x << "," << y << " in " << w << "x" << h;
                }
            }
        }
    }
}

TEST(BlockTileIndex, WorkedValues) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0, 0},       {1, 4},       {2, 8},       {31, 124},     {32, 2},
        {33, 6},      {64, 128},    {128, 512},   {1024, 65},    {2048, 4160},
        {4096, 256},  {8191, 8191}, {8192, 8192}, {8193, 8196},  {12345, 8550},
    };
    for (const auto& [j, expected] : cases) EXPECT_EQ(block_tile_index(j), expected) << j;
}

TEST(BlockTileIndex, MatchesBitTableAndPermutesEachGroupOntoItself) {
    for (std::uint32_t group = 0; group < 3; ++group) {
        std::vector<bool> seen(blocks_per_tile_group);
        for (std::uint32_t low = 0; low < blocks_per_tile_group; ++low) {
            const std::uint32_t j = group * blocks_per_tile_group + low;
            const std::uint32_t t = block_tile_index(j);
            ASSERT_EQ(t, block_tile_by_table(j)) << j;
            ASSERT_EQ(t / blocks_per_tile_group, group) << j;
            ASSERT_FALSE(seen[t % blocks_per_tile_group]) << j;
            seen[t % blocks_per_tile_group] = true;
        }
    }
    // Linear over bits: the position of a number is the xor of its bits' positions.
    for (std::uint32_t j = 0; j < blocks_per_tile_group; j += 97) {
        std::uint32_t combined = 0;
        for (unsigned k = 0; k < 13; ++k) {
            if ((j >> k) & 1U) combined ^= block_tile_index(1U << k);
        }
        EXPECT_EQ(block_tile_index(j), combined) << j;
    }
}

// Every kernel set this processor can run; each is checked on its own.
std::vector<KernelSet> available_kernel_sets() {
    std::vector<KernelSet> sets;
    for (const KernelSet set : {KernelSet::portable, KernelSet::sse2, KernelSet::avx2}) {
        if (kernel_set_available(set)) sets.push_back(set);
    }
    return sets;
}

const char* kernel_set_name(KernelSet set) {
    switch (set) {
        case KernelSet::portable: return "portable";
        case KernelSet::sse2: return "sse2";
        case KernelSet::avx2: return "avx2";
    }
    return "?";
}

TEST(KernelSets, BestIsAvailableAndPortableAlwaysIs) {
    EXPECT_TRUE(kernel_set_available(KernelSet::portable));
    EXPECT_TRUE(kernel_set_available(best_kernel_set()));
}

// Runs the real pixel walk (with every available kernel set) and the oracle
// over one chain, both directions, and checks they agree and that the two
// directions undo each other.
void expect_pixel_walk_matches(std::uint32_t bpp, LevelChain chain, std::size_t extra_bytes, std::uint32_t seed) {
    const std::size_t length = pixel_levels_size(bpp, chain) + extra_bytes;
    const std::vector<std::byte> source = random_bytes(length, seed);
    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        const std::vector<std::byte> expected = oracle_pixel_levels(bpp, chain, source, direction);
        for (const KernelSet set : available_kernel_sets()) {
            std::vector<std::byte> result(length, std::byte{0xEE});
            convert_pixel_levels_using(set, bpp, chain, source, result, direction);
            ASSERT_EQ(result, expected) << bpp << " bpp " << chain.width << "x" << chain.height << " x"
                                        << chain.level_count << (direction == Direction::swizzle ? " swizzle " : " unswizzle ")
                                        << kernel_set_name(set);
            const Direction back = direction == Direction::swizzle ? Direction::unswizzle : Direction::swizzle;
            std::vector<std::byte> restored(length);
            convert_pixel_levels_using(set, bpp, chain, result, restored, back);
            ASSERT_EQ(restored, source) << "round trip " << chain.width << "x" << chain.height << " "
                                        << kernel_set_name(set);
        }
    }
}

std::int32_t full_chain_levels(std::int32_t w, std::int32_t h) {
    std::int32_t levels = 1;
    while (w > 1 || h > 1) {
        w = std::max(w / 2, 1);
        h = std::max(h / 2, 1);
        ++levels;
    }
    return levels;
}

TEST(ConvertPixelLevels, MatchesRuleForAllPowerOfTwoShapes) {
    std::uint32_t seed = 7;
    for (const std::uint32_t bpp : {1U, 2U, 3U, 4U}) {
        for (std::int32_t w = 1; w <= 1024; w *= 2) {
            for (std::int32_t h = 1; h <= 1024; h *= 2) {
                expect_pixel_walk_matches(bpp, {w, h, 1}, 0, ++seed);
                // The full chain: non-square chains reach a side of 0 before
                // the last level, and the bytes after that stay where they are.
                expect_pixel_walk_matches(bpp, {w, h, full_chain_levels(w, h)}, 5, ++seed);
            }
        }
    }
}

TEST(ConvertPixelLevels, MatchesRuleForLargeAndThinLevels) {
    const LevelChain chains[] = {
        {1024, 1024, 11}, {1, 1024, 1}, {1024, 1, 1}, {2, 1024, 11}, {1024, 2, 11}, {512, 64, 10},
    };
    std::uint32_t seed = 99;
    for (const LevelChain& chain : chains) {
        for (const std::uint32_t bpp : {1U, 2U, 4U}) expect_pixel_walk_matches(bpp, chain, 3, ++seed);
    }
}

TEST(ConvertPixelLevels, MatchesRuleForLevelsLargeEnoughToStream) {
    // Levels of 8 MiB and more are written with streaming stores when the
    // destination is 16-byte aligned; narrow ones unswizzle group by group.
    const std::pair<std::uint32_t, LevelChain> cases[] = {
        {4, {2048, 1024, 2}}, {2, {2048, 2048, 1}}, {4, {16, 131072, 1}},
        {2, {32, 131072, 1}}, {4, {8, 262144, 1}}, {2, {16, 262144, 1}},
    };
    std::uint32_t seed = 300;
    for (const auto& [bpp, chain] : cases) expect_pixel_walk_matches(bpp, chain, 0, ++seed);
}

TEST(ConvertPixelLevels, MisalignedBuffersGiveTheSameResult) {
    // The same level placed at an odd offset of its buffers must convert the
    // same way (streaming stores are only used on aligned destinations).
    for (const std::uint32_t bpp : {2U, 4U}) {
        const LevelChain chain{2048, 2048, 1};
        const std::size_t length = pixel_levels_size(bpp, chain);
        const std::vector<std::byte> source = random_bytes(length, bpp);
        std::vector<std::byte> shifted_source(length + 3);
        std::copy(source.begin(), source.end(), shifted_source.begin() + 3);
        for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
            std::vector<std::byte> aligned(length);
            convert_pixel_levels(bpp, chain, source, aligned, direction);
            std::vector<std::byte> shifted(length + 3);
            convert_pixel_levels(bpp, chain, std::span(shifted_source).subspan(3), std::span(shifted).subspan(3),
                                 direction);
            ASSERT_TRUE(std::equal(aligned.begin(), aligned.end(), shifted.begin() + 3)) << bpp;
        }
    }
}

TEST(ConvertPixelLevels, ThinLevelsKeepLinearOrder) {
    for (const LevelChain chain : {LevelChain{1, 64, 1}, LevelChain{64, 1, 1}}) {
        const std::vector<std::byte> source = random_bytes(64 * 4, 3);
        std::vector<std::byte> result(source.size());
        convert_pixel_levels(4, chain, source, result, Direction::swizzle);
        EXPECT_EQ(result, source);
    }
}

TEST(ConvertPixelLevels, FourByTwoWorkedExample) {
    // Source pixel (2, 0), bytes 8 to 11, lands at Morton position 4: bytes 16 to 19.
    std::vector<std::byte> source(32);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::byte>(i);
    std::vector<std::byte> result(32);
    convert_pixel_levels(4, {4, 2, 1}, source, result, Direction::swizzle);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(result[16 + i], source[8 + i]);
    // Row 1 starts at Morton position 2: pixel (0, 1) goes to bytes 8 to 11.
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(result[8 + i], source[16 + i]);
}

TEST(ConvertPixelLevels, ChainStopsAtZeroSide) {
    // 256 x 128 with 9 levels: the ninth level is 1 x 0 and counts nothing.
    EXPECT_EQ(pixel_levels_size(4, {256, 128, 9}), 4U * (32768 + 8192 + 2048 + 512 + 128 + 32 + 8 + 2));
    EXPECT_EQ(pixel_levels_size(4, {256, 128, 9}), pixel_levels_size(4, {256, 128, 8}));
    EXPECT_EQ(pixel_levels_size(4, {0, 128, 9}), 0U);
    EXPECT_EQ(pixel_levels_size(4, {-4, -4, 3}), 0U);
}

TEST(ConvertPixelLevels, NonPowerOfTwoSidesFollowTheRuleAndKeepUnreachedBytes) {
    std::uint32_t seed = 500;
    for (const LevelChain chain : {LevelChain{6, 6, 3}, LevelChain{3, 5, 2}, LevelChain{40, 30, 4}, LevelChain{1, 6, 1}}) {
        const std::size_t length = pixel_levels_size(4, chain);
        const std::vector<std::byte> source = random_bytes(length, ++seed);
        for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
            std::vector<std::byte> result(length);
            convert_pixel_levels(4, chain, source, result, direction);
            EXPECT_EQ(result, oracle_pixel_levels(4, chain, source, direction)) << chain.width << "x" << chain.height;
        }
    }
}

TEST(ConvertPixelLevels, LevelsPastTheBufferAreCopiedNotConverted) {
    // The header claims 64 x 64 but the buffer holds only 100 bytes: nothing
    // may be read or written outside it, and everything is kept.
    const std::vector<std::byte> source = random_bytes(100, 11);
    std::vector<std::byte> result(100);
    convert_pixel_levels(4, {64, 64, 7}, source, result, Direction::swizzle);
    EXPECT_EQ(result, source);
}

// Block walk (every available kernel set) against the oracle, both
// directions, plus the round trip.
void expect_block_walk_matches(std::uint32_t block_bytes, LevelChain chain, std::size_t extra_bytes,
                               std::uint32_t seed) {
    const std::size_t length = block_levels_size(block_bytes, chain) + extra_bytes;
    const std::vector<std::byte> source = random_bytes(length, seed);
    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        const std::vector<std::byte> expected = oracle_block_levels(block_bytes, chain, source, direction);
        for (const KernelSet set : available_kernel_sets()) {
            std::vector<std::byte> result(length, std::byte{0xEE});
            convert_block_levels_using(set, block_bytes, chain, source, result, direction);
            ASSERT_EQ(result, expected) << block_bytes << "-byte blocks " << chain.width << "x" << chain.height << " "
                                        << kernel_set_name(set);
            const Direction back = direction == Direction::swizzle ? Direction::unswizzle : Direction::swizzle;
            std::vector<std::byte> restored(length);
            convert_block_levels_using(set, block_bytes, chain, result, restored, back);
            ASSERT_EQ(restored, source) << "round trip " << chain.width << "x" << chain.height << " "
                                        << kernel_set_name(set);
        }
    }
}

TEST(ConvertBlockLevels, MatchesRuleAtAndAroundTheThreshold) {
    struct Case {
        LevelChain chain;
        const char* what;
    };
    const Case cases[] = {
        {{512, 256, 10}, "8192 blocks: tiled, smaller levels copied"},
        {{4 * 8191, 4, 1}, "8191 blocks: copied"},
        {{512, 512, 10}, "16384 blocks: two groups"},
        {{640, 480, 10}, "19200 blocks: two groups and a partial one"},
        {{512, 384, 1}, "12288 blocks: one group and a partial one"},
        {{256, 256, 9}, "below the threshold at every level"},
        {{1024, 4, 11}, "thin chain reaching height 0"},
        {{6, 6, 3}, "sides not multiples of 4"},
        {{1024, 1024, 11}, "64 groups"},
    };
    std::uint32_t seed = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expect_block_walk_matches(8, c.chain, 13, ++seed);
        expect_block_walk_matches(16, c.chain, 27, ++seed);
    }
}

TEST(ConvertBlockLevels, ThresholdIsEightThousandOneHundredNinetyTwoBlocks) {
    for (const std::uint32_t block_bytes : {8U, 16U}) {
        // 8191 blocks: every block stays. 8192 blocks: block 1 moves to position 4.
        for (const std::uint32_t blocks : {8191U, 8192U}) {
            const LevelChain chain{static_cast<std::int32_t>(4 * blocks), 4, 1};
            const std::vector<std::byte> source = random_bytes(std::size_t{blocks} * block_bytes, blocks);
            std::vector<std::byte> result(source.size());
            convert_block_levels(block_bytes, chain, source, result, Direction::swizzle);
            if (blocks == 8191) {
                EXPECT_EQ(result, source);
            } else {
                EXPECT_TRUE(std::equal(source.begin() + block_bytes, source.begin() + 2 * block_bytes,
                                       result.begin() + 4 * block_bytes));
                EXPECT_TRUE(std::equal(source.begin() + 1024 * block_bytes, source.begin() + 1025 * block_bytes,
                                       result.begin() + 65 * block_bytes));
            }
        }
    }
}

TEST(ConvertBlockLevels, CountedSizes) {
    // Narrow levels count fewer bytes than the blocks a file stores.
    EXPECT_EQ(block_level_size(8, 2, 2), 2U);
    EXPECT_EQ(block_level_size(8, 1, 1), 0U);
    EXPECT_EQ(block_level_size(16, 512, 512), 262144U);
    EXPECT_EQ(block_level_size(8, 0, 512), 0U);
    // 256 x 256, full chain: 14 bytes short of the stored payload for DXT1, 27 for DXT5.
    EXPECT_EQ(testing::stored_payload_size(256, 256, 9, 8, true) - block_levels_size(8, {256, 256, 9}), 14U);
    EXPECT_EQ(testing::stored_payload_size(256, 256, 9, 16, true) - block_levels_size(16, {256, 256, 9}), 27U);
    // Sizes never wrap: an absurd header saturates instead of looking small.
    EXPECT_GT(block_levels_size(16, {0x7FFFFFFF, 0x7FFFFFFF, 127}), std::uint64_t{1} << 60U);
    EXPECT_GT(pixel_levels_size(4, {0x7FFFFFFF, 0x7FFFFFFF, 127}), std::uint64_t{1} << 60U);
}

TEST(ConvertBlockLevels, LevelsPastTheBufferAreCopiedNotConverted) {
    const std::vector<std::byte> source = random_bytes(0x10000 - 1, 12);
    std::vector<std::byte> result(source.size());
    convert_block_levels(8, {512, 256, 1}, source, result, Direction::swizzle);
    EXPECT_EQ(result, source);
}

}  // namespace
}  // namespace ddsswizzle
