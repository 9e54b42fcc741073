// DDS headers written for surfaces, through the public interface: worked
// headers and the pixel format of every legacy one; every format, both
// header kinds, 2D, cube map and volume, read back as the same surface and
// checked as info checks a file; every refusal, writing nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "ddsswizzle/ddsswizzle.hpp"

namespace ddsswizzle {
namespace {

std::uint32_t word(std::span<const std::byte> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

constexpr std::uint32_t four_cc(const char (&text)[5]) {
    return std::uint32_t(text[0]) | std::uint32_t(text[1]) << 8 | std::uint32_t(text[2]) << 16 | std::uint32_t(text[3]) << 24;
}

// Headers whose every 32-bit word after "DDS " and 124 is given (0 if not
// listed): 8 x 8 A8R8G8B8 with 2 levels, and a DX10 BC5 volume (linear size
// of one slice).
TEST(DdsHeader, WorkedBytes) {
    const std::pair<Surface, std::map<std::size_t, std::uint32_t>> worked[] = {
        {{87, 8, 8, 1, 2}, {{8, 0x2100F}, {12, 8}, {16, 8}, {20, 32}, {24, 1}, {28, 2}, {76, 32}, {80, 0x41}, {88, 32},
                            {92, 0xFF0000}, {96, 0xFF00}, {100, 0xFF}, {104, 0xFF000000}, {108, 0x401008}}},
        {{83, 8, 8, 2, 1}, {{8, 0x8A1007}, {12, 8}, {16, 8}, {20, 64}, {24, 2}, {28, 1}, {76, 32}, {80, 4}, {84, four_cc("DX10")},
                            {108, 0x1008}, {112, 0x200000}, {128, 83}, {132, 4}, {140, 1}}}};
    for (auto [surface, words] : worked) {
        std::array<std::byte, 148> buffer{};
        std::size_t written = 0;
        ASSERT_EQ(dds_header(surface, !words.contains(128), buffer, written), Status::ok);
        ASSERT_EQ(written, words.contains(128) ? 148U : 128U);
        words.insert({{0, four_cc("DDS ")}, {4, 124}});
        for (std::size_t at = 0; at < written; at += 4) EXPECT_EQ(word(buffer, at), words[at]) << surface.format << " at " << at;
    }
}

// The legacy pixel formats: flags, FourCC, bit count, red, green, blue and
// alpha masks (bytes 80 to 107). Every other format gets the DX10 extension.
const std::map<std::uint32_t, std::array<std::uint32_t, 7>> legacy_formats = {
    {71, {4, four_cc("DXT1")}}, {74, {4, four_cc("DXT3")}}, {77, {4, four_cc("DXT5")}}, {80, {4, four_cc("ATI1")}},
    {83, {4, four_cc("ATI2")}}, {10, {4, 113}}, {2, {4, 116}}, {41, {4, 114}}, {88, {0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}},
    {87, {0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}}, {28, {0x41, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
    {85, {0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0}}, {86, {0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000}}, {56, {0x20000, 0, 16, 0xFFFF}},
    {115, {0x41, 0, 16, 0xF00, 0xF0, 0xF, 0xF000}}, {61, {0x20000, 0, 8, 0xFF}}, {49, {0x20001, 0, 16, 0xFF, 0, 0, 0xFF00}},
    {65, {0x2, 0, 8, 0, 0, 0, 0xFF}}};

// Every DXGI number: a header for each format a console converts, none for
// the others; read back as the surface it was written for, payload where it
// says; a file of it and the linear levels refused by the checks info makes
// only as the surface is (a volume on the Xbox 360 ...).
TEST(DdsHeader, EveryFormatReadBackAs2DCubeMapAndVolume) {
    for (std::uint32_t format = 0; format < 140; ++format) {
        for (const bool legacy : {true, false}) {
            for (Surface surface : {Surface{format, 8, 4, 1, 3}, Surface{format, 8, 8, 1, 4, true}, Surface{format, 4, 4, 2, 3}}) {
                SCOPED_TRACE(::testing::Message() << format << (legacy ? " legacy, depth " : " DX10, depth ") << surface.depth << " cube " << surface.cube);
                std::vector<std::byte> file(148);
                std::size_t written = 0;
                const bool stored = check(surface, Console::ps3) != Status::unknown_format || check(surface, Console::x360) != Status::unknown_format;
                ASSERT_EQ(dds_header(surface, legacy, file, written), stored ? Status::ok : Status::unknown_format);
                if (!stored) continue;
                const auto pixel_format = legacy ? legacy_formats.find(format) : legacy_formats.end();
                ASSERT_EQ(written, pixel_format != legacy_formats.end() ? 128U : 148U);
                for (std::size_t i = 0; written == 128 && i < 7; ++i) EXPECT_EQ(word(file, 80 + 4 * i), pixel_format->second[i]) << i;
                file.resize(written);
                DdsInfo info;
                ASSERT_EQ(read_dds(file, info), Status::ok);
                const Surface& s = info.surface;
                EXPECT_EQ(std::tuple(s.format, s.width, s.height, s.depth, s.levels, s.cube, info.volume, info.payload_offset),
                          std::tuple(format, surface.width, surface.height, surface.depth, surface.levels, surface.cube, surface.depth > 1, written));
                for (const Console console : {Console::ps3, Console::x360}) {
                    std::uint64_t linear = 0, image = 0, converted = 0;
                    const Status expected = sizes(surface, console, linear, image);
                    file.resize(written + linear);
                    EXPECT_EQ(check_dds(file, file.size(), console, Direction::swizzle, converted), expected) << int(console);
                }
            }
        }
    }
}

// Refusals write nothing, neither the buffer nor the length; the limits
// around them are written. (Null pointers: c_api_test.c.)
TEST(DdsHeader, RefusalsWriteNothing) {
    using enum Status;
    struct Case { Surface surface; Status status; std::size_t size = 148; bool legacy = true; };
    const Case cases[] = {
        {{98, 4, 4}, unknown_format}, {{0, 4, 4}, unknown_format}, {{87, 4, 4, 2, 1, true}, unsupported_texture_type},
        {{87, 0, 4}, unsupported_size}, {{87, 4, 0}, unsupported_size}, {{87, 4, -4}, unsupported_size}, {{87, 4, 4, 0}, unsupported_size},
        {{87, 8, 4, 1, 0}, unsupported_size}, {{87, 8, 4, 1, 5}, unsupported_size}, {{87, 8, 4, 1, 4}, ok}, {{87, 2, 2, 16, 5}, ok},
        {{87, 0x20000000, 1}, unsupported_size}, {{87, 0x1FFFFFFF, 1}, ok},  // a row of 2 GiB, of 4 bytes less
        {{71, 65536, 65536}, unsupported_size}, {{71, 65536, 65532}, ok},  // a level of 2 GiB of blocks, of one row less
        {{87, 4, 4}, invalid_argument, 127}, {{87, 4, 4}, ok, 128}, {{87, 4, 4}, invalid_argument, 147, false}};
    for (const Case& c : cases) {
        std::array<std::byte, 148> buffer{};
        buffer.fill(std::byte{0xA5});
        std::size_t written = 99;
        EXPECT_EQ(dds_header(c.surface, c.legacy, std::span(buffer).first(c.size), written), c.status) << &c - cases;
        EXPECT_TRUE(c.status == ok || (written == 99 && std::ranges::count(buffer, std::byte{0xA5}) == 148)) << &c - cases;
    }
}

}  // namespace
}  // namespace ddsswizzle
