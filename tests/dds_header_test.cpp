// DDS headers written for surfaces, through the public interface: the bytes
// of a few worked headers and the pixel format of every legacy one; every
// format, both header kinds, 2D, cube map and volume, read back as the same
// surface and checked as info checks a file; every refusal, writing nothing.
#include <gtest/gtest.h>

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

// Headers whose every 32-bit word is given (the words not listed are 0),
// after "DDS " and the size 124. From the first: 8 x 8 A8R8G8B8 with 2
// levels; 64 x 64 DXT1 with 7 levels; a cube map of a format with no legacy
// header; a legacy L16 volume; a DX10 BC5 volume (linear size of one slice).
struct Worked { Surface surface; bool legacy; std::map<std::size_t, std::uint32_t> words; };
const Worked worked[] = {
    {{87, 8, 8, 1, 2}, true, {{8, 0x2100F}, {12, 8}, {16, 8}, {20, 32}, {24, 1}, {28, 2}, {76, 32}, {80, 0x41}, {88, 32},
                              {92, 0xFF0000}, {96, 0xFF00}, {100, 0xFF}, {104, 0xFF000000}, {108, 0x401008}}},
    {{71, 64, 64, 1, 7}, true, {{8, 0xA1007}, {12, 64}, {16, 64}, {20, 2048}, {24, 1}, {28, 7}, {76, 32}, {80, 4},
                                {84, four_cc("DXT1")}, {108, 0x401008}}},
    {{29, 16, 16, 1, 1, true}, true, {{8, 0x2100F}, {12, 16}, {16, 16}, {20, 64}, {24, 1}, {28, 1}, {76, 32}, {80, 4},
                                      {84, four_cc("DX10")}, {108, 0x1008}, {112, 0xFE00}, {128, 29}, {132, 3}, {136, 4}, {140, 1}}},
    {{56, 4, 2, 8, 4}, true, {{8, 0x82100F}, {12, 2}, {16, 4}, {20, 8}, {24, 8}, {28, 4}, {76, 32}, {80, 0x20000}, {88, 16},
                              {92, 0xFFFF}, {108, 0x401008}, {112, 0x200000}}},
    {{83, 8, 8, 2, 1}, false, {{8, 0x8A1007}, {12, 8}, {16, 8}, {20, 64}, {24, 2}, {28, 1}, {76, 32}, {80, 4},
                               {84, four_cc("DX10")}, {108, 0x1008}, {112, 0x200000}, {128, 83}, {132, 4}, {140, 1}}},
};

TEST(DdsHeader, WorkedBytes) {
    for (const Worked& w : worked) {
        std::array<std::byte, 148> buffer{};
        std::size_t written = 0;
        ASSERT_EQ(dds_header(w.surface, w.legacy, buffer, written), Status::ok);
        ASSERT_EQ(written, w.words.contains(128) ? 148U : 128U);
        std::map<std::size_t, std::uint32_t> words = w.words;
        words.insert({{0, four_cc("DDS ")}, {4, 124}});
        for (std::size_t at = 0; at < written; at += 4) EXPECT_EQ(word(buffer, at), words[at]) << "format " << w.surface.format << ", byte " << at;
    }
}

// The legacy pixel formats: flags, FourCC, bit count, red, green, blue and
// alpha masks (bytes 80 to 107). Every other format gets the DX10 extension.
const std::map<std::uint32_t, std::array<std::uint32_t, 7>> legacy_formats = {
    {71, {4, four_cc("DXT1")}}, {74, {4, four_cc("DXT3")}}, {77, {4, four_cc("DXT5")}}, {80, {4, four_cc("ATI1")}},
    {83, {4, four_cc("ATI2")}}, {10, {4, 113}},                {2, {4, 116}},              {41, {4, 114}},
    {87, {0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}},  {88, {0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}},
    {28, {0x41, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}},  {85, {0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0}},
    {86, {0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000}},         {115, {0x41, 0, 16, 0xF00, 0xF0, 0xF, 0xF000}},
    {61, {0x20000, 0, 8, 0xFF, 0, 0, 0}},                      {49, {0x20001, 0, 16, 0xFF, 0, 0, 0xFF00}},
    {56, {0x20000, 0, 16, 0xFFFF, 0, 0, 0}},                   {65, {0x2, 0, 8, 0, 0, 0, 0xFF}},
};

// Every DXGI number: a header for each format the library stores (the ones a
// console converts), none for the others; read back as the surface it was
// written for, with the payload where it says; and a file of that header and
// the linear levels is refused by the checks info makes only as the surface
// is (a volume on the Xbox 360 ...).
TEST(DdsHeader, EveryFormatReadBackAs2DCubeMapAndVolume) {
    const Surface shapes[] = {{0, 8, 4, 1, 3}, {0, 8, 8, 1, 4, true}, {0, 4, 4, 2, 3}};
    for (std::uint32_t format = 0; format < 140; ++format) {
        for (const bool legacy : {true, false}) {
            for (Surface surface : shapes) {
                surface.format = format;
                SCOPED_TRACE(::testing::Message() << "format " << format << (legacy ? ", legacy" : ", DX10") << ", depth "
                                                  << surface.depth << (surface.cube ? ", cube map" : ""));
                std::vector<std::byte> file(148);
                std::size_t written = 0;
                const Status status = dds_header(surface, legacy, file, written);
                const bool stored = check(surface, Console::ps3) != Status::unknown_format || check(surface, Console::x360) != Status::unknown_format;
                ASSERT_EQ(status, stored ? Status::ok : Status::unknown_format);
                if (!stored) continue;
                const auto pixel_format = legacy_formats.find(format);
                const bool legacy_header = legacy && pixel_format != legacy_formats.end();
                ASSERT_EQ(written, legacy_header ? 128U : 148U);
                for (std::size_t i = 0; legacy_header && i < 7; ++i) EXPECT_EQ(word(file, 80 + 4 * i), pixel_format->second[i]) << i;
                file.resize(written);
                DdsInfo info;
                ASSERT_EQ(read_dds(file, info), Status::ok);
                EXPECT_EQ(std::tuple(info.surface.format, info.surface.width, info.surface.height, info.surface.depth, info.surface.levels,
                                     info.surface.cube, info.volume, info.payload_offset),
                          std::tuple(format, surface.width, surface.height, surface.depth, surface.levels, surface.cube,
                                     surface.depth > 1, std::uint32_t(written)));
                for (const Console console : {Console::ps3, Console::x360}) {
                    std::uint64_t linear = 0, image = 0, converted = 0;
                    const Status expected = sizes(surface, console, linear, image);
                    std::vector<std::byte> whole = file;
                    whole.resize(written + linear);
                    EXPECT_EQ(check_dds(whole, whole.size(), console, Direction::swizzle, converted), expected) << int(console);
                }
            }
        }
    }
}

// Refusals write nothing, neither the buffer nor the length; the limits
// around them are written.
TEST(DdsHeader, RefusalsWriteNothing) {
    using enum Status;
    struct Case { Surface surface; Status status; std::size_t size = 148; bool legacy = true; };
    const Case cases[] = {
        {{98, 4, 4}, unknown_format},                                 // BC7: no storage known
        {{0, 4, 4}, unknown_format},
        {{87, 4, 4, 2, 1, true}, unsupported_texture_type},           // a cube map that is a volume
        {{87, 0, 4}, unsupported_size},                               // sides, depth
        {{87, 4, 0}, unsupported_size},
        {{87, 4, -4}, unsupported_size},
        {{87, 4, 4, 0}, unsupported_size},
        {{87, 8, 4, 1, 0}, unsupported_size},                         // levels: none, or more than the sides allow
        {{87, 8, 4, 1, 5}, unsupported_size},
        {{87, 8, 4, 1, 4}, ok},
        {{87, 2, 2, 16, 5}, ok},                                      // a volume's depth counts
        {{87, 0x20000000, 1}, unsupported_size},                      // a row of 2 GiB
        {{87, 0x1FFFFFFF, 1}, ok},
        {{71, 65536, 65536}, unsupported_size},                       // 2 GiB of blocks
        {{71, 65536, 65532}, ok},
        {{87, 4, 4}, invalid_argument, 127},                          // buffers too small
        {{87, 4, 4}, ok, 128},
        {{87, 4, 4}, invalid_argument, 147, false},
    };
    for (const Case& c : cases) {
        std::array<std::byte, 148> buffer{};
        buffer.fill(std::byte{0xA5});
        std::size_t written = 99;
        EXPECT_EQ(dds_header(c.surface, c.legacy, std::span(buffer).first(c.size), written), c.status) << &c - cases;
        if (c.status == ok) continue;
        EXPECT_EQ(written, 99U) << &c - cases;
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), std::byte{0xA5}), 148) << &c - cases;
    }
    const ddsswizzle_surface surface{87, 4, 4, 1, 1, 0};
    std::array<std::byte, 148> buffer{};
    std::size_t written = 0;
    EXPECT_EQ(ddsswizzle_dds_header(nullptr, 1, buffer.data(), buffer.size(), &written), DDSSWIZZLE_INVALID_ARGUMENT);
    EXPECT_EQ(ddsswizzle_dds_header(&surface, 1, nullptr, buffer.size(), &written), DDSSWIZZLE_INVALID_ARGUMENT);
    EXPECT_EQ(ddsswizzle_dds_header(&surface, 1, buffer.data(), buffer.size(), nullptr), DDSSWIZZLE_INVALID_ARGUMENT);
    EXPECT_EQ(written, 0U);
}

}  // namespace
}  // namespace ddsswizzle
