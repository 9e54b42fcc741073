// The level walks of the console layouts against the bit-by-bit oracles, and
// sizes. (The worked values of the index rules are checked where the rules
// are defined, by static_assert; here they check the oracle, which the walks
// are then held to at every position of many shapes.)
#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "layout/block_tiling.h"
#include "layout/kernel_set.h"
#include "layout/morton.h"
#include "support/oracles.h"
#include "support/texture_builder.h"

namespace ddsswizzle {
namespace {

TEST(LayoutRules, SizesKernelSetsAndIndexRules) {
    // 256 x 128 with 9 levels: the ninth is 1 x 0 and counts nothing. A
    // volume's sides stop at 1: 8 x 4 x 2, 4 x 2 x 1, 2 x 1 x 1, then 1 x 1 x 1.
    EXPECT_EQ(pixel_levels_size(4, {256, 128, 9}), 4U * (32768 + 8192 + 2048 + 512 + 128 + 32 + 8 + 2));
    for (const auto& [chain, bytes] : {std::pair(VolumeChain{8, 4, 2, 6}, 64U + 8 + 2 + 1 + 1 + 1), {{8, 4, 2, 2}, 64U + 8}, {{1, 1, 4, 4}, 4U + 2 + 1 + 1},
                                       {{1, 4, 1, 3}, 4U + 2 + 1}, {{4, 1, 1, 3}, 4U + 2 + 1}, {{1, 1, 1, 0x7FFFFFFF}, 0x7FFFFFFFU},
                                       {{0, 4, 4, 3}, 0U}, {{4, 0, 4, 3}, 0U}, {{4, 4, 0, 3}, 0U}}) {
        EXPECT_EQ(volume_levels_size(4, chain), 4 * std::uint64_t{bytes}) << chain.width << "x" << chain.height << "x" << chain.depth;
    }
    // Narrow block levels count fewer bytes than a file stores (2 x 2 DXT1:
    // 2 bytes): 256 x 256 in 9 levels stores 43704 bytes of DXT1, 87408 of DXT5.
    EXPECT_EQ(block_levels_size(8, {256, 256, 9}), 43704U - 14);
    EXPECT_EQ(block_levels_size(16, {256, 256, 9}), 87408U - 27);
    // Sizes never wrap: an absurd header saturates instead of looking small.
    EXPECT_GT(block_levels_size(16, {0x7FFFFFFF, 0x7FFFFFFF, 127}), std::uint64_t{1} << 60U);
    EXPECT_GT(pixel_levels_size(4, {0x7FFFFFFF, 0x7FFFFFFF, 127}), std::uint64_t{1} << 60U);
    EXPECT_EQ(volume_levels_size(4, {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 127}), ~std::uint64_t{0});
    // The walks use the widest kernel set available.
    for (const KernelSet set : {KernelSet::sse2, KernelSet::avx2}) EXPECT_TRUE(!kernel_set_available(set) || best_kernel_set() >= set);
    // The oracle gives the worked values: (x, y, z) of a w x h x d level at its position.
    const std::array<std::uint32_t, 7> worked[] = {{1, 0, 0, 2, 2, 2, 1}, {0, 1, 0, 2, 2, 2, 2}, {0, 0, 1, 2, 2, 2, 4}, {1, 1, 1, 2, 2, 2, 7},
                                                   {2, 0, 0, 4, 2, 2, 8}, {3, 1, 1, 4, 2, 2, 15}, {0, 0, 2, 2, 2, 4, 8}, {1, 1, 3, 2, 2, 4, 15},
                                                   {2, 1, 0, 4, 4, 1, 6}};
    for (const auto& [x, y, z, w, h, d, position] : worked) EXPECT_EQ(testing::morton_by_bits(x, y, z, w, h, d), position);
    // Both index rules at every position of every power-of-two shape up to 32 x 32 x 32.
    int differ = 0;
    for (std::uint32_t shape = 0; shape < 216; ++shape) {
        const std::uint32_t w = 1U << shape % 6, h = 1U << shape / 6 % 6, d = 1U << shape / 36;
        for (std::uint32_t p = 0; p < w * h * d; ++p) {
            const std::uint64_t oracle = testing::morton_by_bits(p % w, p / w % h, p / w / h, w, h, d);
            differ += morton_index_3d(p % w, p / w % h, p / w / h, w, h, d) != oracle;
            differ += d == 1 && std::uint64_t(morton_index(std::int32_t(p % w), std::int32_t(p / w), std::int32_t(w), std::int32_t(h))) != oracle;
        }
    }
    EXPECT_EQ(differ, 0);
}

enum class Walk { pixels, volume, blocks };

// A walk of the chain (its depth only read by the volume walk) over a buffer
// of `length` bytes (by default twice the top level and 5 bytes more) placed
// `shift` bytes into its allocation.
struct WalkCase { Walk walk; std::uint32_t element; VolumeChain chain; std::size_t length = 0, shift = 0; };

// The case with every kernel set the processor has, both directions, against
// the oracle.
void expect_walk_matches(const WalkCase& c) {
    const auto [walk, element, chain, given_length, shift] = c;
    const LevelChain chain2d{chain.width, chain.height, chain.level_count};
    const std::size_t top = std::size_t(chain.width) * std::size_t(chain.height) * std::size_t(chain.depth) * element;
    const std::size_t length = given_length != 0 ? given_length : 2 * (walk == Walk::blocks ? top / 16 : top) + 5;
    SCOPED_TRACE(::testing::Message() << int(walk) << ", " << element << ", " << ::testing::PrintToString(std::array{chain.width, chain.height, chain.depth, chain.level_count}) << ", " << length << " at " << shift);
    const std::vector<std::byte> source = testing::random_bytes(length, static_cast<std::uint32_t>(length) + element);
    const auto at = [shift](std::vector<std::byte>& buffer) { return std::span(buffer).subspan(shift); };
    const std::vector<std::byte> swizzled = walk == Walk::blocks ? testing::oracle_block_levels(element, chain2d, source, Direction::swizzle)
                                                                 : testing::oracle_morton_levels(element, chain, walk == Walk::volume, source, Direction::swizzle);
    for (const KernelSet set : {KernelSet::portable, KernelSet::sse2, KernelSet::avx2}) {
        // Swizzle gives the oracle's order, unswizzle takes it back.
        for (const auto& [way, from, to] : {std::tuple(Direction::swizzle, &source, &swizzled), {Direction::unswizzle, &swizzled, &source}}) {
            if (!kernel_set_available(set)) continue;
            std::vector<std::byte> in(shift + length), out(shift + length, std::byte{0xEE});
            std::copy(from->begin(), from->end(), at(in).begin());
            if (walk == Walk::pixels) convert_pixel_levels_using(set, element, chain2d, at(in), at(out), way);
            if (walk == Walk::volume) convert_volume_levels_using(set, element, chain, at(in), at(out), way);
            if (walk == Walk::blocks) convert_block_levels_using(set, element, chain2d, at(in), at(out), way);
            ASSERT_TRUE(std::ranges::equal(*to, at(out))) << "set " << int(set) << ", direction " << int(way);
        }
    }
}

// The cases, in sweeps of at most a second or two each, which CTest runs side by side.
struct Sweep { std::string name; std::vector<WalkCase> cases; };

std::vector<Sweep> sweeps() {
    const auto levels = [](std::int32_t side) { return std::int32_t(std::bit_width(std::uint32_t(side))); };  // down to 1 x 1
    std::vector<Sweep> all;
    for (const std::uint32_t bpp : {1U, 2U, 4U}) {
        // Every power-of-two 2D shape, one level and the full chain (non-square
        // chains reach a side of 0 before it ends), with bytes after it.
        for (const std::int32_t first : {1, 512, 1024}) {
            Sweep& s = all.emplace_back(Sweep{"Pixels" + std::to_string(bpp) + "Width" + std::to_string(first), {}});
            for (std::int32_t w = first; w <= (first == 1 ? 256 : first); w *= 2) {
                for (std::int32_t h = 1; h <= 1024; h *= 2) {
                    s.cases.push_back({Walk::pixels, bpp, {w, h, 1, 1}, std::size_t(w * h) * bpp});
                    s.cases.push_back({Walk::pixels, bpp, {w, h, 1, levels(std::max(w, h))}});
                }
            }
        }
        // Every power-of-two volume up to 32 x 32 x 32, one level and the full
        // chain and two more, and long thin ones.
        Sweep& s = all.emplace_back(Sweep{"Volume" + std::to_string(bpp), {}});
        for (std::int32_t shape = 0; shape < 216; ++shape) {
            const std::int32_t w = 1 << shape % 6, h = 1 << shape / 6 % 6, d = 1 << shape / 36;
            s.cases.push_back({Walk::volume, bpp, {w, h, d, 1}, std::size_t(w * h * d) * bpp});
            s.cases.push_back({Walk::volume, bpp, {w, h, d, levels(std::max({w, h, d})) + 2}});
        }
        for (const VolumeChain chain : {VolumeChain{1, 1, 256, 9}, {256, 2, 1, 9}, {2, 1, 128, 8}, {1, 256, 2, 9}, {128, 1, 4, 8}, {4, 128, 8, 8}}) s.cases.push_back({Walk::volume, bpp, chain});
    }
    // Copied, not converted: levels reaching past the buffer, a chain of no levels, sides that are not powers of two, 3-byte
    // pixels, a volume with a side of 0.
    all.push_back({"CopiedLevels", {{Walk::pixels, 4, {64, 64, 1, 7}, 100}, {Walk::pixels, 4, {64, 64, 1, 7}, 16384 + 4096 + 10},
                                    {Walk::volume, 2, {16, 16, 16, 5}, 8192 + 1024 + 100}, {Walk::pixels, 2, {8, 8, 1, -1}}, {Walk::volume, 4, {8, 8, 8, -1}},
                                    {Walk::pixels, 4, {12, 20, 1, 4}}, {Walk::volume, 2, {6, 4, 2, 3}}, {Walk::pixels, 3, {8, 8, 1, 4}}, {Walk::volume, 3, {4, 4, 4, 3}},
                                    {Walk::volume, 4, {8, 8, 0, 3}, 1024}}});
    // Levels of 8 MiB and more are written with streaming stores when the
    // destination is 16-byte aligned (shift 0); narrow ones too, the
    // unswizzle only with tile rows of whole 64-byte lines (16 x 4 bytes).
    for (const auto& [bpp, chain, shift] : {std::tuple(4U, VolumeChain{2048, 1024, 1, 2}, 0), {4U, {2048, 1024, 1, 2}, 3}, {2U, {2048, 2048, 1, 1}, 0},
                                            {4U, {16, 131072, 1, 1}, 0}, {2U, {16, 262144, 1, 1}, 0}, {4U, {128, 128, 128, 2}, 0},
                                            {4U, {128, 128, 128, 2}, 3}, {2U, {256, 128, 128, 1}, 0}}) {
        const Walk walk = chain.depth > 1 ? Walk::volume : Walk::pixels;
        const std::uint64_t size = walk == Walk::volume ? volume_levels_size(bpp, chain) : pixel_levels_size(bpp, {chain.width, chain.height, chain.level_count});
        all.push_back({"Streamed" + std::to_string(bpp) + "Bytes" + std::to_string(chain.width) + "x" + std::to_string(chain.height) + "x" +
                           std::to_string(chain.depth) + "Shift" + std::to_string(shift), {{walk, bpp, chain, size, std::size_t(shift)}}});
    }
    // Blocks: 8192 blocks: tiled, smaller levels copied; 8191; two groups; a
    // partial third; one and a half; below at every level; reaching height 0;
    // sides not multiples of 4; 64 groups; a level one block row high; past
    // the buffer; a later tiled level past it.
    Sweep& blocks = all.emplace_back(Sweep{"Blocks", {{Walk::blocks, 8, {512, 256, 1, 1}, 0xFFFF}, {Walk::blocks, 8, {1024, 1024, 1, 2}, 0x90000}}});
    for (const VolumeChain& chain : {VolumeChain{512, 256, 1, 10}, {4 * 8191, 4, 1, 1}, {512, 512, 1, 10}, {640, 480, 1, 10}, {512, 384, 1, 1},
                                     {256, 256, 1, 9}, {1024, 4, 1, 11}, {6, 6, 1, 3}, {1024, 1024, 1, 11}, {262144, 1, 1, 1}}) {
        for (const std::uint32_t block : {8U, 16U}) blocks.cases.push_back({Walk::blocks, block, chain});
    }
    return all;
}

class LevelWalks : public ::testing::TestWithParam<Sweep> {};

TEST_P(LevelWalks, MatchTheOracle) {
    for (const WalkCase& c : GetParam().cases) ASSERT_NO_FATAL_FAILURE(expect_walk_matches(c));
}

INSTANTIATE_TEST_SUITE_P(Sweeps, LevelWalks, ::testing::ValuesIn(sweeps()), [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace ddsswizzle
