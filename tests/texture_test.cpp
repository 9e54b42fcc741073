// Header recognition, texture types, the checks in their order for each
// console, and the conversion of whole images against the plain forms of the
// layouts: PS3 2D textures and cube maps face by face, PS3 volumes, and Xbox
// 360 textures and cube maps with the bytes that follow them.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "support/oracles.h"
#include "support/texture_builder.h"
#include "support/x360_oracle.h"
#include "texture/payload_buffer.h"
#include "texture/texture_file.h"

namespace ddsswizzle {
namespace {

using namespace testing;
using Status = ConversionStatus;
using enum FormatClass;

std::vector<std::byte> convert_image(const std::vector<std::byte>& file, Direction direction,
                                     Console console = Console::ps3) {
    std::vector<std::byte> converted(plan_texture_conversion(file, file.size(), direction, console).output_length);
    EXPECT_EQ(convert_texture_image(file, converted, direction, console), Status::converted);
    return converted;
}

// Pixel-format bytes (FourCC, flags, bit count) and the class they select;
// none: "Unknown format". The first nine come from the first six rows of the
// table, in their order; then RGB without alpha, A8L8, L16, A8.
const std::tuple<std::string_view, std::uint32_t, std::uint32_t, std::optional<FormatClass>> format_cases[] = {
    {"DXT5", 0x4, 0, block16},       {"DXT3", 0x4, 0, block16},        {"DXT1", 0x4, 0, block8},
    {"DXT5", 0x41, 32, block16},     {"", 0x41, 32, pixel32},          {"", 0x141, 0x120, pixel32},
    {"", 0x41, 16, pixel16},         {"", 0x20000, 8, luminance8},     {"", 0x20041, 8, luminance8},
    {"", 0x40, 32, pixel32},         {"", 0x40, 16, pixel16},          {"", 0x20001, 16, pixel16},
    {"", 0x20000, 16, pixel16},      {"", 0x2, 8, luminance8},         {"DX10", 0x40, 32, pixel32},
    {"", 0x40, 24, {}},              {"", 0x41, 8, {}},                {"", 0x20002, 16, {}},
    {"", 0x1, 16, {}},               {"DXT2", 0x4, 0, block16},        {"DXT4", 0x4, 0, block16},
    {"dxt1", 0x4, 0, {}},            {"DXT2", 0x41, 32, pixel32},      {"DXT6", 0x4, 0, {}},
};

// DXGI formats around the edges of every range the DX10 extension maps.
const std::pair<std::uint32_t, std::optional<FormatClass>> dxgi_cases[] = {
    {26, {}},          {27, pixel32},     {32, pixel32},     {33, {}},          {47, {}},
    {48, pixel16},     {53, pixel16},     {54, {}},          {55, {}},          {56, pixel16},
    {59, pixel16},     {60, luminance8},  {65, luminance8},  {66, {}},          {69, {}},
    {70, block8},      {72, block8},      {73, block16},     {78, block16},     {79, {}},
    {84, {}},          {85, pixel16},     {86, pixel16},     {87, pixel32},     {88, pixel32},
    {89, {}},          {90, pixel32},     {93, pixel32},     {94, {}},          {114, {}},
    {115, pixel16},    {116, {}},         {0x10000 + 28, {}},
};

// Texture types and the checks after recognition, in their order: type,
// size, payload. Fields from caps2 on: caps2, header flags, depth, then the
// DX10 extension (format, dimension, misc flag, array size), which alone
// decides the type of a DX10 file. 384 bytes hold six 4 x 4 faces of 32-bit
// pixels; on the Xbox 360 each face's image is a 4 KiB page.
constexpr Console x360 = Console::x360;
constexpr Direction unswiz = Direction::unswizzle;
constexpr std::uint32_t volume_caps = 0x200000, depth_flags = 0x8A1007, cube_caps = 0xFE00;
struct HeaderCase {
    TextureFields fields;
    Status status;
    std::size_t payload = 384;
    Console console = Console::ps3;
    Direction direction = Direction::swizzle;
};
const HeaderCase header_cases[] = {
    {{4, 4, 1, {}, 0x41, 32, 0xFE00}, Status::converted},
    {{4, 4, 1, {}, 0x41, 32, 0xFE00}, Status::truncated, 383},
    {{4, 4, 1, {}, 0x41, 32, 0xFC00}, Status::converted},
    {{4, 4, 1, {}, 0x41, 32, 0x7E00}, Status::unsupported_type},
    {{4, 4, 1, {}, 0x41, 32, volume_caps}, Status::unsupported_size},  // a volume of depth 0
    {{4, 4, 1, {}, 0x41, 32, 0, depth_flags, 2}, Status::converted},
    {{4, 4, 1, {}, 0x41, 32, 0, 0x8A1007, 1}, Status::converted},
    {{4, 4, 1, {}, 0x41, 32, 0, 0xA1007, 6}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 2, 0, 1}}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 4, 1}}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 4, 1}}, Status::truncated, 383},
    {{4, 4, 1, "DX10", 4, 0, 0x200000, 0x8A1007, 4, {28, 3, 0, 1}}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 4, {28, 4, 0, 1}}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 1, 0, 1}}, Status::unsupported_type},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 0, 2}}, Status::unsupported_type},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 4, 0}}, Status::unsupported_type},
    {{4, 4, 1, {}, 0x40, 24, 0x200000}, Status::unknown_format},
    {{-4, 4, 1, "DXT1", 4, 0, volume_caps}, Status::unsupported_type},
    {rgba_fields(32, 4, -4, 1), Status::unsupported_size},
    {dxt_fields("DXT1", -512, -512, 1), Status::unsupported_size},
    {rgba_fields(32, 6, 4, 1), Status::unsupported_size},
    {{4, 12, 1, {}, 0x20000, 8}, Status::unsupported_size},
    {rgba_fields(32, 4, 4, 1), Status::truncated, 63},
    {rgba_fields(32, 4, 4, 3), Status::truncated, 64 + 16},
    {rgba_fields(32, 4, 4, 3), Status::converted, 64 + 16 + 4},
    {dxt_fields("DXT1", 640, 480, 1), Status::converted, 640 * 480 / 2},
    {dxt_fields("DXT5", 6, 3, 1), Status::converted, 18},
    {rgba_fields(16, 1, 1, 200), Status::converted, 2},
    // PS3 volumes: 4 x 4 x 4, 2 x 2 x 2, 1 x 1 x 1 are 292 bytes of 32-bit
    // pixels; 2 x 2 x 8 down to 1 x 1 x 1, 78 bytes of 16-bit ones.
    {{4, 4, 3, {}, 0x41, 32, volume_caps, depth_flags, 4}, Status::converted, 292},
    {{4, 4, 3, {}, 0x41, 32, volume_caps, depth_flags, 4}, Status::truncated, 291},
    {{2, 2, 4, {}, 0x41, 16, 0, depth_flags, 8}, Status::converted, 78},
    {{2, 2, 4, {}, 0x41, 16, 0, depth_flags, 8}, Status::truncated, 77},
    {{4, 4, 4, {}, 0x41, 32, volume_caps, depth_flags, 4}, Status::unsupported_size},
    {{4, 4, 1, {}, 0x41, 32, volume_caps, depth_flags, 3}, Status::unsupported_size},
    {{6, 4, 1, {}, 0x41, 32, volume_caps, depth_flags, 4}, Status::unsupported_size},
    {{8, 2, 1, {}, 0x20000, 8, volume_caps, depth_flags, 6}, Status::unsupported_size},
    {{1024, 1024, 1, {}, 0x41, 32, volume_caps, depth_flags, 512}, Status::unsupported_size},  // 2 GiB
    {{4, 4, 1, "DXT5", 4, 0, volume_caps, depth_flags, 4}, Status::unsupported_type},
    {{4, 4, 1, {}, 0x41, 32, volume_caps | cube_caps, depth_flags, 4}, Status::unsupported_type},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 4, {28, 4, 4, 1}}, Status::unsupported_type},  // also a cube
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 4, {71, 4, 0, 1}}, Status::unsupported_type},  // BC1
    // Xbox 360: any side up to 8192, at most floor(log2(longest side)) + 1
    // levels; swiz needs the linear levels, unswiz the whole image.
    {rgba_fields(32, 4, 4, 1), Status::converted, 64, x360},
    {rgba_fields(32, 4, 4, 1), Status::truncated, 63, x360},
    {rgba_fields(32, 4, 4, 1), Status::converted, 4096, x360, unswiz},
    {rgba_fields(32, 4, 4, 1), Status::truncated, 4095, x360, unswiz},
    {rgba_fields(32, 6, 5, 3), Status::converted, 148, x360},
    {rgba_fields(32, 6, 5, 4), Status::unsupported_size, 400, x360},
    {rgba_fields(32, 4, 4, 4), Status::unsupported_size, 400, x360},
    {rgba_fields(32, 8192, 1, 1), Status::converted, 32768, x360},
    {rgba_fields(32, 8193, 1, 1), Status::unsupported_size, 32772, x360},
    {rgba_fields(32, 1, 8193, 1), Status::unsupported_size, 32772, x360},
    {rgba_fields(32, 0, 4, 1), Status::unsupported_size, 384, x360},
    {dxt_fields("DXT1", 6, 3, 3), Status::converted, 32, x360},  // 2 x 1 blocks, then 1 x 1 twice
    {dxt_fields("DXT1", 6, 3, 3), Status::truncated, 31, x360},
    {{4, 4, 1, {}, 0x41, 32, cube_caps}, Status::converted, 384, x360},
    {{4, 4, 1, {}, 0x41, 32, cube_caps}, Status::truncated, 383, x360},
    {{4, 4, 1, {}, 0x41, 32, cube_caps}, Status::converted, 6 * 4096, x360, unswiz},
    {{4, 4, 1, {}, 0x41, 32, cube_caps}, Status::truncated, 6 * 4096 - 1, x360, unswiz},
    {{4, 4, 1, {}, 0x41, 32, 0x7E00}, Status::unsupported_type, 384, x360},
    {{4, 4, 1, {}, 0x41, 32, volume_caps, depth_flags, 4}, Status::unsupported_type, 384, x360},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 0, 2}}, Status::unsupported_type, 384, x360},
    {{4, 4, 1, {}, 0x40, 24, volume_caps}, Status::unknown_format, 384, x360},
};

// The verdict on whole files; the tool tests run a file of each refusal
// through the executable, with the file checked untouched.
TEST(RecogniseTexture, EveryRowTypeCheckAndLevelCount) {
    const auto verdict = [](const std::vector<std::byte>& file, Direction direction = Direction::swizzle,
                            Console console = Console::ps3) {
        return plan_texture_conversion(file, file.size(), direction, console);
    };
    // The class a plan converts with, or none for "Unknown format".
    const auto recognised = [](const TexturePlan& plan) -> std::optional<FormatClass> {
        if (plan.status == Status::converted) return plan.format;
        EXPECT_EQ(plan.status, Status::unknown_format);
        return std::nullopt;
    };
    for (const auto& [four_cc, flags, bits, format] : format_cases) {
        EXPECT_EQ(recognised(verdict(make_texture({4, 4, 1, four_cc, flags, bits}, 64))), format)
            << four_cc << " " << flags << " " << bits;
    }
    for (const auto& [dxgi, format] : dxgi_cases) {
        const TexturePlan plan = verdict(make_texture(dx10_fields(dxgi, 4, 4, 1), 64));
        EXPECT_EQ(recognised(plan), format) << dxgi;
        EXPECT_TRUE(!format || plan.header_bytes == 148) << dxgi;
    }
    for (const HeaderCase& c : header_cases) {
        EXPECT_EQ(verdict(make_texture(c.fields, c.payload), c.direction, c.console).status, c.status) << &c - header_cases;
    }
    std::vector<std::byte> bad = make_texture(rgba_fields(32, 4, 4, 1), 64);
    put_u32(bad, 4, 100);
    EXPECT_EQ(verdict(bad).status, Status::not_a_texture) << "header size not 124";
    bad[4] = std::byte{124};
    bad[3] = std::byte{'X'};
    EXPECT_EQ(verdict(bad).status, Status::not_a_texture) << "magic";
    const std::vector<std::byte> header = make_header(dx10_fields(28, 4, 4, 1));
    for (const std::ptrdiff_t length : {0, 127, 128, 147}) {
        EXPECT_EQ(verdict({header.begin(), header.begin() + length}).status, Status::not_a_texture) << length << " bytes";
    }
    // The level count is the low byte of the mip-map count, signed, with 1 for 0 or less.
    const std::pair<std::uint32_t, std::int32_t> cases[] = {
        {0, 1}, {1, 1}, {10, 10}, {127, 127}, {128, 1}, {200, 1}, {255, 1}, {256, 1}, {0x105, 5},
    };
    for (const auto& [field, expected] : cases) {
        const LevelChain chain = texture_level_chain(read_texture_header(make_header({64, 32, field, {}, 0x41, 32})));
        EXPECT_EQ(std::tuple(chain.width, chain.height, chain.level_count), std::tuple(64, 32, expected)) << field;
    }
}

// Swiz of a file whose header is `header` bytes long gives that header, then
// `payload`; unswiz restores the file, and so, on the PS3, does unswiz then
// swiz.
void expect_swizzles_to(const std::vector<std::byte>& file, std::size_t header, const std::vector<std::byte>& payload,
                        Console console = Console::ps3) {
    std::vector<std::byte> expected(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(header));
    expected.insert(expected.end(), payload.begin(), payload.end());
    const std::vector<std::byte> swizzled = convert_image(file, Direction::swizzle, console);
    EXPECT_EQ(swizzled, expected);
    EXPECT_EQ(convert_image(swizzled, Direction::unswizzle, console), file);
    if (console == Console::ps3) {
        EXPECT_EQ(convert_image(convert_image(file, Direction::unswizzle), Direction::swizzle), file);
    }
}

// The PS3's 16-bit class swaps the bytes of every pair of the payload after
// the walk; an odd last byte has no partner.
std::vector<std::byte> swap_pairs(std::vector<std::byte> bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

// A PS3 texture of `faces` faces (1, or 6 for a cube map) and `tail` bytes
// after them: each face converted by the bit-by-bit rule on its own, the
// tail in place, then the 16-bit swap over the whole payload.
void expect_conversion(const TextureFields& fields, FormatClass format, std::size_t faces, std::size_t tail,
                       std::uint32_t seed) {
    const std::size_t face = stored_payload_size(fields.width, fields.height, fields.mip_count, element_bytes(format),
                                                 is_block_class(format));
    const std::vector<std::byte> file = make_texture(fields, faces * face + tail, seed);
    const std::size_t header = file.size() - faces * face - tail;
    SCOPED_TRACE(::testing::Message() << fields.width << "x" << fields.height << "x" << fields.mip_count << ", " << faces);
    const LevelChain chain{fields.width, fields.height, static_cast<std::int32_t>(fields.mip_count)};
    std::vector<std::byte> payload(file.begin() + static_cast<std::ptrdiff_t>(header), file.end());
    for (std::size_t f = 0; f < faces; ++f) {
        const auto start = payload.begin() + static_cast<std::ptrdiff_t>(f * face);
        const std::vector<std::byte> one(start, start + static_cast<std::ptrdiff_t>(face));
        const std::vector<std::byte> walked = is_block_class(format)
                                                  ? oracle_block_levels(element_bytes(format), chain, one, Direction::swizzle)
                                                  : oracle_pixel_levels(element_bytes(format), chain, one, Direction::swizzle);
        std::copy(walked.begin(), walked.end(), start);
    }
    expect_swizzles_to(file, header, format == pixel16 ? swap_pairs(payload) : payload);
}

// Every class in shapes where the layouts change behaviour, with legacy and
// DX10 headers, as a 2D texture and as a cube map (caps2 makes a legacy
// header one, the misc flag a DX10 one; each ignores the other).
TEST(ConvertTextureImage, EveryClassAs2DTextureAndCubeMap) {
    const std::pair<TextureFields, FormatClass> textures[] = {
        {rgba_fields(32, 64, 32, 7), pixel32},           {rgba_fields(32, 1, 64, 7), pixel32},
        {rgba_fields(32, 4, 2, 3), pixel32},             {dx10_fields(87, 128, 1, 8), pixel32},
        {rgba_fields(16, 32, 32, 6), pixel16},           {{16, 64, 7, {}, 0x40, 16}, pixel16},
        {{8, 8, 4, {}, 0x20000, 8}, luminance8},    {dx10_fields(61, 2, 4, 3), luminance8},
        {dxt_fields("DXT1", 512, 256, 10), block8},      {dxt_fields("DXT5", 512, 512, 10), block16},
        {dxt_fields("DXT1", 640, 480, 10), block8},      {dxt_fields("DXT3", 6, 10, 2), block16},
        {dxt_fields("DXT5", 2048, 4, 12), block16},      {dx10_fields(71, 256, 256, 9), block8},
        {dx10_fields(77, 512, 384, 1), block16},
    };
    std::uint32_t seed = 4000;
    for (const auto& [fields, format] : textures) {
        expect_conversion(fields, format, 1, 3, ++seed);
        TextureFields cube = fields;
        cube.caps2 = 0xFE00;
        cube.dx10[2] = 0x4;
        expect_conversion(cube, format, 6, 5, ++seed);
    }
}

// Xbox 360: swiz gives the header, the image the plain form of the tiling
// makes of the linear levels (all faces), then the bytes that followed them.
// The class picks the block and its byte order.
void expect_x360_conversion(const TextureFields& fields, X360Surface surface, std::uint32_t faces, std::uint32_t seed) {
    surface.width = fields.width;
    surface.height = fields.height;
    surface.level_count = static_cast<std::int32_t>(fields.mip_count);
    surface.faces = faces;
    const std::size_t linear = faces * stored_payload_size(fields.width, fields.height, fields.mip_count,
                                                           surface.block_bytes, surface.block_side == 4);
    constexpr std::ptrdiff_t tail = 7;
    const std::vector<std::byte> file = make_texture(fields, linear + tail, seed);
    const std::size_t header = file.size() - linear - tail;
    SCOPED_TRACE(::testing::Message() << fields.width << "x" << fields.height << "x" << fields.mip_count << ", "
                                      << faces << " faces, " << surface.block_bytes << "-byte blocks");
    std::vector<std::byte> payload =
        x360_oracle_convert(surface, {file.begin() + static_cast<std::ptrdiff_t>(header), file.end() - tail}, Direction::swizzle);
    payload.insert(payload.end(), file.end() - tail, file.end());
    expect_swizzles_to(file, header, payload, x360);
}

// Every class, with legacy and DX10 headers, in shapes where the layout
// changes behaviour (sides that are not powers of two, a tail at level 0, a
// wide and a tall tail, partial chains), as a 2D texture and a cube map.
TEST(ConvertTextureImage, Xbox360EveryClassAs2DTextureAndCubeMap) {
    const X360Surface bytes1{1, 1, 1}, bytes2{2, 1, 2}, bytes4{4, 1, 4}, dxt1{8, 4, 2}, dxt5{16, 4, 2};
    const std::pair<TextureFields, X360Surface> textures[] = {
        {rgba_fields(32, 100, 60, 7), bytes4},          {rgba_fields(32, 1, 1, 1), bytes4},
        {dx10_fields(87, 640, 480, 3), bytes4},         {rgba_fields(16, 80, 260, 9), bytes2},
        {{64, 64, 7, {}, 0x40, 16}, bytes2},            {{8, 8, 4, {}, 0x20000, 8}, bytes1},
        {dx10_fields(61, 33, 17, 6), bytes1},           {dxt_fields("DXT1", 256, 256, 9), dxt1},
        {dxt_fields("DXT1", 1024, 16, 11), dxt1},       {dx10_fields(71, 64, 64, 7), dxt1},
        {dxt_fields("DXT5", 16, 16, 5), dxt5},          {dxt_fields("DXT3", 6, 10, 2), dxt5},
        {dx10_fields(77, 40, 300, 4), dxt5},
    };
    std::uint32_t seed = 5000;
    for (const auto& [fields, surface] : textures) {
        expect_x360_conversion(fields, surface, 1, ++seed);
        TextureFields cube = fields;
        cube.caps2 = cube_caps;
        cube.dx10[2] = 0x4;
        expect_x360_conversion(cube, surface, 6, ++seed);
    }
}

// A 4 x 4 32-bit texture of one level whose pixel i holds the bytes 4i to
// 4i + 3 becomes one 4 KiB page: pixel (x, y) at the tiled address of block
// (x, y) in a surface 32 blocks wide, its four bytes reversed, every other
// byte zero.
TEST(ConvertTextureImage, Xbox360WorkedExample) {
    std::vector<std::byte> file = make_header(rgba_fields(32, 4, 4, 1));
    for (int i = 0; i < 64; ++i) file.push_back(static_cast<std::byte>(i));
    std::vector<std::byte> expected(file.begin(), file.begin() + 128);
    expected.resize(128 + 4096);
    for (std::uint64_t i = 0; i < 16; ++i) {
        const std::uint64_t at = 128 + x360_address_by_arithmetic(i % 4, i / 4, 32, 4);
        for (std::uint64_t k = 0; k < 4; ++k) expected[at + k] = static_cast<std::byte>(4 * i + 3 - k);
    }
    EXPECT_EQ(convert_image(file, Direction::swizzle, x360), expected);
}

// PS3 volumes: each level, max(1, side >> level) on every side, in the
// three-dimensional Morton order; the 16-bit swap over the whole payload; the
// bytes after the levels in place. Legacy headers say volume in caps2 or by
// the depth flag with a depth above 1, DX10 ones by resource dimension 4.
TEST(ConvertTextureImage, Ps3VolumesInMortonOrder) {
    const std::tuple<TextureFields, std::uint32_t> volumes[] = {
        {{8, 4, 5, {}, 0x41, 32, volume_caps, depth_flags, 16}, 4},
        {{4, 4, 3, {}, 0x41, 16, 0, depth_flags, 4}, 2},
        {{16, 1, 5, {}, 0x20000, 8, volume_caps, depth_flags, 2}, 1},
        {{4, 8, 4, "DX10", 4, 0, 0, 0xA1007, 2, {28, 4, 0, 1}}, 4},
        {{32, 32, 1, {}, 0x41, 16, volume_caps, depth_flags, 32}, 2},
    };
    std::uint32_t seed = 6000;
    for (const auto& [fields, bpp] : volumes) {
        const VolumeChain chain{fields.width, fields.height, static_cast<std::int32_t>(fields.depth),
                                static_cast<std::int32_t>(fields.mip_count)};
        std::size_t size = 3;  // bytes after the levels
        for (std::int32_t l = 0; l < chain.level_count; ++l) {
            size += std::size_t{bpp} * static_cast<std::size_t>(std::max(chain.width >> l, 1) *
                                                                std::max(chain.height >> l, 1) * std::max(chain.depth >> l, 1));
        }
        const std::vector<std::byte> file = make_texture(fields, size, ++seed);
        const std::size_t header = file.size() - size;
        SCOPED_TRACE(::testing::Message() << chain.width << "x" << chain.height << "x" << chain.depth << ", " << bpp);
        const std::vector<std::byte> walked = oracle_morton_levels(
            bpp, chain, true, {file.begin() + static_cast<std::ptrdiff_t>(header), file.end()}, Direction::swizzle);
        expect_swizzles_to(file, header, bpp == 2 ? swap_pairs(walked) : walked);
    }
}

// DXT2 and DXT4 are DXT3 and DXT5 with premultiplied alpha: the same blocks,
// converted the same way on both consoles.
TEST(ConvertTextureImage, Dxt2AndDxt4AsDxt3AndDxt5) {
    for (const auto& [premultiplied, plain] : {std::pair{"DXT2", "DXT3"}, std::pair{"DXT4", "DXT5"}}) {
        for (const Console console : {Console::ps3, Console::x360}) {
            const std::size_t payload = stored_payload_size(512, 256, 10, 16, true);
            const std::vector<std::byte> a =
                convert_image(make_texture(dxt_fields(premultiplied, 512, 256, 10), payload), Direction::swizzle, console);
            const std::vector<std::byte> b =
                convert_image(make_texture(dxt_fields(plain, 512, 256, 10), payload), Direction::swizzle, console);
            ASSERT_EQ(a.size(), b.size());
            EXPECT_TRUE(std::equal(a.begin() + 128, a.end(), b.begin() + 128)) << premultiplied;
        }
    }
}

// Buffers of 4 MiB and more start on a 2 MiB boundary on Linux, where huge
// pages can back them; every size, 0 included, gives a usable buffer.
TEST(PayloadBuffer, LargeOnesAlignedForHugePages) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4} << 20U, (std::size_t{9} << 20U) + 1}) {
        const PayloadBuffer buffer = allocate_payload_buffer(size);
        ASSERT_NE(buffer.get(), nullptr) << size;
        std::fill_n(buffer.get(), size, std::byte{1});
#ifdef __linux__
        EXPECT_TRUE(size < (std::size_t{4} << 20U) || reinterpret_cast<std::uintptr_t>(buffer.get()) % (2U << 20U) == 0) << size;
#endif
    }
}

}  // namespace
}  // namespace ddsswizzle
