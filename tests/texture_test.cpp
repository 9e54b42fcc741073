// Header recognition, texture types, the checks in their order, and the
// conversion of whole images: 2D textures against the bit-by-bit rules, cube
// maps face by face against 2D textures of their own.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "support/files.h"
#include "support/oracles.h"
#include "support/texture_builder.h"
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

TextureFields with(TextureFields fields, std::uint32_t caps2, std::uint32_t flags = 0xA1007, std::uint32_t depth = 0) {
    fields.caps2 = caps2;
    fields.flags = flags;
    fields.depth = depth;
    return fields;
}

TextureFields dx10_shape(std::uint32_t dimension, std::uint32_t array_size, std::uint32_t misc = 0) {
    TextureFields fields = dx10_fields(28, 4, 4, 1, misc);
    fields.dx10[1] = dimension;
    fields.dx10[3] = array_size;
    return fields;
}

// Every header is 4 x 4 with one level unless it says otherwise; 384 bytes of
// payload hold six faces of any class at that size.
struct HeaderCase {
    TextureFields fields;
    Status status;
    std::optional<FormatClass> format = std::nullopt;
    std::size_t payload = 384;
};

const HeaderCase header_cases[] = {
    // The first six rows, in their order.
    {{4, 4, 1, "DXT5", 0x4, 0}, Status::converted, block16},
    {{4, 4, 1, "DXT3", 0x4, 0}, Status::converted, block16},
    {{4, 4, 1, "DXT1", 0x4, 0}, Status::converted, block8},
    {{4, 4, 1, "DXT5", 0x41, 32}, Status::converted, block16},
    {{4, 4, 1, {}, 0x41, 32}, Status::converted, pixel32},
    {{4, 4, 1, {}, 0x141, 0x120}, Status::converted, pixel32},
    {{4, 4, 1, {}, 0x41, 16}, Status::converted, pixel16},
    {{4, 4, 1, {}, 0x20000, 8}, Status::converted, luminance8},
    {{4, 4, 1, {}, 0x20041, 8}, Status::converted, luminance8},
    // The rows after them: RGB without alpha, A8L8, L16, A8.
    {{4, 4, 1, {}, 0x40, 32}, Status::converted, pixel32},
    {{4, 4, 1, {}, 0x40, 16}, Status::converted, pixel16},
    {{4, 4, 1, {}, 0x20001, 16}, Status::converted, pixel16},
    {{4, 4, 1, {}, 0x20000, 16}, Status::converted, pixel16},
    {{4, 4, 1, {}, 0x2, 8}, Status::converted, luminance8},
    {{4, 4, 1, "DX10", 0x40, 32}, Status::converted, pixel32},  // an earlier row wins over the FourCC
    {{4, 4, 1, {}, 0x40, 24}, Status::unknown_format},
    {{4, 4, 1, {}, 0x41, 8}, Status::unknown_format},
    {{4, 4, 1, {}, 0x20002, 16}, Status::unknown_format},
    {{4, 4, 1, {}, 0x1, 16}, Status::unknown_format},
    {{4, 4, 1, "DXT2", 0x4, 0}, Status::unknown_format},
    {{4, 4, 1, "dxt1", 0x4, 0}, Status::unknown_format},
    // Texture types of the legacy header.
    {with(rgba_fields(32, 4, 4, 1), 0xFE00), Status::converted, pixel32},
    {with(rgba_fields(32, 4, 4, 1), 0xFC00), Status::converted, pixel32},
    {with(rgba_fields(32, 4, 4, 1), 0x7E00), Status::unsupported_type},
    {with(rgba_fields(32, 4, 4, 1), 0x200000), Status::unsupported_type},
    {with(rgba_fields(32, 4, 4, 1), 0, 0x8A1007, 2), Status::unsupported_type},
    {with(rgba_fields(32, 4, 4, 1), 0, 0x8A1007, 1), Status::converted, pixel32},
    {with(rgba_fields(32, 4, 4, 1), 0, 0xA1007, 6), Status::converted, pixel32},
    {with(rgba_fields(32, 4, 4, 1), 0xFE00), Status::truncated, std::nullopt, 383},
    // Texture types of the DX10 extension; the legacy caps2 is not read.
    {dx10_shape(2, 1), Status::converted, pixel32},
    {dx10_shape(3, 1, 0x4), Status::converted, pixel32},
    {dx10_shape(3, 1, 0x4), Status::truncated, std::nullopt, 383},
    {with(dx10_shape(3, 1), 0x200000, 0x8A1007, 4), Status::converted, pixel32},
    {dx10_shape(4, 1), Status::unsupported_type},
    {dx10_shape(1, 1), Status::unsupported_type},
    {dx10_shape(3, 2), Status::unsupported_type},
    {dx10_shape(3, 0, 0x4), Status::unsupported_type},
    // The order of the checks: recognition, type, size, payload.
    {with({4, 4, 1, {}, 0x40, 24}, 0x200000), Status::unknown_format},
    {with(rgba_fields(32, -4, 4, 1), 0x200000), Status::unsupported_type},
    {rgba_fields(32, 0, 4, 1), Status::unsupported_size},
    {rgba_fields(32, 4, -4, 1), Status::unsupported_size},
    {dxt_fields("DXT1", -512, -512, 1), Status::unsupported_size},
    {rgba_fields(32, 6, 4, 1), Status::unsupported_size},
    {luminance_fields(4, 12, 1), Status::unsupported_size},
    {rgba_fields(32, 32768, 16384, 1), Status::unsupported_size},
    {dxt_fields("DXT5", 0x7FFFFFFF, 0x7FFFFFFF, 1), Status::unsupported_size},
    {rgba_fields(32, 4, 4, 1), Status::truncated, std::nullopt, 63},
    {rgba_fields(32, 4, 4, 3), Status::truncated, std::nullopt, 64 + 16},
    {rgba_fields(32, 4, 4, 3), Status::converted, pixel32, 64 + 16 + 4},
    {dxt_fields("DXT1", 512, 256, 1), Status::truncated, std::nullopt, 0xFFFF},
    {dxt_fields("DXT1", 640, 480, 1), Status::converted, block8, 640 * 480 / 2},
    {dxt_fields("DXT5", 6, 3, 1), Status::converted, block16, 18},
    {rgba_fields(16, 1, 1, 200), Status::converted, pixel16, 2},
    {rgba_fields(32, 2048, 1024, 1), Status::converted, pixel32, 8 << 20},  // buffers on huge pages
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

// Each header through the file on disk: the verdict, the class, and either
// the file untouched or converted as the image in memory is.
void expect_verdict(const std::vector<std::byte>& file, Status status, std::optional<FormatClass> format,
                    const std::string& what) {
    const TexturePlan plan = plan_texture_conversion(file, file.size());
    EXPECT_EQ(plan.status, status) << what;
    EXPECT_EQ(format.value_or(plan.format), plan.format) << what;
    const ScratchFolder folder;
    write_file(folder / "t.dds", file);
    EXPECT_EQ(convert_texture_file(folder / "t.dds", Direction::swizzle), status) << what;
    std::vector<std::byte> expected = file;
    if (status == Status::converted) expected = convert_image(file, Direction::swizzle);
    EXPECT_EQ(read_file(folder / "t.dds"), expected) << what;
}

TEST(RecogniseTexture, EveryRowAndTypeInCheckOrder) {
    int row = 0;
    for (const HeaderCase& c : header_cases) {
        expect_verdict(make_texture(c.fields, c.payload), c.status, c.format, "row " + std::to_string(++row));
    }
    for (const auto& [dxgi, format] : dxgi_cases) {
        expect_verdict(make_texture(dx10_fields(dxgi, 4, 4, 1), 64), format ? Status::converted : Status::unknown_format,
                       format, "DXGI format " + std::to_string(dxgi));
    }
    std::vector<std::byte> bad = make_texture(rgba_fields(32, 4, 4, 1), 64);
    put_u32(bad, 4, 100);
    expect_verdict(bad, Status::not_a_texture, {}, "header size not 124");
    bad[4] = std::byte{124};
    bad[3] = std::byte{'X'};
    expect_verdict(bad, Status::not_a_texture, {}, "magic");
    const std::vector<std::byte> header = make_header(dx10_fields(28, 4, 4, 1));
    for (const std::size_t length : {std::size_t{0}, std::size_t{127}, std::size_t{128}, std::size_t{147}}) {
        expect_verdict({header.begin(), header.begin() + static_cast<std::ptrdiff_t>(length)}, Status::not_a_texture, {},
                       std::to_string(length) + " bytes of a DX10 header");
    }
}

TEST(TextureLevelChain, CountIsTheSignedLowByteWithOneForZeroOrLess) {
    const std::pair<std::uint32_t, std::int32_t> cases[] = {
        {0, 1}, {1, 1}, {10, 10}, {127, 127}, {128, 1}, {200, 1}, {255, 1}, {256, 1}, {0x105, 5},
    };
    for (const auto& [field, expected] : cases) {
        const LevelChain chain = texture_level_chain(read_texture_header(make_header({64, 32, field, {}, 0x41, 32})));
        EXPECT_EQ(std::tuple(chain.width, chain.height, chain.level_count), std::tuple(64, 32, expected)) << field;
    }
}

TEST(SwapWords, SwapsPairsAndLeavesOddByte) {
    std::vector<std::byte> bytes{std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}, std::byte{5}};
    swap_16bit_words(bytes);
    EXPECT_EQ(bytes, (std::vector<std::byte>{std::byte{2}, std::byte{1}, std::byte{4}, std::byte{3}, std::byte{5}}));
}

// Every class and many shapes, with legacy and DX10 headers: swiz then
// unswiz, and unswiz then swiz, restore the file byte for byte, and swiz
// keeps the header and gives the bit-by-bit rule (then the 16-bit swap over
// the whole payload).
TEST(ConvertTextureImage, RoundTripsEveryClassAndShape) {
    struct Shape {
        std::int32_t width, height;
        std::uint32_t levels;
    };
    const Shape pixel_shapes[] = {{1, 1, 1}, {4, 2, 3}, {2, 4, 3}, {64, 64, 7}, {256, 128, 9}, {1, 64, 7},
                                  {128, 1, 8}, {32, 8, 6}, {16, 16, 0}, {512, 512, 10}};
    const Shape block_shapes[] = {{4, 4, 1},     {512, 256, 10}, {512, 512, 10}, {256, 256, 9},  {640, 480, 10},
                                  {512, 384, 1}, {2048, 4, 12},  {1024, 1024, 11}, {8, 8, 4},    {6, 10, 2}};
    std::uint32_t seed = 4000;
    auto check = [&](const TextureFields& fields, FormatClass format, std::size_t extra) {
        const std::uint32_t levels = std::max<std::uint32_t>(fields.mip_count, 1);
        const std::size_t payload = stored_payload_size(fields.width, fields.height, levels, element_bytes(format),
                                                        is_block_class(format)) + extra;
        const std::vector<std::byte> file = make_texture(fields, payload, ++seed);
        const auto header = static_cast<std::ptrdiff_t>(file.size() - payload);
        SCOPED_TRACE(::testing::Message() << fields.width << "x" << fields.height << " levels " << fields.mip_count
                                          << " class " << static_cast<int>(format) << " header " << header);
        const std::vector<std::byte> swizzled = convert_image(file, Direction::swizzle);
        EXPECT_EQ(convert_image(swizzled, Direction::unswizzle), file);
        EXPECT_EQ(convert_image(convert_image(file, Direction::unswizzle), Direction::swizzle), file);

        const LevelChain chain{fields.width, fields.height, static_cast<std::int32_t>(levels)};
        const std::vector<std::byte> payload_bytes(file.begin() + header, file.end());
        std::vector<std::byte> expected =
            is_block_class(format) ? oracle_block_levels(element_bytes(format), chain, payload_bytes, Direction::swizzle)
                                   : oracle_pixel_levels(element_bytes(format), chain, payload_bytes, Direction::swizzle);
        if (format == pixel16) swap_16bit_words(expected);
        expected.insert(expected.begin(), file.begin(), file.begin() + header);
        EXPECT_EQ(swizzled, expected);
    };
    for (const Shape& s : pixel_shapes) {
        check(rgba_fields(32, s.width, s.height, s.levels), pixel32, 0);
        // An odd payload length leaves the last byte of a 16-bit texture unpaired.
        check(rgba_fields(16, s.width, s.height, s.levels), pixel16, 1);
        check(luminance_fields(s.width, s.height, s.levels), luminance8, 0);
        check(dx10_fields(87, s.width, s.height, s.levels), pixel32, 3);
    }
    for (const Shape& s : block_shapes) {
        check(dxt_fields("DXT1", s.width, s.height, s.levels), block8, 0);
        check(dxt_fields("DXT3", s.width, s.height, s.levels), block16, 0);
        check(dxt_fields("DXT5", s.width, s.height, s.levels), block16, 3);
        check(dx10_fields(71, s.width, s.height, s.levels), block8, 5);
    }
}

// A cube map is six 2D textures one after another: each face converts
// exactly as a file holding only that face would, and the bytes after the
// sixth face are not moved (the 16-bit swap still runs over them).
TEST(ConvertTextureImage, CubeMapFacesConvertAsTheirOwnTextures) {
    const std::pair<TextureFields, FormatClass> cubes[] = {
        {with(dxt_fields("DXT1", 512, 256, 10), 0xFE00), block8},  // top level of 8192 blocks: tiled
        {dx10_fields(77, 512, 256, 2, 0x4), block16},
        {with(rgba_fields(32, 32, 8, 6), 0xFE00), pixel32},
        {with(TextureFields{16, 64, 7, {}, 0x40, 16}, 0xFE00), pixel16},
        {dx10_fields(61, 8, 8, 4, 0x4), luminance8},
    };
    std::uint32_t seed = 70;
    for (const auto& [fields, format] : cubes) {
        const std::size_t face = stored_payload_size(fields.width, fields.height, fields.mip_count,
                                                     element_bytes(format), is_block_class(format));
        const std::vector<std::byte> file = make_texture(fields, 6 * face + 5, ++seed);
        const std::size_t header = file.size() - 6 * face - 5;
        TextureFields flat = fields;
        flat.caps2 = 0;
        flat.dx10[2] = 0;
        for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
            const std::vector<std::byte> converted = convert_image(file, direction);
            for (std::size_t f = 0; f < 6; ++f) {
                const auto start = static_cast<std::ptrdiff_t>(header + f * face);
                std::vector<std::byte> single = make_header(flat);
                single.insert(single.end(), file.begin() + start, file.begin() + start + static_cast<std::ptrdiff_t>(face));
                const std::vector<std::byte> single_converted = convert_image(single, direction);
                EXPECT_NE(single_converted, single) << "face " << f;
                EXPECT_TRUE(std::equal(single_converted.begin() + static_cast<std::ptrdiff_t>(header),
                                       single_converted.end(), converted.begin() + start))
                    << "face " << f << " of class " << static_cast<int>(format);
            }
            std::vector<std::byte> tail(file.end() - 5, file.end());
            if (format == pixel16) swap_16bit_words(tail);
            EXPECT_TRUE(std::equal(tail.begin(), tail.end(), converted.end() - 5)) << static_cast<int>(format);
            EXPECT_EQ(convert_image(converted, direction == Direction::swizzle ? Direction::unswizzle
                                                                               : Direction::swizzle),
                      file);
        }
    }
}

}  // namespace
}  // namespace ddsswizzle
