// Header fields, classification, validation and whole-image conversion.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "support/oracles.h"
#include "support/texture_builder.h"
#include "texture/texture_file.h"

namespace ddsswizzle {
namespace {

using testing::dxt_fields;
using testing::luminance_fields;
using testing::make_header;
using testing::make_texture;
using testing::put_u32;
using testing::rgba_fields;
using testing::stored_payload_size;
using testing::TextureFields;

TextureHeader header_of(const std::vector<std::byte>& bytes) {
    return read_texture_header(std::span<const std::byte, texture_header_size>(bytes.data(), texture_header_size));
}

TEST(TextureHeader, ReadsFieldsAtTheirOffsetsLittleEndian) {
    std::vector<std::byte> bytes = make_header(TextureFields{0x01020304, -5, 0x12345683, "DXT3", 0x00020041, 0x120});
    const TextureHeader header = header_of(bytes);
    EXPECT_TRUE(has_texture_signature(header));
    EXPECT_EQ(header.width, 0x01020304);
    EXPECT_EQ(header.height, -5);
    EXPECT_EQ(header.mip_count_low, static_cast<std::int8_t>(0x83));
    EXPECT_EQ(header.format_flags_low, 0x41);
    EXPECT_EQ(header.format_flags_third, 0x02);
    EXPECT_EQ(std::string(header.four_cc.data(), 4), "DXT3");
    EXPECT_EQ(header.bit_count_low, 0x20);
}

TEST(TextureHeader, SignatureNeedsMagicAndSize124) {
    std::vector<std::byte> bytes = make_header({});
    EXPECT_TRUE(has_texture_signature(header_of(bytes)));
    put_u32(bytes, 4, 123);
    EXPECT_FALSE(has_texture_signature(header_of(bytes)));
    bytes = make_header({});
    bytes[3] = std::byte{'X'};
    EXPECT_FALSE(has_texture_signature(header_of(bytes)));
}

TEST(ClassifyTexture, FirstMatchingRuleWins) {
    struct Case {
        TextureFields fields;
        std::optional<FormatClass> expected;
        const char* what;
    };
    const Case cases[] = {
        {{4, 4, 1, "DXT5", 0x4, 0}, FormatClass::block16, "DXT5"},
        {{4, 4, 1, "DXT3", 0x4, 0}, FormatClass::block16, "DXT3"},
        {{4, 4, 1, "DXT1", 0x4, 0}, FormatClass::block8, "DXT1"},
        {{4, 4, 1, "DXT5", 0x41, 32}, FormatClass::block16, "FourCC beats RGB flags"},
        {{4, 4, 1, {}, 0x41, 32}, FormatClass::pixel32, "RGBA 32"},
        {{4, 4, 1, {}, 0x141, 32}, FormatClass::pixel32, "only the low flags byte counts"},
        {{4, 4, 1, {}, 0x41, 0x120}, FormatClass::pixel32, "only the low bit-count byte counts"},
        {{4, 4, 1, {}, 0x41, 16}, FormatClass::pixel16, "RGBA 16"},
        {{4, 4, 1, {}, 0x40, 32}, std::nullopt, "RGB without alpha"},
        {{4, 4, 1, {}, 0x20000, 8}, FormatClass::luminance8, "luminance 8"},
        {{4, 4, 1, {}, 0x20001, 8}, FormatClass::luminance8, "luminance with alpha flag"},
        {{4, 4, 1, {}, 0x20041, 8}, FormatClass::luminance8, "0x41 with 8 bits goes on to the luminance rule"},
        {{4, 4, 1, {}, 0x20000, 16}, std::nullopt, "luminance 16"},
        {{4, 4, 1, "DXT2", 0x4, 0}, std::nullopt, "other FourCC"},
        {{4, 4, 1, "dxt1", 0x4, 0}, std::nullopt, "FourCC is case-sensitive"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(classify_texture(header_of(make_header(c.fields))), c.expected) << c.what;
    }
}

TEST(TextureLevelChain, CountIsTheSignedLowByteWithOneForZeroOrLess) {
    const std::pair<std::uint32_t, std::int32_t> cases[] = {
        {0, 1}, {1, 1}, {10, 10}, {127, 127}, {128, 1}, {200, 1}, {255, 1}, {256, 1}, {0x105, 5},
    };
    for (const auto& [field, expected] : cases) {
        const LevelChain chain = texture_level_chain(header_of(make_header(TextureFields{64, 32, field, {}, 0x41, 32})));
        EXPECT_EQ(chain.level_count, expected) << field;
        EXPECT_EQ(chain.width, 64);
        EXPECT_EQ(chain.height, 32);
    }
}

TEST(PlanTextureConversion, ChecksInOrder) {
    struct Case {
        std::vector<std::byte> file;
        ConversionStatus expected;
        const char* what;
    };
    auto with = [](TextureFields fields, std::size_t payload) { return make_texture(fields, payload); };
    std::vector<std::byte> bad_size_field = with(rgba_fields(32, 4, 4, 1), 64);
    put_u32(bad_size_field, 4, 100);
    std::vector<std::byte> header_127 = make_header(rgba_fields(32, 4, 4, 1));
    header_127.pop_back();
    const Case cases[] = {
        {{}, ConversionStatus::not_a_texture, "empty file"},
        {header_127, ConversionStatus::not_a_texture, "127 bytes"},
        {bad_size_field, ConversionStatus::not_a_texture, "header size not 124"},
        {with(TextureFields{4, 4, 1, {}, 0x40, 32}, 64), ConversionStatus::unknown_format, "no class"},
        {with(TextureFields{-4, 4, 1, {}, 0x40, 32}, 0), ConversionStatus::unknown_format, "class before size"},
        {with(rgba_fields(32, 0, 4, 1), 64), ConversionStatus::unsupported_size, "width 0"},
        {with(rgba_fields(32, 4, -4, 1), 64), ConversionStatus::unsupported_size, "negative height"},
        {with(dxt_fields("DXT1", -512, -512, 1), 1 << 20), ConversionStatus::unsupported_size, "both negative"},
        {with(rgba_fields(32, 6, 4, 1), 96), ConversionStatus::unsupported_size, "pixel side not a power of two"},
        {with(luminance_fields(4, 12, 1), 48), ConversionStatus::unsupported_size, "luminance side not a power of two"},
        {with(rgba_fields(32, 32768, 16384, 1), 0), ConversionStatus::unsupported_size, "top level of 2 GiB"},
        {with(dxt_fields("DXT5", 0x7FFFFFFF, 0x7FFFFFFF, 1), 0), ConversionStatus::unsupported_size, "huge sides"},
        {with(rgba_fields(32, 16384, 32768, 1), 0), ConversionStatus::unsupported_size, "2^31 bytes"},
        {with(rgba_fields(32, 4, 4, 1), 63), ConversionStatus::truncated, "one byte short"},
        {with(rgba_fields(32, 4, 4, 3), 64 + 16), ConversionStatus::truncated, "chain one byte short"},
        {with(dxt_fields("DXT1", 512, 256, 1), 0xFFFF), ConversionStatus::truncated, "tiled level one byte short"},
        {with(rgba_fields(32, 4, 4, 3), 64 + 16 + 4), ConversionStatus::converted, "exact chain"},
        {with(rgba_fields(32, 4, 4, 1), 1000), ConversionStatus::converted, "payload longer than counted"},
        {with(dxt_fields("DXT1", 640, 480, 1), 640 * 480 / 2), ConversionStatus::converted, "block sides need not be powers of two"},
        {with(dxt_fields("DXT5", 6, 3, 1), 18), ConversionStatus::converted, "odd block sides"},
        {with(rgba_fields(16, 1, 1, 200), 2), ConversionStatus::converted, "count byte -56 means one level"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plan_texture_conversion(c.file, c.file.size()).status, c.expected) << c.what;
    }
}

TEST(SwapWords, SwapsPairsAndLeavesOddByte) {
    std::vector<std::byte> bytes{std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}, std::byte{5}};
    swap_16bit_words(bytes);
    EXPECT_EQ(bytes, (std::vector<std::byte>{std::byte{2}, std::byte{1}, std::byte{4}, std::byte{3}, std::byte{5}}));
    std::vector<std::byte> empty;
    swap_16bit_words(empty);
    EXPECT_TRUE(empty.empty());
}

std::vector<std::byte> convert_image(const std::vector<std::byte>& file, Direction direction) {
    std::vector<std::byte> converted(file.size());
    EXPECT_EQ(convert_texture_image(file, converted, direction), ConversionStatus::converted);
    return converted;
}

TEST(ConvertTextureImage, Pixel16IsWalkedThenByteSwappedOverTheWholePayload) {
    // 2 x 2, one level, plus one odd trailing byte.
    std::vector<std::byte> file = make_header(rgba_fields(16, 2, 2, 1));
    for (int i = 0; i < 9; ++i) file.push_back(static_cast<std::byte>(0x10 + i));
    const std::vector<std::byte> swizzled = convert_image(file, Direction::swizzle);
    // Morton order of 2 x 2: (0,0) (1,0) (0,1) (1,1), the same as linear.
    const std::vector<std::byte> expected_payload{std::byte{0x11}, std::byte{0x10}, std::byte{0x13}, std::byte{0x12},
                                                  std::byte{0x15}, std::byte{0x14}, std::byte{0x17}, std::byte{0x16},
                                                  std::byte{0x18}};
    EXPECT_EQ(std::vector<std::byte>(swizzled.begin() + 128, swizzled.end()), expected_payload);
}

TEST(ConvertTextureImage, LuminanceIsConvertedInMortonOrder) {
    std::vector<std::byte> file = make_header(luminance_fields(4, 2, 1));
    for (int i = 0; i < 8; ++i) file.push_back(static_cast<std::byte>(i));
    const std::vector<std::byte> swizzled = convert_image(file, Direction::swizzle);
    // Linear pixel l goes to Morton position m: (2,0) -> 4, (0,1) -> 2 ...
    const std::vector<std::byte> expected{std::byte{0}, std::byte{1}, std::byte{4}, std::byte{5},
                                          std::byte{2}, std::byte{3}, std::byte{6}, std::byte{7}};
    EXPECT_EQ(std::vector<std::byte>(swizzled.begin() + 128, swizzled.end()), expected);
}

TEST(ConvertTextureImage, RefusedImageLeavesOutputUntouched) {
    const std::vector<std::byte> file = make_texture(rgba_fields(32, 6, 6, 1), 144);
    std::vector<std::byte> converted(file.size(), std::byte{0x5A});
    EXPECT_EQ(convert_texture_image(file, converted, Direction::swizzle), ConversionStatus::unsupported_size);
    EXPECT_EQ(converted, std::vector<std::byte>(file.size(), std::byte{0x5A}));
}

// Every class and many shapes: swiz then unswiz, and unswiz then swiz,
// restore the file byte for byte, the header never changes, and the payload
// matches the bit-by-bit rule.
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
    auto check = [&](const TextureFields& fields, std::size_t payload, FormatClass format) {
        const std::vector<std::byte> file = make_texture(fields, payload, ++seed);
        SCOPED_TRACE(::testing::Message() << fields.width << "x" << fields.height << " levels " << fields.mip_count
                                          << " class " << static_cast<int>(format));
        const std::vector<std::byte> swizzled = convert_image(file, Direction::swizzle);
        const std::vector<std::byte> unswizzled = convert_image(file, Direction::unswizzle);
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + 128, swizzled.begin()));
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + 128, unswizzled.begin()));
        EXPECT_EQ(convert_image(swizzled, Direction::unswizzle), file);
        EXPECT_EQ(convert_image(unswizzled, Direction::swizzle), file);

        const LevelChain chain = texture_level_chain(header_of(file));
        const std::vector<std::byte> payload_bytes(file.begin() + 128, file.end());
        std::vector<std::byte> expected =
            is_block_class(format)
                ? testing::oracle_block_levels(element_bytes(format), chain, payload_bytes, Direction::swizzle)
                : testing::oracle_pixel_levels(element_bytes(format), chain, payload_bytes, Direction::swizzle);
        if (format == FormatClass::pixel16) swap_16bit_words(expected);
        EXPECT_EQ(std::vector<std::byte>(swizzled.begin() + 128, swizzled.end()), expected);
    };
    for (const Shape& s : pixel_shapes) {
        const std::uint32_t levels = std::max<std::uint32_t>(s.levels, 1);
        check(rgba_fields(32, s.width, s.height, s.levels), stored_payload_size(s.width, s.height, levels, 4, false),
              FormatClass::pixel32);
        // An odd payload length leaves the last byte of a 16-bit texture unpaired.
        check(rgba_fields(16, s.width, s.height, s.levels), stored_payload_size(s.width, s.height, levels, 2, false) + 1,
              FormatClass::pixel16);
        check(luminance_fields(s.width, s.height, s.levels), stored_payload_size(s.width, s.height, levels, 1, false),
              FormatClass::luminance8);
    }
    for (const Shape& s : block_shapes) {
        check(dxt_fields("DXT1", s.width, s.height, s.levels), stored_payload_size(s.width, s.height, s.levels, 8, true),
              FormatClass::block8);
        check(dxt_fields("DXT3", s.width, s.height, s.levels), stored_payload_size(s.width, s.height, s.levels, 16, true),
              FormatClass::block16);
        check(dxt_fields("DXT5", s.width, s.height, s.levels),
              stored_payload_size(s.width, s.height, s.levels, 16, true) + 3, FormatClass::block16);
    }
}

}  // namespace
}  // namespace ddsswizzle
