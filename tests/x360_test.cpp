// The Xbox 360 tiling: addresses and layouts worked out by hand, against both
// the geometry and the oracle the walk is compared with (in layout_test.cpp),
// and the spans the walk refuses.
#include <gtest/gtest.h>

#include <bit>

#include "layout/x360_tiling.h"
#include "support/texture_builder.h"
#include "support/x360_oracle.h"

namespace ddsswizzle::engine {
namespace {

using testing::X360Texture;

// A format of each block size: DXGI number, block bytes, block side, swap unit.
struct Kind { std::uint32_t dxgi; std::uint64_t bytes, side, swap; };
constexpr Kind bgra8{87, 4, 1, 4}, bc1{71, 8, 4, 2}, bc3{77, 16, 4, 2};

struct Shape { Kind kind; std::int32_t w, h, levels; bool cube = false; };

SurfaceGeometry geometry(const Shape& s) {
    SurfaceGeometry g;
    const Surface surface{s.kind.dxgi, s.cube ? TextureType::cube_map : TextureType::plain, s.w, s.h, 1, s.levels};
    EXPECT_EQ(lay_out_surface(surface, Console::x360, g), Reason::none);
    return g;
}

X360Texture oracle_texture(const Shape& s) {
    return {s.kind.bytes, s.kind.side, s.kind.swap, s.w, s.h, s.levels, s.cube ? 6U : 1U};
}

// (The walks, held to the oracle over many surfaces, hold the address to it.)
TEST(X360Address, WorkedValues) {
    const std::uint32_t rows[][5] = {  // x, y, pitch, bytes, address
        {5, 3, 32, 4, 308},    {37, 45, 64, 4, 14004}, {1, 0, 32, 4, 4},       {4, 0, 32, 4, 32},     {8, 0, 32, 4, 64},
        {0, 1, 32, 4, 16},     {0, 2, 32, 4, 256},     {0, 8, 32, 4, 1152},    {0, 16, 32, 4, 2048},  {40, 0, 64, 4, 4160},
        {0, 32, 64, 4, 8192},  {5, 3, 32, 1, 29},      {13, 21, 64, 2, 2394},  {13, 21, 64, 8, 3416}, {13, 21, 64, 16, 6768},
        {100, 200, 128, 16, 451200}, {96, 32, 192, 1, 0x2200}, {128, 32, 192, 1, 0x2400}};
    for (const auto& r : rows) {
        EXPECT_EQ(x360_tiled_address(r[0], r[1], r[2], std::countr_zero(r[3])), r[4]) << r[0] << "," << r[1];
        EXPECT_EQ(testing::x360_address_by_arithmetic(r[0], r[1], r[2], r[3]), r[4]) << r[0] << "," << r[1];
    }
}

// Where levels are drawn, by the geometry and by the oracle: region offset,
// pitch x rows, position, content, all in blocks; and image sizes. A
// texture whose tail starts at level 0 is one power-of-two surface.
TEST(X360Layout, WorkedLayoutsByGeometryAndOracle) {
    const std::pair<Shape, std::array<std::uint64_t, 8>> rows[] = {
        {{bc1, 256, 256, 9}, {2, 0xA000, 32, 32, 0, 0, 16, 16}},   {{bc1, 256, 256, 9}, {4, 0xE000, 32, 32, 4, 0, 4, 4}},
        {{bc1, 256, 256, 9}, {7, 0xE000, 32, 32, 0, 2, 1, 1}},     {{bgra8, 100, 60, 7}, {1, 0x8000, 64, 32, 0, 0, 50, 30}},
        {{bgra8, 100, 60, 7}, {3, 0xA000, 32, 32, 0, 8, 12, 7}},   {{bgra8, 100, 60, 7}, {6, 0xA000, 32, 32, 8, 0, 1, 1}},
        {{bgra8, 80, 260, 9}, {1, 0x1B000, 64, 256, 0, 0, 40, 130}}, {{bgra8, 80, 260, 9}, {7, 0x2F000, 32, 64, 0, 16, 1, 2}},
        {{bc3, 16, 16, 5}, {0, 0x0, 32, 32, 4, 0, 4, 4}},          {{bc3, 16, 16, 5}, {3, 0x0, 32, 32, 0, 2, 1, 1}},
        {{bc1, 1024, 16, 11}, {0, 0x0, 256, 32, 0, 4, 256, 4}},    {{bc1, 1024, 16, 11}, {4, 0x0, 256, 32, 64, 0, 16, 1}},
        {{bgra8, 300, 16, 9}, {0, 0x0, 512, 32, 0, 16, 300, 16}},  {{bgra8, 300, 16, 9}, {1, 0x0, 512, 32, 0, 8, 150, 8}},
        {{bgra8, 16, 16, 1}, {0, 0x0, 32, 32, 0, 0, 16, 16}},      {{bc1, 64, 64, 7, true}, {3, 0x18000, 32, 32, 2, 0, 2, 2}},
        {{bgra8, 100, 60, 2}, {1, 0x8000, 64, 32, 0, 0, 50, 30}}};
    for (const auto& [s, r] : rows) {
        const SurfaceGeometry g = geometry(s);
        const LevelGeometry& l = g.levels.at(r[0]);
        const testing::OracleLevel o = testing::x360_oracle_layout(oracle_texture(s)).at(r[0]);
        EXPECT_EQ((std::array<std::uint64_t, 8>{r[0], l.x360_region, l.x360_pitch, l.x360_rows, l.x360_x, l.x360_y, l.blocks_wide, l.blocks_high}), r);
        EXPECT_EQ((std::array<std::uint64_t, 8>{r[0], o.offset, o.pitch, o.rows, o.x, o.y, o.width, o.height}), r);
    }
    const std::pair<Shape, std::uint64_t> images[] = {
        {{bc1, 256, 256, 9}, 65536}, {{bgra8, 100, 60, 7}, 45056}, {{bgra8, 80, 260, 9}, 200704}, {{bc3, 16, 16, 5}, 16384},
        {{bc1, 1024, 16, 11}, 65536}, {{bgra8, 300, 16, 9}, 65536}, {{bgra8, 2, 2, 2}, 4096}, {{bgra8, 1, 1, 1}, 4096},
        {{bc1, 64, 64, 7, true}, 147456}};
    for (const auto& [s, size] : images) {
        EXPECT_TRUE(geometry(s).console_size == size && testing::x360_oracle_image_size(oracle_texture(s)) == size) << size;
    }
    EXPECT_EQ(geometry({bc1, 64, 64, 7, true}).levels[2].x360_slice, 0x2000U);
}

// One byte short on either side, either way, writes nothing; so does a
// surface laid out for the PS3.
TEST(X360Walk, RefusesShortSpansWritingNothing) {
    const SurfaceGeometry g = geometry({bgra8, 64, 32, 7});
    SurfaceGeometry ps3;
    ASSERT_EQ(lay_out_surface({87, TextureType::plain, 4, 4, 1, 1}, Console::ps3, ps3), Reason::none);
    const std::vector<std::byte> source(1 << 20, std::byte{1});
    std::vector<std::byte> result(1 << 20, std::byte{0xEE});
    const std::size_t image = g.console_size, linear = g.linear_size;
    for (const auto& [d, in, out] : {std::tuple(Direction::swizzle, linear, image), {Direction::unswizzle, image, linear}}) {
        EXPECT_FALSE(convert_x360_levels(g, std::span(source).first(in - 1), std::span(result).first(out), d));
        EXPECT_FALSE(convert_x360_levels(g, std::span(source).first(in), std::span(result).first(out - 1), d));
        EXPECT_FALSE(convert_x360_levels(ps3, source, result, d));
    }
    EXPECT_EQ(std::ranges::count(result, std::byte{0xEE}), std::ptrdiff_t(result.size()));
    EXPECT_TRUE(convert_x360_levels(g, std::span(source).first(linear), std::span(result).first(image), Direction::swizzle));
}

}  // namespace
}  // namespace ddsswizzle::engine
