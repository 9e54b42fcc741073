// The layouts of both consoles: the worked values of the index rules and of
// the Xbox 360 level layout, the checks and sizes of the surface geometry,
// and the level walks against the bit-by-bit oracles over many shapes, the
// PS3's with every kernel set the processor has.
#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "layout/x360_tiling.h"
#include "support/oracles.h"
#include "support/texture_builder.h"
#include "support/x360_oracle.h"

namespace ddsswizzle::engine {
namespace {

// Worked values of the index rules, of the walks' form and the oracles':
// Morton positions (the oracle's alone: the walks follow it over many
// shapes), PS3 block tiling, the Xbox 360 tiled address.
TEST(LayoutRules, WorkedIndexValues) {
    // (x, y, z) of a w x h x d level at its Morton position.
    const std::array<std::uint32_t, 7> morton[] = {{1, 0, 0, 4, 2, 1, 1}, {0, 1, 0, 4, 2, 1, 2}, {2, 0, 0, 4, 2, 1, 4},
                                                   {3, 1, 0, 4, 2, 1, 7}, {0, 2, 0, 2, 4, 1, 4}, {1, 3, 0, 2, 4, 1, 7},
                                                   {2, 1, 0, 4, 4, 1, 6}, {0, 0, 1, 2, 2, 2, 4}, {3, 1, 1, 4, 2, 2, 15},
                                                   {1, 1, 3, 2, 2, 4, 15}};
    for (const auto& [x, y, z, w, h, d, position] : morton) EXPECT_EQ(testing::morton_index(x, y, z, w, h, d), position);
    const std::pair<std::uint32_t, std::uint32_t> tiled[] = {{0, 0}, {1, 4}, {2, 8}, {31, 124}, {32, 2}, {33, 6}, {64, 128},
                                                             {128, 512}, {1024, 65}, {2048, 4160}, {4096, 256},
                                                             {8191, 8191}, {8192, 8192}, {8193, 8196}, {12345, 8550}};
    for (const auto& [j, t] : tiled) EXPECT_EQ(std::pair(block_tile_index(j), testing::block_tile_by_table(j)), std::pair(t, t)) << j;
    const std::uint32_t x360[][5] = {  // x, y, pitch, bytes, address
        {5, 3, 32, 4, 308},    {37, 45, 64, 4, 14004}, {1, 0, 32, 4, 4},       {4, 0, 32, 4, 32},     {8, 0, 32, 4, 64},
        {0, 1, 32, 4, 16},     {0, 2, 32, 4, 256},     {0, 8, 32, 4, 1152},    {0, 16, 32, 4, 2048},  {40, 0, 64, 4, 4160},
        {0, 32, 64, 4, 8192},  {5, 3, 32, 1, 29},      {13, 21, 64, 2, 2394},  {13, 21, 64, 8, 3416}, {13, 21, 64, 16, 6768},
        {100, 200, 128, 16, 451200}, {96, 32, 192, 1, 0x2200}, {128, 32, 192, 1, 0x2400}};
    for (const auto& r : x360) {
        EXPECT_EQ(x360_tiled_address(r[0], r[1], r[2], std::countr_zero(r[3])), r[4]) << r[0] << "," << r[1];
        EXPECT_EQ(testing::x360_address_by_arithmetic(r[0], r[1], r[2], r[3]), r[4]) << r[0] << "," << r[1];
    }
}

// DXGI formats of each kind the PS3 stores.
constexpr std::uint32_t r8 = 61, b5g6r5 = 85, bgra8 = 87, rgba16f = 10, rgba32f = 2, r32f = 41, bc1 = 71, bc3 = 77;

Surface surface(std::uint32_t format, std::int32_t w, std::int32_t h, std::int32_t levels, TextureType type = TextureType::plain,
                std::int32_t depth = 1) {
    return {format, type, w, h, depth, levels};
}

// Checks and sizes, both consoles (what a DDS header can say is checked from
// the header, in texture_test.cpp): the reason, or the linear size, and the
// bytes the PS3 walks reach (a 2D chain of pixels or of blocks counts no
// lower bound of 1: 256 x 128 ends at 1 x 0, DXT levels of 2 x 2 count 2
// bytes; floats and volumes stop after their 1 x 1 level).
TEST(LayoutRules, ChecksAndSizesOfSurfaces) {
    using enum TextureType;
    struct Row { Surface s; Console console; Reason reason; std::uint64_t linear = 0, reach = 0; };
    const Row rows[] = {
        {surface(bgra8, 256, 128, 9), Console::ps3, Reason::none, 4 * 43691, 4 * 43690},
        {surface(bc1, 256, 256, 9), Console::ps3, Reason::none, 43704, 43690},
        {surface(bc1, 6, 10, 3), Console::ps3, Reason::none, 8 * (6 + 2 + 1), 30 + 7 + 1},
        {surface(bgra8, 8, 4, 4, volume, 2), Console::ps3, Reason::none, 4 * 75, 4 * 75},
        {surface(rgba16f, 4, 4, 5), Console::ps3, Reason::none, 8 * 23, 8 * 21},
        {surface(rgba16f, 8, 2, 4), Console::ps3, Reason::none, 8 * 23, 8 * 23},
        {surface(r32f, 8, 2, 4), Console::ps3, Reason::none, 4 * 23, 4 * 23},
        {surface(bgra8, 4, 4, 3, cube_map), Console::ps3, Reason::none, 6 * 4 * 21, 6 * 4 * 21},
        {surface(bgra8, 4, 4, 127), Console::ps3, Reason::none, 4 * (21 + 124), 4 * 21},
        {surface(80, 4, 4, 1), Console::ps3, Reason::format_not_on_console},
        {surface(54, 4, 4, 1), Console::ps3, Reason::format_not_on_console},
        {surface(bgra8, 6, 4, 1), Console::ps3, Reason::width_not_power_of_two},
        {surface(r8, 4, 12, 1), Console::ps3, Reason::height_not_power_of_two},
        {surface(rgba32f, 4, 4, 1, volume, 3), Console::ps3, Reason::depth_not_power_of_two},
        {surface(bgra8, 4, 4, 128), Console::ps3, Reason::level_count_out_of_range},
        {surface(bgra8, 4, 4, 0), Console::ps3, Reason::level_count_out_of_range},
        {surface(bc1, 16, 16, 1, volume, 16), Console::ps3, Reason::volume_not_on_console},
        {surface(bgra8, 0, 4, 1), Console::ps3, Reason::side_not_positive},
        {surface(bc1, -512, 512, 1), Console::ps3, Reason::side_not_positive},
        {surface(bgra8, 1024, 1024, 1, volume, 512), Console::ps3, Reason::level_too_large},  // 2 GiB
        {surface(r8, 1 << 30, 1 << 30, 1, volume, 1 << 30), Console::ps3, Reason::level_too_large},
        {surface(bc3, 0x7FFFFFFF, 0x7FFFFFFF, 1), Console::ps3, Reason::level_too_large},
        {surface(rgba16f, 4, 4, 1), Console::x360, Reason::format_not_on_console},
        {surface(bgra8, 8193, 1, 1), Console::x360, Reason::side_above_limit},
        {surface(bgra8, 1, 8193, 1), Console::x360, Reason::side_above_limit},
        {surface(r8, 2, 8192, 1), Console::x360, Reason::none, 2 * 8192},
        {surface(bgra8, 4, 4, 4), Console::x360, Reason::level_count_out_of_range},
        {surface(83, 8192, 1, 14), Console::x360, Reason::none, 16 * (2048 + 1024 + 512 + 256 + 128 + 64 + 32 + 16 + 8 + 4 + 2 + 1 + 1 + 1)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << &row - rows);
        SurfaceGeometry g;
        ASSERT_EQ(lay_out_surface(row.s, row.console, g), row.reason);
        if (row.reason != Reason::none) continue;
        EXPECT_EQ(g.linear_size, row.linear);
        const std::uint64_t reach = row.console == Console::ps3 ? g.ps3_reach : row.reach;
        EXPECT_EQ(std::tuple(reach, g.console_size), std::tuple(row.reach, row.console == Console::ps3 ? row.linear : g.console_size));
    }
}

// The Xbox 360 oracle's view of a surface laid out for it.
testing::X360Texture x360_texture(const SurfaceGeometry& g) {
    const Surface& s = g.surface;
    return {g.format.block_bytes, g.format.block_side, g.format.x360_swap, s.width, s.height, s.levels, g.faces};
}

// Where the Xbox 360 draws levels, by the geometry and by the oracle: region
// offset, pitch x rows, position, content, all in blocks; and image sizes. A
// texture whose tail starts at level 0 is one power-of-two surface.
TEST(LayoutRules, X360LayoutsByGeometryAndOracle) {
    using enum TextureType;
    const auto laid_out = [](const Surface& s) {
        SurfaceGeometry g;
        EXPECT_EQ(lay_out_surface(s, Console::x360, g), Reason::none);
        return g;
    };
    const std::pair<Surface, std::array<std::uint64_t, 8>> rows[] = {
        {surface(bc1, 256, 256, 9), {2, 0xA000, 32, 32, 0, 0, 16, 16}},     {surface(bc1, 256, 256, 9), {4, 0xE000, 32, 32, 4, 0, 4, 4}},
        {surface(bc1, 256, 256, 9), {7, 0xE000, 32, 32, 0, 2, 1, 1}},       {surface(bgra8, 100, 60, 7), {1, 0x8000, 64, 32, 0, 0, 50, 30}},
        {surface(bgra8, 100, 60, 7), {3, 0xA000, 32, 32, 0, 8, 12, 7}},     {surface(bgra8, 100, 60, 7), {6, 0xA000, 32, 32, 8, 0, 1, 1}},
        {surface(bgra8, 80, 260, 9), {1, 0x1B000, 64, 256, 0, 0, 40, 130}}, {surface(bgra8, 80, 260, 9), {7, 0x2F000, 32, 64, 0, 16, 1, 2}},
        {surface(bc3, 16, 16, 5), {0, 0x0, 32, 32, 4, 0, 4, 4}},            {surface(bc3, 16, 16, 5), {3, 0x0, 32, 32, 0, 2, 1, 1}},
        {surface(bc1, 1024, 16, 11), {0, 0x0, 256, 32, 0, 4, 256, 4}},      {surface(bc1, 1024, 16, 11), {4, 0x0, 256, 32, 64, 0, 16, 1}},
        {surface(bgra8, 300, 16, 9), {0, 0x0, 512, 32, 0, 16, 300, 16}},    {surface(bgra8, 300, 16, 9), {1, 0x0, 512, 32, 0, 8, 150, 8}},
        {surface(bgra8, 16, 16, 1), {0, 0x0, 32, 32, 0, 0, 16, 16}},        {surface(bc1, 64, 64, 7, cube_map), {3, 0x18000, 32, 32, 2, 0, 2, 2}},
        {surface(bgra8, 100, 60, 2), {1, 0x8000, 64, 32, 0, 0, 50, 30}}};
    for (const auto& [s, r] : rows) {
        const SurfaceGeometry g = laid_out(s);
        const LevelGeometry& l = g.levels.at(r[0]);
        const testing::OracleLevel o = testing::x360_oracle_layout(x360_texture(g)).at(r[0]);
        EXPECT_EQ((std::array<std::uint64_t, 8>{r[0], l.x360_region, l.x360_pitch, l.x360_rows, l.x360_x, l.x360_y, l.blocks_wide, l.blocks_high}), r);
        EXPECT_EQ((std::array<std::uint64_t, 8>{r[0], o.offset, o.pitch, o.rows, o.x, o.y, o.width, o.height}), r);
    }
    const std::pair<Surface, std::uint64_t> images[] = {
        {surface(bc1, 256, 256, 9), 65536},  {surface(bgra8, 100, 60, 7), 45056}, {surface(bgra8, 80, 260, 9), 200704},
        {surface(bc3, 16, 16, 5), 16384},    {surface(bc1, 1024, 16, 11), 65536}, {surface(bgra8, 300, 16, 9), 65536},
        {surface(bgra8, 2, 2, 2), 4096},     {surface(bgra8, 1, 1, 1), 4096},     {surface(bc1, 64, 64, 7, cube_map), 147456}};
    for (const auto& [s, size] : images) {
        const SurfaceGeometry g = laid_out(s);
        EXPECT_TRUE(g.console_size == size && testing::x360_oracle_image_size(x360_texture(g)) == size) << size;
    }
}

// One walk: a surface laid out for its console over a buffer of `length`
// bytes (0: on the PS3 what the walks reach and 5 more, on the Xbox 360 the
// linear levels) placed `shift` bytes into its allocation, against the
// oracle, both ways, with one kernel set (the Xbox 360 walk has one). The
// Xbox 360 walk refuses spans too short, and leaves alone 7 bytes after the
// result, which may be longer than what it writes.
struct WalkCase { Surface s; std::size_t length = 0, shift = 0; Console console = Console::ps3; };

void expect_walk_matches(const WalkCase& c, KernelSet set) {
    SurfaceGeometry g;
    ASSERT_EQ(lay_out_surface(c.s, c.console, g), Reason::none);
    const bool ps3 = c.console == Console::ps3;
    const std::size_t length = c.length != 0 ? c.length : static_cast<std::size_t>(ps3 ? g.ps3_reach + 5 : g.linear_size);
    SCOPED_TRACE(::testing::Message() << "format " << c.s.format << ", " << c.s.width << "x" << c.s.height << "x" << c.s.depth
                                      << ", " << c.s.levels << " levels, type " << int(c.s.type) << ", " << length << " at "
                                      << c.shift << (ps3 ? ", PS3" : ", Xbox 360"));
    const std::vector<std::byte> source = testing::random_bytes(length, static_cast<std::uint32_t>(length) + c.s.format);
    const std::vector<std::byte> swizzled =
        ps3 ? testing::ps3_payload({g.format.block_bytes, g.format.ps3 == Ps3Rule::block_tiling, g.format.ps3_swap,
                                    g.format.ps3_stored_levels},
                                   {c.s.width, c.s.height, c.s.depth}, c.s.levels, c.s.type == TextureType::volume, g.faces,
                                   static_cast<std::size_t>(g.linear_face_bytes), source, Direction::swizzle)
            : testing::x360_oracle_convert(x360_texture(g), source, Direction::swizzle);
    // Swizzle gives the oracle's order, unswizzle takes it back.
    for (const auto& [way, from, to] : {std::tuple(Direction::swizzle, &source, &swizzled), {Direction::unswizzle, &swizzled, &source}}) {
        std::vector<std::byte> in(c.shift + from->size()), out(c.shift + to->size() + (ps3 ? 0 : 7), std::byte{0xEE});
        std::copy(from->begin(), from->end(), in.begin() + static_cast<std::ptrdiff_t>(c.shift));
        const auto at = [&c](std::vector<std::byte>& b) { return std::span(b).subspan(c.shift); };
        if (!ps3) {  // a span a byte short on either side, or a piece past the end, is refused, writing nothing
            ASSERT_FALSE(convert_x360_levels(g, at(in).first(from->size() - 1), at(out), way) ||
                         convert_x360_levels(g, at(in), at(out).first(to->size() - 1), way) ||
                         convert_x360_piece(g, at(in), 1, at(out).first(to->size()), way) || std::ranges::count(out, std::byte{0xEE}) != std::ssize(out));
            ASSERT_TRUE(convert_x360_levels(g, at(in), at(out), way));
        } else if (g.format.ps3 == Ps3Rule::block_tiling) {
            convert_block_levels(g, at(in), at(out), way, set);
        } else {
            convert_morton_levels(g, at(in), at(out), way, set);
        }
        std::vector<std::byte> expected = *to;
        expected.resize(at(out).size(), std::byte{0xEE});
        ASSERT_TRUE(std::ranges::equal(expected, at(out))) << "direction " << int(way);
        // The same in pieces, each made in one staging buffer `shift` bytes
        // into its allocation, as a file is written: pieces of a third and a
        // byte, of 4099 bytes, and all but the last 5 bytes (one large piece,
        // which takes the streaming stores where the whole does).
        const std::size_t size = to->size();
        for (const std::size_t piece : {size / 3 + 1, std::size_t{4099}, std::max<std::size_t>(size, 6) - 5}) {
            std::vector<std::byte> staging(c.shift + piece), pieces(size);
            for (std::size_t begin = 0; begin < size; begin += piece) {
                const std::span<std::byte> part = std::span(staging).subspan(c.shift, std::min(piece, size - begin));
                if (!ps3) {
                    ASSERT_TRUE(convert_x360_piece(g, at(in), begin, part, way));
                } else if (g.format.ps3 == Ps3Rule::block_tiling) {
                    convert_block_piece(g, at(in), begin, part, way, set);
                } else {
                    convert_morton_piece(g, at(in), begin, part, way, set);
                }
                std::ranges::copy(part, pieces.begin() + static_cast<std::ptrdiff_t>(begin));
            }
            ASSERT_TRUE(std::ranges::equal(pieces, *to)) << "direction " << int(way) << ", pieces of " << piece;
        }
    }
}

// The cases, in sweeps of a second or two each, which CTest runs side by side.
struct Sweep { std::string name; std::vector<WalkCase> cases; };

std::vector<Sweep> sweeps() {
    using enum TextureType;
    const auto full = [](std::int32_t side) { return std::int32_t(std::bit_width(std::uint32_t(side))); };
    std::vector<Sweep> all;
    // Every power-of-two 2D shape up to 256 x 1024 (wider texels 64 x 256),
    // one level over exactly its bytes and the full chain with bytes after it;
    // cube maps of a few shapes.
    for (const std::uint32_t format : {r8, b5g6r5, bgra8, rgba16f, rgba32f, r32f}) {
        Sweep& s = all.emplace_back(Sweep{"Format" + std::to_string(format), {}});
        const std::int32_t most = format == rgba16f || format == rgba32f ? 64 : 256;
        for (std::int32_t w = 1; w <= most; w *= 2) {
            for (std::int32_t h = 1; h <= 4 * most; h *= 2) {
                s.cases.push_back({surface(format, w, h, 1), 0});
                s.cases.push_back({surface(format, w, h, full(std::max(w, h)))});
            }
        }
        for (const auto& [w, h] : {std::pair{16, 16}, {32, 8}, {1, 4}}) s.cases.push_back({surface(format, w, h, full(std::max(w, h)), cube_map)});
        // Every power-of-two volume up to 16 x 16 x 16, one level and the full
        // chain, and long thin ones.
        for (std::int32_t shape = 0; shape < 125; ++shape) {
            const std::int32_t w = 1 << shape % 5, h = 1 << shape / 5 % 5, d = 1 << shape / 25;
            s.cases.push_back({surface(format, w, h, full(std::max({w, h, d})), volume, d)});
        }
        for (const auto& [w, h, d] : {std::array{1, 1, 256}, {256, 2, 1}, {2, 1, 128}, {4, 128, 8}}) {
            s.cases.push_back({surface(format, w, h, full(std::max({w, h, d})), volume, d)});
        }
    }
    // Levels reaching past the buffer, with every level after them, are copied.
    all.push_back({"CopiedPastTheBuffer", {{surface(bgra8, 64, 64, 7), 100}, {surface(bgra8, 64, 64, 7), 16384 + 4096 + 10},
                                           {surface(b5g6r5, 16, 16, 5, volume, 16), 8192 + 1024 + 101},
                                           {surface(rgba16f, 32, 32, 6), 8192 + 2048 + 3}}});
    // Levels of 8 MiB and more are written with streaming stores when the
    // destination is 16-byte aligned (shift 0); narrow ones too.
    for (const WalkCase& c : {WalkCase{surface(bgra8, 2048, 1024, 2)}, {surface(bgra8, 2048, 1024, 2), 0, 3},
                              {surface(b5g6r5, 2048, 2048, 1)}, {surface(bgra8, 16, 131072, 1)}, {surface(rgba16f, 1024, 1024, 1)},
                              {surface(rgba32f, 512, 1024, 1), 0, 4}, {surface(bgra8, 128, 128, 2, volume, 128)},
                              {surface(b5g6r5, 256, 128, 1, volume, 128)}}) {
        all.push_back({"Streamed" + std::to_string(all.size()), {c}});
    }
    // Blocks: 8192 blocks tiled, smaller levels copied; 8191; two groups; a
    // partial third; below at every level; sides not multiples of 4 (the
    // counted offsets of 1026 x 1026 put level 1 off the block grid); a level
    // one block row high; cube maps; past the buffer.
    Sweep& blocks = all.emplace_back(Sweep{"Blocks", {{surface(bc1, 512, 256, 1), 0xFFFF}, {surface(bc1, 1024, 1024, 2), 0x90000}}});
    for (const Surface& s : {surface(bc1, 512, 256, 10), surface(bc1, 4 * 8191, 4, 1), surface(bc1, 512, 512, 10), surface(bc1, 640, 480, 10),
                             surface(bc1, 256, 256, 9), surface(bc1, 1026, 1026, 3), surface(bc1, 6, 6, 3), surface(bc1, 262144, 4, 1),
                             surface(bc1, 512, 256, 10, cube_map)}) {
        blocks.cases.push_back({s});
        blocks.cases.push_back({Surface{bc3, s.type, s.width, s.height, 1, s.levels}});
    }
    return all;
}

// Xbox 360, every block size: shapes square, wide, tall, odd, at the side
// limit; one level, two, half the chain and all of it; cube maps up to 128 x
// 128. Levels of 8 MiB and more (2048 x 2048 pixels of 2 and 4 bytes, 4096 x
// 4096 compressed) take the streaming stores, and ordinary ones where a run
// would not start on a 16-byte boundary: a result 4 bytes into its buffer (as
// after a 148-byte header), rows of 2057 4-byte pixels (8228 bytes).
std::vector<Sweep> x360_sweeps() {
    constexpr Console x360 = Console::x360;
    using Sides = std::vector<std::pair<std::int32_t, std::int32_t>>;
    const Sides small_sides = {{1, 1},    {2, 2},    {3, 5},   {4, 4},    {16, 16},   {17, 33},   {33, 17},  {1, 64}, {64, 1},
                               {100, 60}, {80, 260}, {7, 200}, {300, 20}, {1024, 16}, {16, 1024}, {8192, 8}, {48, 4096}};
    const Sides large_sides = {{640, 480}, {1000, 1000}, {2048, 2048}, {4096, 4096}};
    std::vector<Sweep> all;
    for (const std::uint32_t format : {r8, b5g6r5, bgra8, bc1, bc3}) {
        const std::int32_t side = format == bc1 || format == bc3 ? 4 : 1;
        for (const bool large : {false, true}) {
            Sweep& s = all.emplace_back(Sweep{"X360Format" + std::to_string(format) + (large ? "Large" : ""), {}});
            for (const auto& [w, h] : large ? large_sides : small_sides) {
                const auto full = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(std::max(w, h))));
                for (const std::int32_t levels : {1, 2, (full + 1) / 2, full}) {
                    for (const TextureType type : {TextureType::plain, TextureType::cube_map}) {
                        if (levels > full || (type == TextureType::cube_map && w * h > 128 * 128)) continue;
                        if (large && levels != full && (levels != 1 || w >= 2048)) continue;  // the largest, full chain only
                        if (w / side * (h / side) > 2048 * 2048) continue;  // no more blocks than 2048 x 2048
                        s.cases.push_back({surface(format, w, h, levels, type), 0, 0, x360});
                    }
                }
            }
        }
    }
    all.push_back({"X360Unaligned", {{surface(bgra8, 2057, 1100, 1), 0, 0, x360}, {surface(bgra8, 2057, 1100, 1), 0, 4, x360},
                                     {surface(bc3, 4096, 2048, 1), 0, 4, x360}}});
    return all;
}

constexpr std::array<const char*, 3> set_names = {"Portable", "Sse2", "Avx2"};

class LevelWalks : public ::testing::TestWithParam<std::tuple<Sweep, KernelSet>> {};

TEST_P(LevelWalks, MatchTheOracle) {
    const auto& [sweep, set] = GetParam();
    if (!kernel_set_available(set)) GTEST_SKIP() << "no " << set_names.at(std::size_t(set)) << " kernels in this build or processor";
    for (const WalkCase& c : sweep.cases) ASSERT_NO_FATAL_FAILURE(expect_walk_matches(c, set));
}

// The Xbox 360 walk has no kernel sets to name.
std::string sweep_name(const ::testing::TestParamInfo<std::tuple<Sweep, KernelSet>>& info) {
    const Sweep& sweep = std::get<0>(info.param);
    return sweep.name + (sweep.cases.front().console == Console::x360 ? "" : set_names.at(std::size_t(std::get<1>(info.param))));
}

INSTANTIATE_TEST_SUITE_P(Ps3, LevelWalks,
                         ::testing::Combine(::testing::ValuesIn(sweeps()),
                                            ::testing::Values(KernelSet::portable, KernelSet::sse2, KernelSet::avx2)),
                         sweep_name);
INSTANTIATE_TEST_SUITE_P(X360, LevelWalks, ::testing::Combine(::testing::ValuesIn(x360_sweeps()), ::testing::Values(KernelSet::portable)),
                         sweep_name);

}  // namespace
}  // namespace ddsswizzle::engine
