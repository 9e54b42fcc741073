// The Xbox 360 tiling: addresses and layouts worked out by hand, the fast
// walk against the block-by-block oracle on many shapes of every class, round
// trips, and refusals.
#include <gtest/gtest.h>

#include <bit>

#include "layout/x360_tiling.h"
#include "support/texture_builder.h"
#include "support/x360_oracle.h"

namespace ddsswizzle {
namespace {

constexpr X360Surface dxt1(int w, int h, int levels, std::uint32_t faces = 1) { return {8, 4, 2, w, h, levels, faces}; }
constexpr X360Surface argb(int w, int h, int levels) { return {4, 1, 4, w, h, levels}; }

TEST(X360Address, WorkedValuesAndEveryBlockOfSomeSurfaces) {
    const std::uint32_t rows[][5] = {  // x, y, pitch, bytes, address
        {5, 3, 32, 4, 308},    {37, 45, 64, 4, 14004}, {1, 0, 32, 4, 4},       {4, 0, 32, 4, 32},     {8, 0, 32, 4, 64},
        {0, 1, 32, 4, 16},     {0, 2, 32, 4, 256},     {0, 8, 32, 4, 1152},    {0, 16, 32, 4, 2048},  {40, 0, 64, 4, 4160},
        {0, 32, 64, 4, 8192},  {5, 3, 32, 1, 29},      {13, 21, 64, 2, 2394},  {13, 21, 64, 8, 3416}, {13, 21, 64, 16, 6768},
        {100, 200, 128, 16, 451200}};
    for (const auto& r : rows) {
        EXPECT_EQ(x360_tiled_address(r[0], r[1], r[2], std::countr_zero(r[3])), r[4]) << r[0] << "," << r[1];
        EXPECT_EQ(testing::x360_address_by_arithmetic(r[0], r[1], r[2], r[3]), r[4]) << r[0] << "," << r[1];
    }
    // Both forms agree over tile rows and columns, with odd and even tile
    // counts a row.
    int differ = 0;
    for (const std::uint32_t bytes : {1U, 2U, 4U, 8U, 16U}) {
        for (const std::uint32_t pitch : {32U, 64U, 96U, 160U}) {
            for (std::uint32_t p = 0; p < pitch * 96; ++p) {
                differ += testing::x360_address_by_arithmetic(p % pitch, p / pitch, pitch, bytes) !=
                          x360_tiled_address(p % pitch, p / pitch, pitch, std::countr_zero(bytes));
            }
        }
    }
    EXPECT_EQ(differ, 0);
}

TEST(X360Layout, WorkedLayoutsBySourceAndOracle) {
    // Level: region offset, pitch x rows, position, content.
    const std::pair<X360Surface, std::array<std::uint64_t, 8>> rows[] = {
        {dxt1(256, 256, 9), {2, 0xA000, 32, 32, 0, 0, 16, 16}},  {dxt1(256, 256, 9), {4, 0xE000, 32, 32, 4, 0, 4, 4}},
        {dxt1(256, 256, 9), {7, 0xE000, 32, 32, 0, 2, 1, 1}},    {argb(100, 60, 7), {1, 0x8000, 64, 32, 0, 0, 50, 30}},
        {argb(100, 60, 7), {3, 0xA000, 32, 32, 0, 8, 12, 7}},    {argb(100, 60, 7), {6, 0xA000, 32, 32, 8, 0, 1, 1}},
        {argb(80, 260, 9), {1, 0x1B000, 64, 256, 0, 0, 40, 130}}, {argb(80, 260, 9), {7, 0x2F000, 32, 64, 0, 16, 1, 2}},
        {{16, 4, 2, 16, 16, 5}, {0, 0x0, 32, 32, 4, 0, 4, 4}},   {{16, 4, 2, 16, 16, 5}, {3, 0x4000, 32, 32, 0, 2, 1, 1}},
        {dxt1(1024, 16, 11), {0, 0x0, 256, 32, 0, 4, 256, 4}},   {dxt1(1024, 16, 11), {4, 0x10000, 256, 32, 64, 0, 16, 1}},
        {dxt1(64, 64, 7, 6), {3, 0x18000, 32, 32, 2, 0, 2, 2}},  {argb(100, 60, 2), {1, 0x8000, 64, 32, 0, 0, 50, 30}}};
    for (const auto& [s, r] : rows) {
        const X360Placement p = x360_level_placement(s, std::int32_t(r[0]));
        const testing::OracleLevel o = testing::x360_oracle_layout(s).at(r[0]);
        EXPECT_EQ((std::array<std::uint64_t, 8>{r[0], p.region_offset, p.pitch, p.rows, p.x, p.y, p.width, p.height}), r);
        EXPECT_EQ((std::array<std::uint64_t, 8>{r[0], o.offset, o.pitch, o.rows, o.x, o.y, o.width, o.height}), r);
    }
    const std::pair<X360Surface, std::uint64_t> images[] = {
        {dxt1(256, 256, 9), 65536},    {argb(100, 60, 7), 45056},      {argb(80, 260, 9), 200704},
        {{16, 4, 2, 16, 16, 5}, 32768}, {dxt1(1024, 16, 11), 131072}, {argb(2, 2, 2), 8192},
        {argb(1, 1, 1), 4096},         {dxt1(64, 64, 7, 6), 147456}};
    for (const auto& [s, size] : images) EXPECT_TRUE(x360_image_size(s) == size && testing::x360_oracle_image_size(s) == size) << size;
    // What a DDS file stores: whole 4 x 4 blocks down to 1 x 1 pixels; six faces.
    EXPECT_EQ(x360_linear_size(dxt1(256, 256, 9)), 8U * (4096 + 1024 + 256 + 64 + 16 + 4 + 1 + 1 + 1));
    EXPECT_EQ(x360_linear_size({16, 4, 2, 2, 2, 2, 6}), 6U * 32);
    EXPECT_EQ(x360_linear_size(argb(3, 5, 3)), 4U * (15 + 2 + 1));
}

std::vector<std::byte> filled(std::size_t length, std::byte value) { return std::vector<std::byte>(length, value); }

// Both directions against the oracle, with the bytes after the written size
// left alone; linear -> console -> linear restores every byte; console ->
// linear -> console restores every byte a block lands on and zeroes the rest.
void expect_walk_matches(const X360Surface& s) {
    SCOPED_TRACE(::testing::Message() << s.block_bytes << "-byte blocks, " << s.width << "x" << s.height << "x"
                                      << s.level_count << ", " << s.faces << " faces");
    const std::size_t image = x360_image_size(s), linear = x360_linear_size(s), extra = 7;
    const auto lin = testing::random_bytes(linear + extra, std::uint32_t(linear));
    const auto img = testing::random_bytes(image + extra, std::uint32_t(image) + 1);
    auto console = filled(image + extra, std::byte{0xEE}), back = filled(linear + extra, std::byte{0xEE});
    auto expected = testing::x360_oracle_convert(s, lin, Direction::swizzle);
    expected.resize(image + extra, std::byte{0xEE});
    ASSERT_TRUE(convert_x360_levels(s, lin, console, Direction::swizzle) && std::ranges::equal(console, expected));
    ASSERT_TRUE(convert_x360_levels(s, console, back, Direction::unswizzle));
    ASSERT_TRUE(std::equal(lin.begin(), lin.end() - extra, back.begin()) && back.back() == std::byte{0xEE}) << "back";
    expected = testing::x360_oracle_convert(s, img, Direction::unswizzle);
    expected.resize(linear + extra, std::byte{0xEE});
    ASSERT_TRUE(convert_x360_levels(s, img, back, Direction::unswizzle) && std::ranges::equal(back, expected));
    ASSERT_TRUE(convert_x360_levels(s, back, console, Direction::swizzle));
    const auto covered = testing::x360_oracle_convert(s, filled(linear, std::byte{0xFF}), Direction::swizzle);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < image; ++i) differ += console[i] != (covered[i] != std::byte{0} ? img[i] : std::byte{0});
    EXPECT_EQ(differ, 0U) << "back, padding zero";
}

// Every class of block (bytes, pixels a side, byte-order unit); shapes
// square, wide, tall, odd, at the side limit; one level, two, half the chain
// and all of it; cube maps up to 128 x 128. Levels of 8 MiB and more (2048 x
// 2048 pixels of 2 and 4 bytes, 4096 x 4096 DXT) take the streaming stores.
constexpr X360Surface classes[] = {{1, 1, 1}, {2, 1, 2}, {4, 1, 4}, {8, 4, 2}, {16, 4, 2}};
using Shapes = std::vector<std::pair<std::int32_t, std::int32_t>>;
const Shapes small_shapes = {{1, 1},   {2, 2},    {3, 5},   {4, 4},    {16, 16},   {17, 33},   {33, 17},  {1, 64}, {64, 1},
                             {100, 60}, {80, 260}, {7, 200}, {300, 20}, {1024, 16}, {16, 1024}, {8192, 8}, {48, 4096}};
const Shapes large_shapes = {{640, 480}, {1000, 1000}, {2048, 2048}, {4096, 4096}};

class X360Walk : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(X360Walk, MatchesTheOracleBothWaysAndRoundTrips) {
    const auto [class_index, large] = GetParam();
    X360Surface s = classes[class_index];
    for (const auto& [w, h] : large ? large_shapes : small_shapes) {
        const auto full = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(std::max(w, h))));
        for (const std::int32_t levels : {1, 2, (full + 1) / 2, full}) {
            for (const std::uint32_t faces : {1U, 6U}) {
                if (levels > full || (faces == 6 && w * h > 128 * 128)) continue;
                if (large && levels != full && (levels != 1 || w >= 2048)) continue;  // the largest, full chain only
                if (w / s.block_side * (h / s.block_side) > 2048 * 2048) continue;    // no more blocks than 2048 x 2048
                s.width = w, s.height = h, s.level_count = levels, s.faces = faces;
                expect_walk_matches(s);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryClass, X360Walk, ::testing::Combine(::testing::Range(0, 5), ::testing::Bool()),
                         [](const auto& i) { return "bytes" + std::to_string(classes[std::get<0>(i.param)].block_bytes) +
                                                   (std::get<1>(i.param) ? "_large" : "_small"); });

// Large levels take streaming stores only where every run lands on a 16-byte
// boundary: a result 4 bytes into its buffer (as after a 148-byte header), or
// rows of 2057 4-byte pixels (8228 bytes, 17 x 484), give the same bytes
// through ordinary stores.
TEST(X360Walk, UnalignedResultsAndRowsGiveTheSameBytes) {
    for (const X360Surface& s : {argb(2057, 1100, 1), X360Surface{16, 4, 2, 4096, 2048, 1}}) {
        for (const Direction d : {Direction::swizzle, Direction::unswizzle}) {
            const bool swizzle = d == Direction::swizzle;
            const auto in = testing::random_bytes(swizzle ? x360_linear_size(s) : x360_image_size(s), 5);
            std::vector<std::byte> aligned(swizzle ? x360_image_size(s) : x360_linear_size(s)), shifted(aligned.size() + 4);
            ASSERT_TRUE(convert_x360_levels(s, in, aligned, d) && convert_x360_levels(s, in, std::span(shifted).subspan(4), d));
            EXPECT_TRUE(std::equal(aligned.begin(), aligned.end(), shifted.begin() + 4)) << s.width << ", " << swizzle;
        }
    }
}

TEST(X360Walk, RefusesInvalidSurfacesAndShortSpans) {
    const X360Surface good = argb(64, 32, 7);
    const X360Surface invalid[] = {
        {3, 1, 3, 64, 32, 7}, {4, 4, 4, 64, 32, 7}, {4, 1, 2, 64, 32, 7}, {8, 4, 4, 64, 32, 7}, {16, 1, 2, 64, 32, 7},
        argb(0, 32, 1),       argb(64, -3, 1),      argb(8193, 1, 1),     argb(1, 8193, 1),     argb(64, 32, 0),
        argb(64, 32, 8),      argb(8192, 1, 15),    {4, 1, 4, 64, 32, 7, 2}};
    std::vector<std::byte> source(1 << 20, std::byte{1}), result(1 << 20, std::byte{0xEE});
    for (const X360Surface& s : invalid) {
        EXPECT_FALSE(x360_surface_valid(s)) << s.width << "x" << s.height << "x" << s.level_count;
        EXPECT_EQ(x360_image_size(s) + x360_linear_size(s) + x360_level_placement(s, 0).slice_bytes, 0U);
        EXPECT_FALSE(convert_x360_levels(s, source, result, Direction::swizzle) ||
                     convert_x360_levels(s, source, result, Direction::unswizzle));
    }
    EXPECT_TRUE(x360_surface_valid(argb(8192, 1, 14)) && x360_surface_valid(argb(1, 8192, 14)) &&
                x360_surface_valid(argb(1, 1, 1)) && x360_surface_valid(dxt1(64, 64, 7, 6)));
    EXPECT_EQ(x360_level_placement(good, 7).slice_bytes + x360_level_placement(good, -1).slice_bytes, 0U);
    const std::size_t image = x360_image_size(good), linear = x360_linear_size(good);
    const std::span<const std::byte> in(source);
    const std::span<std::byte> out(result);
    for (const std::size_t short_by : {1U, 0U}) {  // one byte short on either side, either way; then exact sizes
        EXPECT_EQ(convert_x360_levels(good, in.first(linear - short_by), out.first(image), Direction::swizzle), !short_by);
        EXPECT_EQ(convert_x360_levels(good, in.first(linear), out.first(image - short_by), Direction::swizzle), !short_by);
        EXPECT_EQ(convert_x360_levels(good, in.first(image - short_by), out.first(linear), Direction::unswizzle), !short_by);
        EXPECT_EQ(convert_x360_levels(good, in.first(image), out.first(linear - short_by), Direction::unswizzle), !short_by);
        EXPECT_EQ(std::ranges::count(result, std::byte{0xEE}), short_by ? result.size() : result.size() - image);
    }
}

}  // namespace
}  // namespace ddsswizzle
