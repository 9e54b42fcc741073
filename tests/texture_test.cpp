// DDS headers: the recognition table, texture types, the checks in their
// order on each console, and whole file images converted against the plain
// forms of the layouts, 2D textures, cube maps and volumes, with the bytes
// that follow the texture data.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "support/oracles.h"
#include "support/texture_builder.h"
#include "support/x360_oracle.h"
#include "texture/texture_plan.h"

namespace ddsswizzle::engine {
namespace {

using namespace testing;
constexpr Console ps3 = Console::ps3, x360 = Console::x360;

TexturePlan plan(const std::vector<std::byte>& file, Console console = ps3, Direction direction = Direction::swizzle) {
    return plan_texture_conversion(file, file.size(), direction, console);
}

std::vector<std::byte> convert_image(const std::vector<std::byte>& file, Direction direction, Console console) {
    const TexturePlan p = plan(file, console, direction);
    std::vector<std::byte> converted(p.output_length + 1);
    EXPECT_EQ(p.reason, Reason::none);
    // Spans of other lengths than the plan's are refused.
    EXPECT_FALSE(convert_texture_image(p, direction, file, converted) ||
                 convert_texture_image(p, direction, std::span(file).first(file.size() - 1), std::span(converted).first(p.output_length)));
    converted.pop_back();
    EXPECT_TRUE(convert_texture_image(p, direction, file, converted));
    // In pieces made in one staging buffer, as the file is written: the same
    // bytes; a piece past the end is refused, writing nothing.
    for (const std::size_t size : {std::size_t{7}, std::size_t{1000}, p.output_length / 2 + 3}) {
        std::vector<std::byte> staging(size, std::byte{0xEE}), pieces(p.output_length);
        EXPECT_FALSE(convert_texture_piece(p, direction, file, p.output_length - size + 1, staging));
        EXPECT_EQ(std::ranges::count(staging, std::byte{0xEE}), std::ssize(staging));
        for (std::size_t begin = 0; begin < p.output_length; begin += size) {
            const std::span<std::byte> part = std::span(staging).first(std::min(size, p.output_length - begin));
            EXPECT_TRUE(convert_texture_piece(p, direction, file, begin, part));
            std::ranges::copy(part, pieces.begin() + static_cast<std::ptrdiff_t>(begin));
        }
        EXPECT_EQ(pieces, converted) << "pieces of " << size;
    }
    return converted;
}

// Pixel-format bytes (FourCC, flags, bit count) and the DXGI format they
// name; none: "Unknown format". First the rows of the table in their order,
// then what no row matches.
const std::tuple<std::string_view, std::uint32_t, std::uint32_t, std::optional<std::uint32_t>> format_cases[] = {
    {"DXT5", 0x4, 0, 77},        {"DXT3", 0x4, 0, 74},        {"DXT1", 0x4, 0, 71},       {"DXT5", 0x41, 32, 77},
    {"", 0x41, 32, 87},          {"", 0x141, 0x120, 87},      {"", 0x41, 16, 86},         {"", 0x20000, 8, 61},
    {"", 0x20041, 8, 61},        {"", 0x40, 32, 88},          {"", 0x40, 16, 85},         {"", 0x20001, 16, 49},
    {"", 0x20000, 16, 56},       {"", 0x2, 8, 65},            {"DX10", 0x40, 32, 88},     {"DXT2", 0x4, 0, 74},
    {"DXT4", 0x4, 0, 77},        {"ATI1", 0x4, 0, 80},        {"BC4U", 0x4, 0, 80},       {"BC4S", 0x4, 0, 81},
    {"ATI2", 0x4, 0, 83},        {"A2XY", 0x4, 0, 83},        {"BC5U", 0x4, 0, 83},       {"BC5S", 0x4, 0, 84},
    {"RXGB", 0x4, 0, 77},        {{"q\0\0\0", 4}, 0x4, 0, 10}, {{"t\0\0\0", 4}, 0x4, 0, 2}, {{"r\0\0\0", 4}, 0x4, 0, 41},
    {"DXT2", 0x41, 32, 87},      {"", 0x40, 24, {}},          {"", 0x41, 8, {}},          {"", 0x20002, 16, {}},
    {"", 0x1, 16, {}},           {"dxt1", 0x4, 0, {}},        {"DXT6", 0x4, 0, {}},       {{"$\0\0\0", 4}, 0x4, 0, {}},
    {{"n\0\0\0", 4}, 0x4, 0, {}}, {{"o\0\0\0", 4}, 0x4, 0, {}}, {{"p\0\0\0", 4}, 0x4, 0, {}}, {{"s\0\0\0", 4}, 0x4, 0, {}},
};

// DXGI numbers around the edges of the rows of the format table.
const std::pair<std::uint32_t, bool> dxgi_cases[] = {
    {1, false},  {2, true},   {3, false},  {9, false},  {10, true},  {11, false}, {18, false}, {26, false}, {27, true},
    {32, true},  {33, false}, {34, false}, {41, true},  {47, false}, {48, true},  {53, true},  {54, false}, {55, false},
    {56, true},  {59, true},  {60, true},  {65, true},  {66, false}, {69, false}, {70, true},  {78, true},  {79, true},
    {84, true},  {85, true},  {88, true},  {89, false}, {90, true},  {93, true},  {94, false}, {114, false}, {115, true},
    {116, false}, {0x10000 + 28, false},
};

TEST(RecogniseTexture, EveryRowAndDxgiFormat) {
    for (const auto& [four_cc, flags, bits, dxgi] : format_cases) {
        const DdsSurface dds = read_dds_surface(make_texture({4, 4, 1, four_cc, flags, bits}, 64), 64 + 128 + (four_cc == "DX10" ? 20 : 0));
        EXPECT_EQ(dds.reason == Reason::none ? std::optional(dds.surface.format) : std::nullopt, dxgi) << four_cc << " " << flags << " " << bits;
    }
    for (const auto& [dxgi, known] : dxgi_cases) {
        const DdsSurface dds = read_dds_surface(make_texture(dx10_fields(dxgi, 4, 4, 1), 64), 148 + 64);
        EXPECT_EQ(dds.reason, known ? Reason::none : Reason::format_not_recognised) << dxgi;
        EXPECT_EQ(dds.header_bytes, 148U) << dxgi;
    }
    // The level count is the low byte of the mip-map count, signed, with 1
    // for 0 or less.
    for (const auto& [field, levels] : {std::pair{0U, 1}, {10U, 10}, {127U, 127}, {128U, 1}, {255U, 1}, {256U, 1}, {0x105U, 5}}) {
        const DdsSurface dds = read_dds_surface(make_header({64, 32, field, {}, 0x41, 32}), 128);
        EXPECT_EQ(std::tuple(dds.surface.width, dds.surface.height, dds.surface.levels), std::tuple(64, 32, levels)) << field;
    }
}

// The checks after recognition, in their order: the console's formats,
// texture type, sizes, payload length. Fields from caps2 on: caps2, header
// flags, depth, then the DX10 extension (format, dimension, misc flag, array
// size), which alone decides the type of a DX10 file. 384 bytes hold six
// 4 x 4 faces of 32-bit pixels; on the Xbox 360 each face's image is 4 KiB.
constexpr Direction unswiz = Direction::unswizzle;
constexpr std::uint32_t volume_caps = 0x200000, depth_flags = 0x8A1007, cube_caps = 0xFE00;
struct HeaderCase {
    TextureFields fields;
    Reason reason;
    std::size_t payload = 384;
    Console console = ps3;
    Direction direction = Direction::swizzle;
};
const HeaderCase header_cases[] = {
    {{4, 4, 1, {}, 0x41, 32, cube_caps}, Reason::none},
    {{4, 4, 1, {}, 0x41, 32, cube_caps}, Reason::data_short, 383},
    {{4, 4, 1, {}, 0x41, 32, 0x7E00}, Reason::partial_cube_map},
    {{4, 4, 1, {}, 0x41, 32, volume_caps}, Reason::side_not_positive},  // a volume of depth 0
    {{4, 4, 1, {}, 0x41, 32, 0, 0xA1007, 6}, Reason::none},  // no depth flag: not a volume
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 2, 0, 1}}, Reason::none},
    {{4, 4, 1, "DX10", 4, 0, volume_caps, depth_flags, 4, {28, 3, 0, 1}}, Reason::none},  // the extension decides
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 1, 0, 1}}, Reason::texture_array},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 0, 2}}, Reason::texture_array},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 4, {28, 4, 4, 1}}, Reason::cube_map_and_volume},
    {{4, 4, 1, {}, 0x41, 32, volume_caps | cube_caps, depth_flags, 4}, Reason::cube_map_and_volume},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 4, {71, 4, 0, 1}}, Reason::volume_not_on_console},
    {rgba_fields(32, 4, 4, 3), Reason::data_short, 64 + 16},
    {rgba_fields(32, 4, 4, 3), Reason::none, 64 + 16 + 4},
    {dxt_fields("DXT5", 6, 3, 1), Reason::none, 18},  // counted as 6 x 3 x 16 / 16 bytes
    // Volumes: 4 x 4 x 4, 2 x 2 x 2, 1 x 1 x 1 are 292 bytes of 32-bit pixels.
    {{4, 4, 3, {}, 0x41, 32, volume_caps, depth_flags, 4}, Reason::none, 292},
    {{4, 4, 3, {}, 0x41, 32, volume_caps, depth_flags, 4}, Reason::data_short, 291},
    {{4, 4, 4, {}, 0x41, 32, volume_caps, depth_flags, 4}, Reason::level_count_out_of_range},
    // New formats: each console refuses what it has no layout for first;
    // FP16 levels stop after their 1 x 1 level (16 + 4 + 1 texels of 8 bytes).
    {dxt_fields("ATI2", 8, 8, 1), Reason::format_not_on_console},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {80, 3, 0, 6}}, Reason::format_not_on_console},
    {dxt_fields("q\0\0\0", 4, 4, 5), Reason::none, 168},
    {dxt_fields("q\0\0\0", 4, 4, 5), Reason::data_short, 167},
    // Xbox 360: sides up to 8192, at most floor(log2(longest side)) + 1
    // levels; swiz needs the linear levels, unswiz the whole image.
    {rgba_fields(32, 4, 4, 1), Reason::none, 64, x360},
    {rgba_fields(32, 4, 4, 1), Reason::data_short, 63, x360},
    {rgba_fields(32, 4, 4, 1), Reason::none, 4096, x360, unswiz},
    {rgba_fields(32, 4, 4, 1), Reason::data_short, 4095, x360, unswiz},
    {dxt_fields("DXT1", 6, 3, 3), Reason::none, 32, x360},  // 2 x 1 blocks, then 1 x 1 twice
    {dxt_fields("DXT1", 6, 3, 3), Reason::data_short, 31, x360},
    {{4, 4, 1, {}, 0x41, 32, volume_caps, depth_flags, 4}, Reason::volume_not_on_console, 384, x360},
    {dxt_fields("ATI1", 8, 8, 4), Reason::none, 56, x360},
    {{4, 4, 1, {}, 0x40, 24, volume_caps}, Reason::format_not_recognised, 384, x360},
};

TEST(RecogniseTexture, ChecksInOrderOnEachConsole) {
    for (const HeaderCase& c : header_cases) {
        EXPECT_EQ(plan(make_texture(c.fields, c.payload), c.console, c.direction).reason, c.reason) << &c - header_cases;
    }
    const std::vector<std::byte> header = make_header(dx10_fields(28, 4, 4, 1));
    for (const auto& [length, reason] : {std::pair{0, Reason::short_file}, {127, Reason::short_file}, {147, Reason::short_extended_header}}) {
        EXPECT_EQ(plan({header.begin(), header.begin() + length}).reason, reason) << length << " bytes";
    }
}

// How each console stores a format: bytes of a block or pixel, pixels on a
// block's side, the swap units (0 on the Xbox 360: none there), and whether
// it holds floats (the PS3 converting the levels a DDS file stores).
struct Kind { std::size_t bytes, side, ps3_swap, x360_swap; bool floats = false; };
constexpr Kind pix1{1, 1, 1, 1}, pix2{2, 1, 2, 2}, pix4{4, 1, 1, 4}, dxt8{8, 4, 1, 2}, dxt16{16, 4, 1, 2}, fp16{8, 1, 2, 0, true},
    fp32{16, 1, 4, 0, true}, r32f{4, 1, 4, 0, true};

// Swiz of `file` (of `faces` faces, or a volume of `depth` slices, and 7
// bytes after them) gives the header, the texture data the plain form of the
// console's layout makes, then those 7 bytes (swapped too for 16-bit pixels
// on the PS3); unswiz restores the file (and so, both being one-to-one, swiz
// undoes unswiz on the PS3).
void expect_conversion(const TextureFields& fields, Kind kind, Console console, std::size_t faces, std::size_t depth,
                       std::uint32_t seed) {
    const std::int64_t levels = fields.mip_count;
    const std::size_t face = stored_payload_size(fields.width, fields.height, levels, kind.bytes, kind.side == 4, depth);
    constexpr std::size_t after = 7;
    const std::vector<std::byte> file = make_texture(fields, faces * face + after, seed);
    SCOPED_TRACE(::testing::Message() << fields.width << "x" << fields.height << "x" << depth << ", " << levels << " levels, "
                                      << faces << " faces, " << kind.bytes << "-byte elements, console " << int(console));
    const auto payload = file.end() - static_cast<std::ptrdiff_t>(faces * face + after);
    std::vector<std::byte> expected(file.begin(), payload);
    if (console == ps3) {
        const auto data = ps3_payload({kind.bytes, kind.side == 4, kind.ps3_swap, kind.floats}, {fields.width, fields.height, std::int64_t(depth)},
                                      levels, depth > 1, faces, face, {payload, file.end()}, Direction::swizzle);
        expected.insert(expected.end(), data.begin(), data.end());
    } else {
        const X360Texture texture{kind.bytes, kind.side, kind.x360_swap, fields.width, fields.height, levels, faces};
        const auto data = x360_oracle_convert(texture, {payload, file.end() - after}, Direction::swizzle);
        expected.insert(expected.end(), data.begin(), data.end());
        expected.insert(expected.end(), file.end() - after, file.end());
    }
    const std::vector<std::byte> swizzled = convert_image(file, Direction::swizzle, console);
    EXPECT_EQ(swizzled, expected);
    EXPECT_EQ(convert_image(swizzled, Direction::unswizzle, console), file);
}

// Every kind of element on each console, with legacy and DX10 headers, in
// shapes where the layouts change behaviour, as a 2D texture and as a cube
// map (caps2 makes a legacy header one, the misc flag a DX10 one); and PS3
// volumes (caps2, the depth flag with a depth above 1, resource dimension 4).
TEST(ConvertTextureImage, EveryFormatKindAs2DTextureCubeMapAndVolume) {
    const std::tuple<TextureFields, Kind, Console> textures[] = {
        {rgba_fields(32, 64, 32, 7), pix4, ps3},              {rgba_fields(16, 32, 32, 6), pix2, ps3},
        {dx10_fields(61, 2, 4, 3), pix1, ps3},                {dxt_fields("DXT1", 640, 480, 10), dxt8, ps3},
        {dx10_fields(77, 512, 384, 1), dxt16, ps3},           {dxt_fields("q\0\0\0", 64, 32, 7), fp16, ps3},
        {dx10_fields(2, 16, 16, 5), fp32, ps3},               {dxt_fields("r\0\0\0", 32, 8, 6), r32f, ps3},
        {rgba_fields(32, 100, 60, 7), pix4, x360},            {rgba_fields(16, 80, 260, 9), pix2, x360},
        {dx10_fields(61, 33, 17, 6), pix1, x360},             {dxt_fields("DXT5", 16, 16, 5), dxt16, x360},
        {dxt_fields("ATI2", 64, 64, 7), dxt16, x360},         {dx10_fields(80, 32, 32, 6), dxt8, x360},
        {dxt_fields("DXT1", 128, 32, 8), dxt8, x360},
    };
    std::uint32_t seed = 4000;
    for (const auto& [fields, kind, console] : textures) {
        expect_conversion(fields, kind, console, 1, 1, ++seed);
        TextureFields cube = fields;
        cube.caps2 = cube_caps;
        cube.dx10[2] = 0x4;
        expect_conversion(cube, kind, console, 6, 1, ++seed);
    }
    const std::pair<TextureFields, Kind> volumes[] = {
        {{8, 4, 5, {}, 0x41, 32, volume_caps, depth_flags, 16}, pix4}, {{4, 4, 3, {}, 0x41, 16, 0, depth_flags, 4}, pix2},
        {{4, 8, 4, "DX10", 4, 0, 0, 0xA1007, 2, {28, 4, 0, 1}}, pix4}, {{8, 8, 4, "q", 4, 0, volume_caps, depth_flags, 4}, fp16}};
    for (const auto& [fields, kind] : volumes) expect_conversion(fields, kind, ps3, 1, fields.depth, ++seed);
}

}  // namespace
}  // namespace ddsswizzle::engine
