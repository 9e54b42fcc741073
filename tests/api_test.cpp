// The library's public interface: what each call refuses (writing nothing),
// its messages and names, and sizes, places and conversions of surfaces that
// agree with the conversion of whole DDS files.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ddsswizzle/ddsswizzle.hpp"
#include "support/texture_builder.h"

namespace {

using namespace ddsswizzle;
namespace build = ddsswizzle::testing;
using Bytes = std::vector<std::byte>;

constexpr Surface bgra(std::int32_t w, std::int32_t h, std::int32_t levels) { return {87, w, h, 1, levels, false}; }

bool untouched(const Bytes& b) { return std::ranges::count(b, std::byte{0xEE}) == std::ptrdiff_t(b.size()); }

TEST(Library, RefusesBadArgumentsWritingNothing) {
    const Surface s = bgra(64, 32, 7);
    const Bytes file = build::make_texture(build::rgba_fields(32, 64, 32, 7), 10924);
    Bytes in(100000, std::byte{1}), out(100000, std::byte{0xEE});
    const auto bad_console = static_cast<Console>(7);
    const auto bad_direction = static_cast<Direction>(-1);
    const std::span<std::byte> small = std::span(out).first(10923);
    EXPECT_EQ(convert(s, bad_console, Direction::swizzle, in, out), Status::invalid_argument);
    EXPECT_EQ(convert(s, Console::ps3, bad_direction, in, out), Status::invalid_argument);
    EXPECT_EQ(convert(s, Console::ps3, Direction::swizzle, in, small), Status::invalid_argument);
    EXPECT_EQ(convert(s, Console::x360, Direction::swizzle, in, std::span(out).first(4095)), Status::invalid_argument);
    EXPECT_EQ(convert(s, Console::ps3, Direction::swizzle, std::span(in).first(10923), out), Status::truncated_data);
    EXPECT_EQ(convert(s, Console::ps3, Direction::swizzle, std::span(out).first(20000), std::span(out).subspan(10000)),
              Status::invalid_argument);  // overlapping
    EXPECT_EQ(convert_dds(file, small, Console::ps3, Direction::swizzle), Status::invalid_argument);
    EXPECT_EQ(convert_dds(file, out, bad_console, Direction::swizzle), Status::invalid_argument);
    EXPECT_TRUE(untouched(out));
    const ddsswizzle_surface cs{87, 64, 32, 1, 7, 0};
    EXPECT_EQ(ddsswizzle_convert(nullptr, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, in.data(), in.size(), out.data(), out.size()),
              DDSSWIZZLE_INVALID_ARGUMENT);
    EXPECT_EQ(ddsswizzle_convert(&cs, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, nullptr, 10924, out.data(), out.size()),
              DDSSWIZZLE_INVALID_ARGUMENT);
    Placement p{};
    for (const auto& [level, face] : {std::pair{7, 0}, {-1, 0}, {0, 1}}) EXPECT_EQ(place(s, Console::ps3, level, face, p), Status::invalid_argument);
    std::uint64_t size = 0;
    Reason reason{};
    EXPECT_EQ(check_dds(file, file.size(), bad_console, Direction::swizzle, size, &reason), Status::invalid_argument);
    EXPECT_EQ(reason, DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION);
    EXPECT_EQ(check_dds(std::span(file).first(147), file.size(), Console::ps3, Direction::swizzle, size, &reason), Status::invalid_argument);
    EXPECT_EQ(reason, DDSSWIZZLE_REASON_HEADER_NOT_GIVEN);
}

TEST(Library, MessagesReasonsAndNames) {
    const std::pair<Status, std::string_view> messages[] = {
        {Status::not_a_dds_texture, "Not a DDS texture"}, {Status::unknown_format, "Unknown format"},
        {Status::unsupported_texture_type, "Unsupported texture type"}, {Status::unsupported_size, "Unsupported size"},
        {Status::truncated_data, "Texture data is truncated"}, {Status::invalid_argument, "Invalid argument"}};
    for (const auto& [status, text] : messages) EXPECT_EQ(message(status), text);
    for (int r = 1; r <= DDSSWIZZLE_REASON_HEADER_NOT_GIVEN; ++r) EXPECT_FALSE(describe(static_cast<Reason>(r)).empty()) << r;
    EXPECT_TRUE(describe(static_cast<Reason>(DDSSWIZZLE_REASON_HEADER_NOT_GIVEN + 1)).empty());
    EXPECT_EQ(format_name(77), "BC3_UNORM");
    EXPECT_EQ(format_name(132), "V408");
    EXPECT_EQ(format_name(116), "");
    std::uint32_t number = 0;
    EXPECT_TRUE(format_number("R16_FLOAT", number) && number == 54);
    EXPECT_FALSE(format_number("bc3_unorm", number) || format_number("", number) || format_number("BC3_UNORM ", number));
    // Surface refusals with their reasons, the format first.
    const std::tuple<Surface, Console, Status, Reason> refusals[] = {
        {{80, 4, 4, 1, 1, false}, Console::ps3, Status::unknown_format, DDSSWIZZLE_REASON_FORMAT_NOT_ON_CONSOLE},
        {{80, 4, 4, 2, 1, true}, Console::ps3, Status::unknown_format, DDSSWIZZLE_REASON_FORMAT_NOT_ON_CONSOLE},
        {{87, 4, 4, 2, 1, true}, Console::ps3, Status::unsupported_texture_type, DDSSWIZZLE_REASON_CUBE_MAP_AND_VOLUME},
        {{87, 4, 4, 0, 1, false}, Console::ps3, Status::unsupported_size, DDSSWIZZLE_REASON_SIDE_NOT_POSITIVE},
        {{87, 4, 4, 2, 1, false}, Console::x360, Status::unsupported_texture_type, DDSSWIZZLE_REASON_VOLUME_NOT_ON_CONSOLE},
        {bgra(4, 6, 1), Console::ps3, Status::unsupported_size, DDSSWIZZLE_REASON_HEIGHT_NOT_POWER_OF_TWO}};
    for (const auto& [s, console, status, expected] : refusals) {
        Reason reason{};
        EXPECT_EQ(check(s, console, &reason), status);
        EXPECT_EQ(reason, expected);
    }
}

// Sizes and places against each other, and a surface converted on its own
// against the same texture converted as a DDS file.
TEST(Library, SurfacesAgreeWithDdsFiles) {
    const std::tuple<build::TextureFields, Surface, std::size_t> textures[] = {
        {build::rgba_fields(32, 100, 60, 7), bgra(100, 60, 7), 1},
        {build::dxt_fields("DXT5", 512, 512, 10), {77, 512, 512, 1, 10, false}, 1},
        {{16, 16, 5, "DXT1", 4, 0, 0xFE00}, {71, 16, 16, 1, 5, true}, 6},
        {{8, 4, 4, {}, 0x41, 16, 0x200000, 0x8A1007, 8}, {86, 8, 4, 8, 4, false}, 1}};
    for (const auto& [fields, s, faces] : textures) {
        for (const Console console : {Console::ps3, Console::x360}) {
            std::uint64_t linear = 0, image = 0;
            if (sizes(s, console, linear, image) != Status::ok) continue;  // volumes: PS3 only
            SCOPED_TRACE(::testing::Message() << s.format << ", " << s.width << "x" << s.height << ", console " << int(console));
            std::uint64_t placed = 0;
            for (std::int32_t face = 0; face < std::int32_t(faces); ++face) {
                for (std::int32_t level = 0; level < s.levels; ++level) {
                    Placement p{};
                    ASSERT_EQ(place(s, console, level, face, p), Status::ok);
                    EXPECT_EQ(p.linear_offset, placed);
                    EXPECT_LE(p.console_offset + p.console_length, image);
                    EXPECT_TRUE(console == Console::x360 || p.console_offset == p.linear_offset);
                    placed += p.linear_length;
                }
            }
            EXPECT_EQ(placed, linear);
            const Bytes file = build::make_texture(fields, linear);
            DdsInfo dds;
            ASSERT_EQ(read_dds(file, dds), Status::ok);
            EXPECT_EQ(std::tuple(dds.surface.format, dds.surface.depth, dds.surface.cube, dds.payload_offset),
                      std::tuple(s.format, s.depth, s.cube, std::uint32_t{128}));
            std::uint64_t converted_size = 0;
            ASSERT_EQ(check_dds(file, file.size(), console, Direction::swizzle, converted_size), Status::ok);
            Bytes whole(converted_size), surface_only(image), back(linear), other(image);
            ASSERT_EQ(convert_dds(file, whole, console, Direction::swizzle), Status::ok);
            // Two threads at once give the same bytes as the file's conversion.
            std::thread second([&] { EXPECT_EQ(convert(s, console, Direction::swizzle, std::span(file).subspan(128), other), Status::ok); });
            ASSERT_EQ(convert(s, console, Direction::swizzle, std::span(file).subspan(128), surface_only), Status::ok);
            second.join();
            EXPECT_TRUE(std::ranges::equal(surface_only, std::span(whole).subspan(128)) && surface_only == other);
            ASSERT_EQ(convert(s, console, Direction::unswizzle, surface_only, back), Status::ok);
            EXPECT_TRUE(std::ranges::equal(back, std::span(file).subspan(128)));
        }
    }
}

}  // namespace
