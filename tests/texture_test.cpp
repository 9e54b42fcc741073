// Header recognition, texture types, the checks in their order, and the
// conversion of whole images: 2D textures against the bit-by-bit rules, cube
// maps face by face against 2D textures of their own.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "support/oracles.h"
#include "support/texture_builder.h"
#include "texture/payload_buffer.h"
#include "texture/texture_file.h"

namespace ddsswizzle {
namespace {

using namespace testing;
using Status = ConversionStatus;
using enum FormatClass;

std::vector<std::byte> convert_image(const std::vector<std::byte>& file, Direction direction) {
    std::vector<std::byte> converted(file.size());
    EXPECT_EQ(convert_texture_image(file, converted, direction), Status::converted);
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
    {"", 0x1, 16, {}},               {"DXT2", 0x4, 0, {}},             {"dxt1", 0x4, 0, {}},
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
// decides the type of a DX10 file. 384 bytes hold six 4 x 4 faces.
struct HeaderCase {
    TextureFields fields;
    Status status;
    std::size_t payload = 384;
};
const HeaderCase header_cases[] = {
    {{4, 4, 1, {}, 0x41, 32, 0xFE00}, Status::converted},
    {{4, 4, 1, {}, 0x41, 32, 0xFE00}, Status::truncated, 383},
    {{4, 4, 1, {}, 0x41, 32, 0xFC00}, Status::converted},
    {{4, 4, 1, {}, 0x41, 32, 0x7E00}, Status::unsupported_type},
    {{4, 4, 1, {}, 0x41, 32, 0x200000}, Status::unsupported_type},
    {{4, 4, 1, {}, 0x41, 32, 0, 0x8A1007, 2}, Status::unsupported_type},
    {{4, 4, 1, {}, 0x41, 32, 0, 0x8A1007, 1}, Status::converted},
    {{4, 4, 1, {}, 0x41, 32, 0, 0xA1007, 6}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 2, 0, 1}}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 4, 1}}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 4, 1}}, Status::truncated, 383},
    {{4, 4, 1, "DX10", 4, 0, 0x200000, 0x8A1007, 4, {28, 3, 0, 1}}, Status::converted},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 4, 0, 1}}, Status::unsupported_type},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 1, 0, 1}}, Status::unsupported_type},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 0, 2}}, Status::unsupported_type},
    {{4, 4, 1, "DX10", 4, 0, 0, 0xA1007, 0, {28, 3, 4, 0}}, Status::unsupported_type},
    {{4, 4, 1, {}, 0x40, 24, 0x200000}, Status::unknown_format},
    {{-4, 4, 1, {}, 0x41, 32, 0x200000}, Status::unsupported_type},
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
};

// The verdict on whole files; the tool tests run a file of each refusal
// through the executable, with the file checked untouched.
TEST(RecogniseTexture, EveryRowTypeCheckAndLevelCount) {
    const auto verdict = [](const std::vector<std::byte>& file) { return plan_texture_conversion(file, file.size()); };
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
    for (const HeaderCase& c : header_cases) EXPECT_EQ(verdict(make_texture(c.fields, c.payload)).status, c.status) << &c - header_cases;
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

// Converts a texture of `faces` faces (1, or 6 for a cube map) and `tail`
// bytes after them, and checks swiz against the bit-by-bit rule applied to
// each face on its own, the header and the tail in place, then the 16-bit
// swap over the whole payload; and that unswiz undoes it either way round.
void expect_conversion(const TextureFields& fields, FormatClass format, std::size_t faces, std::size_t tail,
                       std::uint32_t seed) {
    const std::size_t face = stored_payload_size(fields.width, fields.height, fields.mip_count, element_bytes(format),
                                                 is_block_class(format));
    const std::vector<std::byte> file = make_texture(fields, faces * face + tail, seed);
    const auto header = static_cast<std::ptrdiff_t>(file.size() - faces * face - tail);
    SCOPED_TRACE(::testing::Message() << fields.width << "x" << fields.height << "x" << fields.mip_count << ", " << faces);
    const LevelChain chain{fields.width, fields.height, static_cast<std::int32_t>(fields.mip_count)};
    std::vector<std::byte> expected = file;
    for (std::size_t f = 0; f < faces; ++f) {
        const auto start = file.begin() + header + static_cast<std::ptrdiff_t>(f * face);
        const std::vector<std::byte> one(start, start + static_cast<std::ptrdiff_t>(face));
        const std::vector<std::byte> walked = is_block_class(format)
                                                  ? oracle_block_levels(element_bytes(format), chain, one, Direction::swizzle)
                                                  : oracle_pixel_levels(element_bytes(format), chain, one, Direction::swizzle);
        std::copy(walked.begin(), walked.end(), expected.begin() + header + static_cast<std::ptrdiff_t>(f * face));
    }
    for (auto i = static_cast<std::size_t>(header); format == pixel16 && i + 1 < expected.size(); i += 2) {
        std::swap(expected[i], expected[i + 1]);  // an odd last byte has no partner
    }
    const std::vector<std::byte> swizzled = convert_image(file, Direction::swizzle);
    EXPECT_EQ(swizzled, expected);
    EXPECT_EQ(convert_image(swizzled, Direction::unswizzle), file);
    EXPECT_EQ(convert_image(convert_image(file, Direction::unswizzle), Direction::swizzle), file);
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
