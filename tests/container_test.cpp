// GTF and XPR2 containers built from their rules (support/container_builder.h):
// every converted format, 2D, cube maps and volumes, Morton, linear rows,
// tiled with and without the packed tail; the textures read back as the
// levels they were built from, put back byte for byte, and every refusal.
#include <gtest/gtest.h>

#include <vector>

#include "container/container.h"
#include "ddsswizzle/ddsswizzle.hpp"
#include "support/container_builder.h"
#include "texture/texture_header.h"

namespace ddsswizzle::engine {
namespace {

using namespace testing;

// A DDS file of a built texture (a DX10 header names every format), with
// `extra` levels more than the texture (zero bytes each face).
std::vector<std::byte> dds_of(const Built& b, std::uint32_t dxgi, bool volume, std::uint32_t extra = 0) {
    TextureFields f = dx10_fields(dxgi, std::int32_t(b.width), std::int32_t(b.height), std::uint32_t(b.levels + extra));
    f.dx10[1] = volume ? 4 : 3, f.dx10[2] = b.faces == 6 ? 4 : 0, f.depth = std::uint32_t(b.depth);
    std::vector<std::byte> file = make_header(f);
    const std::size_t face = b.linear.size() / b.faces;
    const std::size_t more = stored_payload_size(b.width, b.height, b.levels + extra, b.bytes, b.side > 1, b.depth) -
                             stored_payload_size(b.width, b.height, b.levels, b.bytes, b.side > 1, b.depth);
    for (std::size_t i = 0; i < b.faces; ++i) {
        file.insert(file.end(), b.linear.begin() + std::ptrdiff_t(i * face), b.linear.begin() + std::ptrdiff_t((i + 1) * face));
        file.resize(file.size() + more);
    }
    return file;
}

// The texture at index 0 of the file reads back as `b` (surface and linear
// levels), and replacing it by its own DDS file, also with an extra level,
// gives the file back. The extracted file's header is the header writer's,
// whose words DdsHeader.WorkedBytes checks; every format here has a legacy one.
void check_round_trip(const std::vector<std::byte>& file, const Built& b, std::uint32_t dxgi, std::uint32_t count) {
    ContainerSummary summary;
    ASSERT_TRUE(read_container(file, summary).ok());
    EXPECT_EQ(summary.count, count);
    ContainerEntry e;
    ASSERT_TRUE(read_container_entry(file, 0, e).ok());
    ASSERT_TRUE(e.verdict.ok()) << int(e.verdict.reason) << " " << int(e.verdict.fault);
    const Surface& s = e.texture.surface;
    EXPECT_EQ(s.format, dxgi);
    EXPECT_EQ(std::uint64_t(s.width) * std::uint64_t(s.height) * std::uint64_t(s.depth) * std::uint64_t(s.levels),
              b.width * b.height * b.depth * b.levels);
    EXPECT_EQ(s.type == TextureType::cube_map, b.faces == 6);
    // Extracted: a header read back as the surface, then the levels; put
    // back, the file as it was.
    std::vector<std::byte> dds(b.linear.size() + 148), out(file.size());
    std::uint64_t written = 0;
    ASSERT_TRUE(extract_texture(file, 0, dds, written).ok());
    dds.resize(written);
    const DdsSurface header = read_dds_surface(dds, dds.size());
    EXPECT_EQ(std::pair(header.reason, header.header_bytes), std::pair(Reason::none, std::size_t{128}));  // the legacy header
    EXPECT_TRUE(same_storage(header.surface.format, s.format) && header.surface.type == s.type && header.surface.levels == s.levels);
    EXPECT_TRUE(std::equal(b.linear.begin(), b.linear.end(), dds.begin() + std::ptrdiff_t(header.header_bytes)));
    EXPECT_EQ(dds.size(), header.header_bytes + b.linear.size());
    EXPECT_TRUE(replace_texture(file, 0, dds, out, written).ok() && out == file);
    // With a level more than the texture, where the sides allow one: the same.
    const std::uint32_t extra = std::max(b.width, b.height) >> b.levels != 0 ? 1 : 0;
    std::fill(out.begin(), out.end(), std::byte{0xEE});
    EXPECT_TRUE(replace_texture(file, 0, dds_of(b, dxgi, s.type == TextureType::volume, extra), out, written).ok() && out == file);
}

struct GtfCase {
    GtfTexture t;
    std::uint32_t dxgi;
};

const GtfCase gtf_cases[] = {{{.format = 0x85, .levels = 2}, 87},                             // the worked example
    {{.format = 0x81, .width = 16, .height = 4, .levels = 5}, 61},   // B8: levels down to 1 x 1
    {{.format = 0x82, .width = 4, .height = 8, .levels = 4}, 86},
    {{.format = 0x83, .width = 2, .height = 2, .levels = 2}, 115},
    {{.format = 0x84, .width = 8, .height = 2, .levels = 4}, 85},
    {{.format = 0x8B, .width = 16, .height = 16, .levels = 1}, 49},
    {{.format = 0x94, .width = 4, .height = 4, .levels = 3}, 56},
    {{.format = 0x9E, .width = 32, .height = 8, .levels = 3}, 88},
    {{.format = 0x9A, .width = 8, .height = 4, .levels = 4}, 10},    // 8-byte texels: 32-bit words, twice as wide
    {{.format = 0x9B, .width = 4, .height = 4, .levels = 3}, 2},
    {{.format = 0x9C, .width = 4, .height = 8, .levels = 2}, 41},
    {{.format = 0x86, .width = 20, .height = 12, .levels = 3}, 71},  // DXT: plain blocks, any side
    {{.format = 0x87, .width = 16, .height = 16, .levels = 5, .cube = true}, 74},
    {{.format = 0xA8, .width = 16, .height = 8, .levels = 2, .pitch = 96}, 77},  // LN DXT5, padded rows
    {{.format = 0xA5, .width = 6, .height = 5, .levels = 3, .pitch = 32}, 87},
    {{.format = 0xA5, .width = 3, .height = 3, .levels = 2, .cube = true, .packed_cube = true}, 87},
    {{.format = 0xA5, .width = 3, .height = 3, .levels = 2, .cube = true}, 87},
    {{.format = 0x85, .width = 4, .height = 4, .levels = 3, .cube = true}, 87},  // faces 128-byte aligned
    {{.format = 0x85, .width = 4, .height = 4, .depth = 4, .levels = 3, .dimension = 3}, 87},
    {{.format = 0xA1, .width = 3, .height = 2, .depth = 2, .levels = 2, .dimension = 3}, 61},
    {{.format = 0x85, .width = 16, .height = 9, .levels = 5, .dimension = 1}, 87},  // 1D: height ignored
};

TEST(Gtf, TexturesReadBackAndReplaceByteForByte) {
    for (const GtfCase& c : gtf_cases) {
        SCOPED_TRACE(::testing::Message() << "format " << int(c.t.format) << " " << c.t.width << "x" << c.t.height);
        std::vector<GtfTexture> textures = {c.t, {.format = 0x86, .width = 4, .height = 4, .seed = 9}};
        check_round_trip(build_gtf(textures), textures[0].built, c.dxgi, 2);
    }
}

struct XprCase {
    XprTexture t;
    std::uint32_t dxgi;
};

const XprCase xpr_cases[] = {{{.format = 0x12, .endian = 1, .swizzle = 0x688, .levels = 7, .name = "tex0"}, 71},  // the worked example
    {{.format = 0x14, .endian = 1, .width = 16, .height = 16, .levels = 5}, 77},          // tail at level 0
    {{.format = 0x06, .width = 100, .height = 60, .levels = 7}, 87},
    {{.format = 0x06, .swizzle = 0x688, .width = 32, .height = 32, .levels = 2}, 28},
    {{.format = 0x06, .swizzle = 0xA0A, .width = 300, .height = 16, .levels = 9}, 88},
    {{.format = 0x02, .endian = 0, .swizzle = 0xA00, .width = 80, .height = 260, .levels = 9}, 61},
    {{.format = 0x02, .endian = 0, .swizzle = 0x124, .width = 8, .height = 8, .levels = 1}, 65},
    {{.format = 0x03, .endian = 1, .width = 16, .height = 32, .levels = 3}, 86},
    {{.format = 0x04, .endian = 1, .width = 40, .height = 8, .levels = 2}, 85},
    {{.format = 0x0A, .endian = 1, .width = 8, .height = 8, .levels = 4}, 49},
    {{.format = 0x0F, .endian = 1, .width = 64, .height = 16, .levels = 7}, 115},
    {{.format = 0x13, .endian = 1, .levels = 7, .cube = true}, 74},
    {{.format = 0x31, .endian = 1, .width = 32, .height = 32, .levels = 3}, 83},
    {{.format = 0x3B, .endian = 1, .width = 16, .height = 16, .levels = 1}, 80},   // one level in its tail
    {{.format = 0x06, .width = 16, .height = 16, .levels = 1, .packed = false}, 87},
    {{.format = 0x06, .width = 64, .height = 64, .levels = 7, .packed = false}, 87},
    {{.format = 0x12, .endian = 1, .width = 128, .height = 32, .levels = 8, .mips_first = true}, 71},
    {{.format = 0x20, .endian = 1, .width = 8, .height = 8, .levels = 2}, 10},
    {{.format = 0x20, .endian = 3, .width = 8, .height = 8, .levels = 2}, 10},     // 16in32: byte by byte
    {{.format = 0x24, .endian = 2, .width = 8, .height = 4, .levels = 1}, 41},
    {{.format = 0x26, .endian = 2, .width = 4, .height = 4, .levels = 3}, 2},
    {{.format = 0x02, .endian = 2, .swizzle = 0xA00, .width = 32, .height = 16, .levels = 3}, 61},  // swap wider than a texel
    {{.format = 0x06, .width = 40, .height = 8, .levels = 1, .tiled = false}, 87},
    {{.format = 0x02, .endian = 1, .swizzle = 0xA00, .width = 3, .height = 5, .tiled = false}, 61},
};

TEST(Xpr2, TexturesReadBackAndReplaceByteForByte) {
    for (const XprCase& c : xpr_cases) {
        SCOPED_TRACE(::testing::Message() << "format " << c.t.format << " " << c.t.width << "x" << c.t.height);
        std::vector<XprTexture> textures = {c.t, {.name = "vb", .fourcc = 0x56425546}, {.format = 0x12, .endian = 1, .width = 8, .height = 8}};
        const std::vector<std::byte> file = build_xpr2(textures);
        check_round_trip(file, textures[0].built, c.dxgi, 3);
        ContainerEntry vb;
        ASSERT_TRUE(read_container_entry(file, 1, vb).ok());
        EXPECT_FALSE(vb.is_texture);
        EXPECT_EQ(vb.type, 0x56425546U);
    }
}

std::vector<std::byte> hex(std::initializer_list<unsigned> bytes) {
    std::vector<std::byte> out;
    for (unsigned b : bytes) out.push_back(static_cast<std::byte>(b));
    return out;
}

TEST(Containers, WorkedExamplesByteForByte) {
    std::vector<GtfTexture> gtf = {{.format = 0x85, .levels = 2}};
    const std::vector<std::byte> g = build_gtf(gtf);
    ASSERT_EQ(g.size(), 448U);
    EXPECT_TRUE(std::vector(g.begin(), g.begin() + 0x2A) ==
                hex({2, 2, 0, 0, 0, 0, 1, 0x40, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 1, 0x40, 0x85, 2, 2, 0,
                     0, 0, 0xAA, 0xE4, 0, 8, 0, 8, 0, 1, 0, 0, 0, 0}));
    // Texel (x, y) of level 0 at 0x80 + 4 m(x, y), its ARGB word reversed.
    for (auto [x, y, at] : {std::array<unsigned, 3>{1, 0, 0x84}, {0, 1, 0x88}, {2, 0, 0x90}, {5, 2, 0xE4}, {0, 4, 0x100}, {7, 7, 0x17C}}) {
        for (unsigned i = 0; i < 4; ++i) EXPECT_EQ(g[at + i], gtf[0].built.linear[4 * (8 * y + x) + 3 - i]);
    }
    std::vector<XprTexture> xpr = {{.format = 0x12, .endian = 1, .swizzle = 0x688, .levels = 7, .name = "tex0"}};
    const std::vector<std::byte> x = build_xpr2(xpr);
    ASSERT_EQ(x.size(), 0x680CU);
    EXPECT_TRUE(std::vector(x.begin(), x.begin() + 0x29) ==
                hex({'X', 'P', 'R', '2', 0, 0, 8, 0, 0, 0, 0x60, 0, 0, 0, 0, 1, 'T', 'X', '2', 'D', 0, 0, 0, 0x30, 0, 0, 0,
                     0x34, 0, 0, 0, 0x18, 0, 0, 0, 0, 't', 'e', 'x', '0', 0}));
    EXPECT_TRUE(std::vector(x.begin() + 0x3C, x.begin() + 0x70) ==
                hex({0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0,
                     0x81, 0, 0, 2, 0, 0, 0, 0x52, 0, 7, 0xE0, 0x3F, 0, 0, 0x0D, 0x10, 0, 0, 1, 0x80, 0, 0, 0x2A, 0}));
}

// Refusals: a field of a built container changed (a big-endian value of
// `bytes` bytes at `at`, from the start of the file or, with `descriptor`,
// of texture 0's descriptor; `keep` bytes kept of the file when nonzero).
struct Refusal {
    const char* what;
    int base;  // 0 GTF, 1 XPR2, 2 GTF LN cube, 3 GTF volume, 4 XPR2 linear, 5 GTF of 130 textures
    std::uint32_t index;  // the texture whose descriptor is changed and whose verdict is read
    std::uint64_t at, value, bytes;
    bool descriptor;
    Outcome outcome;
    Verdict verdict;
    bool whole_file = true;  // the container is refused, not the texture alone
    std::uint64_t keep = 0;
    std::uint64_t also_at = 0, also_byte = 0;  // a second change, of one byte, when also_at is not 0
};

constexpr Fault no_fault = Fault::none;
const Refusal refusals[] = {{"GTF short file", 0, 0, 0, 0, 0, false, Outcome::not_a_container, {Reason::none, Fault::container_short}, true, 11},
    {"GTF count 0", 0, 0, 8, 0, 4, false, Outcome::not_a_container, {Reason::none, Fault::no_entries}},
    {"GTF table past the end", 0, 0, 8, 1000, 4, false, Outcome::not_a_container, {Reason::none, Fault::table_past_end}},
    {"GTF offset in the table", 0, 0, 0x10, 0x20, 4, false, Outcome::not_a_container, {Reason::none, Fault::range_outside}},
    {"GTF size past the end", 0, 0, 0x14, 0x10000, 4, false, Outcome::not_a_container, {Reason::none, Fault::range_outside}},
    {"GTF textures overlap", 0, 0, 0x34, 0x100, 4, false, Outcome::not_a_container, {Reason::none, Fault::textures_overlap}},
    {"GTF textures 0 and 129 overlap", 5, 0, 12 + 36 * 129 + 4, 0x1280, 4, false, Outcome::not_a_container, {Reason::none, Fault::textures_overlap}},
    {"GCM B8R8_G8R8", 0, 0, 0, 0xAD, 1, true, Outcome::unknown_format, {Reason::none, Fault::descriptor_format}, false},
    {"GCM no levels", 0, 0, 1, 0, 1, true, Outcome::unsupported_size, {Reason::level_count_out_of_range, no_fault}, false},
    {"GCM 5 levels of 8 x 8", 0, 0, 1, 5, 1, true, Outcome::unsupported_size, {Reason::level_count_out_of_range, no_fault}, false},
    {"GCM dimension 0", 0, 0, 2, 0, 1, true, Outcome::unsupported_type, {Reason::none, Fault::descriptor_type}, false},
    {"GCM cube of dimension 3", 0, 0, 2, 0x0301, 2, true, Outcome::unsupported_type, {Reason::none, Fault::descriptor_type}, false},
    {"GCM zero width", 0, 0, 8, 0, 2, true, Outcome::unsupported_size, {Reason::side_not_positive, no_fault}, false},
    {"GCM Morton width 6", 0, 0, 8, 6, 2, true, Outcome::unsupported_size, {Reason::width_not_power_of_two, no_fault}, false},
    {"GCM Morton height 12", 0, 0, 10, 12, 2, true, Outcome::unsupported_size, {Reason::height_not_power_of_two, no_fault}, false},
    {"GCM Morton depth 3", 3, 0, 12, 3, 2, true, Outcome::unsupported_size, {Reason::depth_not_power_of_two, no_fault}, false},
    {"GCM LN pitch below a row", 0, 0, 0, 0xA5, 1, true, Outcome::unsupported_size, {Reason::none, Fault::descriptor_pitch}, false},
    {"GTF texture size short", 0, 0, 0x14, 0x100, 4, false, Outcome::truncated, {Reason::data_short, no_fault}, false},
    {"GCM DXT volume", 0, 0, 0, 0x860203, 3, true, Outcome::unsupported_type, {Reason::none, Fault::descriptor_type}, false},
    {"GTF LN cube size fits no stride", 2, 0, 0x14, 6 * 48 - 4, 4, false, Outcome::truncated, {Reason::none, Fault::cube_stride}, false},
    {"XPR2 short file", 1, 0, 0, 0, 0, false, Outcome::not_a_container, {Reason::none, Fault::container_short}, true, 15},
    {"XPR2 header alone", 1, 0, 0, 0, 0, false, Outcome::truncated, {Reason::none, Fault::blocks_past_end}, true, 16},
    {"XPR2 wrong magic", 1, 0, 3, '3', 1, false, Outcome::not_a_container, {Reason::none, Fault::table_past_end}},
    {"XPR2 header block of 2", 1, 0, 4, 2, 4, false, Outcome::not_a_container, {Reason::none, Fault::table_past_end}},
    {"XPR2 data past the end", 1, 0, 8, 0x100000, 4, false, Outcome::truncated, {Reason::none, Fault::blocks_past_end}},
    {"XPR2 count 0", 1, 0, 12, 0, 4, false, Outcome::not_a_container, {Reason::none, Fault::no_entries}},
    {"XPR2 table past the block", 1, 0, 12, 200, 4, false, Outcome::not_a_container, {Reason::none, Fault::table_past_end}},
    {"XPR2 type no FourCC", 1, 0, 0x13, 1, 1, false, Outcome::not_a_container, {Reason::none, Fault::entry_stride}},
    {"XPR2 texture entry of 48", 1, 0, 0x18, 48, 4, false, Outcome::not_a_container, {Reason::none, Fault::entry_stride}},
    {"XPR2 offset in the table", 1, 0, 0x14, 8, 4, false, Outcome::not_a_container, {Reason::none, Fault::range_outside}},
    {"XPR2 offset past the block", 1, 0, 0x14, 0x7F0, 4, false, Outcome::not_a_container, {Reason::none, Fault::range_outside}},
    {"XPR2 24-byte table", 1, 0, 0x1C, 0, 4, false, Outcome::not_a_container, {Reason::none, Fault::name_outside}},
    {"XPR2 name past the block", 1, 0, 0x1C, 0x800, 4, false, Outcome::not_a_container, {Reason::none, Fault::name_outside}},
    {"XPR2 name without NUL", 1, 0, 0x1C, 0x7FF, 4, false, Outcome::not_a_container, {Reason::none, Fault::name_outside}, true, 0, 0x80B, 'x'},
    {"XPR2 headers overlap", 1, 0, 0x34, 0x70, 4, false, Outcome::not_a_container, {Reason::none, Fault::textures_overlap}},
    {"XPR2 data overlap", 1, 3, 4, 0x52, 4, true, Outcome::not_a_container, {Reason::none, Fault::textures_overlap}},
    {"tail at level 0, mips elsewhere", 1, 2, 20, 0x7A00, 4, true, Outcome::unsupported_type, {Reason::none, Fault::tail_pages}, false},
    {"fetch constant of no texture", 1, 0, 3, 1, 1, true, Outcome::unsupported_type, {Reason::none, Fault::descriptor_type}, false},
    {"CTX1", 1, 0, 7, 0x7C, 1, true, Outcome::unknown_format, {Reason::none, Fault::descriptor_format}, false},
    {"8_8_8_8 swizzle", 1, 0, 7, 0x46, 1, true, Outcome::unknown_format, {Reason::none, Fault::descriptor_swizzle}, false},
    {"stacked", 1, 0, 6, 0x04, 1, true, Outcome::unsupported_type, {Reason::none, Fault::descriptor_type}, false},
    {"cube in a TX2D", 1, 0, 0x16, 0x2E, 1, true, Outcome::unsupported_type, {Reason::none, Fault::descriptor_type}, false},
    {"TX3D", 1, 0, 0x12, '3', 1, false, Outcome::unsupported_type, {Reason::none, Fault::descriptor_type}, false},
    {"mip_min_level 1", 1, 0, 16, 0x184, 4, true, Outcome::unsupported_size, {Reason::none, Fault::mip_min_level}, false},
    {"8 levels of 64 x 64", 1, 0, 16, 0x1C0, 4, true, Outcome::unsupported_size, {Reason::level_count_out_of_range, no_fault}, false},
    {"pitch of 256 texels", 1, 0, 0, 0x82, 1, true, Outcome::unsupported_size, {Reason::none, Fault::descriptor_pitch}, false},
    {"base page outside", 1, 0, 4, 0x10, 1, true, Outcome::truncated, {Reason::none, Fault::pages_outside}, false},
    {"mip page outside", 1, 0, 20, 0x5A, 1, true, Outcome::truncated, {Reason::none, Fault::pages_outside}, false},
    {"mips over the base", 1, 0, 22, 0x0A, 1, true, Outcome::unsupported_type, {Reason::none, Fault::areas_overlap}, false},
    {"linear base page outside", 4, 0, 4, 0x10, 1, true, Outcome::truncated, {Reason::none, Fault::pages_outside}, false},
    {"linear with 2 levels", 1, 2, 0, 0x01, 1, true, Outcome::unsupported_type, {Reason::none, Fault::linear_mips}, false},
};

TEST(Containers, Refusals) {
    std::vector<GtfTexture> gtf = {{.format = 0x85, .levels = 2}, {.format = 0x86, .width = 4, .height = 4, .seed = 9}};
    std::vector<XprTexture> xpr = {{.format = 0x12, .endian = 1, .swizzle = 0x123, .levels = 7}, {.name = "vb", .fourcc = 0x56425546},
                                   {.format = 0x12, .endian = 1, .width = 8, .height = 8, .levels = 2},
                                   {.format = 0x12, .endian = 1, .width = 8, .height = 8}};
    std::vector<GtfTexture> cube = {{.format = 0xA5, .width = 3, .height = 3, .levels = 2, .cube = true, .packed_cube = true}};
    std::vector<GtfTexture> volume = {{.format = 0x85, .width = 4, .height = 4, .depth = 4, .levels = 3, .dimension = 3}};
    std::vector<XprTexture> linear = {{.format = 0x06, .width = 40, .height = 8, .tiled = false}};
    std::vector<GtfTexture> many(130, {.format = 0x86, .width = 4, .height = 4});
    const std::vector<std::byte> bases[] = {build_gtf(gtf), build_xpr2(xpr), build_gtf(cube), build_gtf(volume), build_xpr2(linear), build_gtf(many)};
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        std::vector<std::byte> file = bases[r.base];
        ContainerEntry e;
        ASSERT_TRUE(read_container_entry(file, r.index, e).ok());
        ASSERT_TRUE(e.verdict.ok());
        const std::uint64_t at = r.at + (r.descriptor ? e.descriptor_offset : 0);
        for (std::uint64_t i = 0; i < r.bytes; ++i) file[at + i] = static_cast<std::byte>(r.value >> (8 * (r.bytes - 1 - i)));
        if (r.keep != 0) file.resize(r.keep);
        if (r.also_at != 0) file[r.also_at] = static_cast<std::byte>(r.also_byte);
        const Verdict v = read_container_entry(file, r.index, e);
        const Verdict got = r.whole_file ? v : e.verdict;
        EXPECT_EQ(v.ok(), !r.whole_file);
        EXPECT_EQ(outcome_of(got), r.outcome);
        EXPECT_EQ(got.reason, r.verdict.reason);
        EXPECT_EQ(got.fault, r.verdict.fault);
    }
}

// The C interface (through its C++ wrappers): the worked examples' entries
// and layouts, conversion by descriptor, and the replacement's refusals.
TEST(ContainerInterface, EntriesLayoutsAndReplacement) {
    using ddsswizzle::Status;
    std::vector<GtfTexture> gtf = {{.format = 0x85, .levels = 2}};
    std::vector<XprTexture> xpr = {{.format = 0x12, .endian = 1, .levels = 7, .name = "tex0"}, {.name = "vb", .fourcc = 0x56425546}};
    const std::vector<std::byte> files[] = {build_gtf(gtf), build_xpr2(xpr)};
    // console format, swizzled, pitch, byte order, packed, level 0, mips, face stride, end
    const std::array<std::uint64_t, 9> layouts[] = {{0x85, 1, 0, 2, 0, 0, 256, 320, 320}, {0x12, 1, 32, 1, 1, 0, 0x2000, 0x2000, 0x6000}};
    const Built* built[] = {&gtf[0].built, &xpr[0].built};
    const std::uint32_t formats[] = {87, 71};
    EXPECT_EQ(ddsswizzle::message(Status::not_a_texture_container), "Not a texture container");
    for (int r = DDSSWIZZLE_REASON_CONTAINER_SHORT_FILE; r <= DDSSWIZZLE_REASON_NOT_A_TEXTURE_ENTRY; ++r) {
        EXPECT_FALSE(ddsswizzle::describe(ddsswizzle::Reason(r)).empty()) << r;
    }
    EXPECT_TRUE(ddsswizzle::describe(ddsswizzle::Reason(DDSSWIZZLE_REASON_NOT_A_TEXTURE_ENTRY + 1)).empty());
    ddsswizzle_reason why{};
    const std::uint8_t descriptor24[24] = {};
    EXPECT_EQ(ddsswizzle_container_count(nullptr, 16, nullptr, nullptr, &why) * 100 + why, DDSSWIZZLE_INVALID_ARGUMENT * 100 + DDSSWIZZLE_REASON_NULL_POINTER);
    EXPECT_EQ(ddsswizzle_container_texture(files[0].data(), files[0].size(), 0, nullptr, nullptr), DDSSWIZZLE_INVALID_ARGUMENT);
    EXPECT_EQ(ddsswizzle_convert_descriptor(descriptor24, 24, DDSSWIZZLE_PS3, DDSSWIZZLE_SWIZZLE, descriptor24, 24, nullptr, 4, &why) * 100 + why,
              DDSSWIZZLE_INVALID_ARGUMENT * 100 + DDSSWIZZLE_REASON_NULL_POINTER);
    for (int i = 0; i < 2; ++i) {
        const std::vector<std::byte>& file = files[i];
        ddsswizzle::Console console{};
        std::uint32_t count = 0;
        ASSERT_EQ(ddsswizzle::container_count(file, console, count), Status::ok);
        EXPECT_EQ(console, i == 0 ? ddsswizzle::Console::ps3 : ddsswizzle::Console::x360);
        EXPECT_EQ(count, std::uint32_t(i + 1));
        ddsswizzle::TextureEntry e{};
        ASSERT_EQ(ddsswizzle::container_texture(file, 0, e), Status::ok);
        EXPECT_EQ(e.status, DDSSWIZZLE_OK);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()) + e.name_offset, e.name_length), i == 0 ? "" : "tex0");
        const ddsswizzle_descriptor_layout& l = e.layout;
        EXPECT_EQ((std::array<std::uint64_t, 9>{l.console_format, std::uint64_t(l.swizzled), l.pitch, l.byte_order,
                                                std::uint64_t(l.packed_tail), l.level0_offset, l.mips_offset, l.face_stride, l.end}),
                  layouts[i]);
        EXPECT_EQ(e.area_offset[0], e.data_offset);
        // By descriptor: the data to linear levels and back.
        const auto descriptor = std::span(file).subspan(e.descriptor_offset, 24);
        const auto data = std::span(file).subspan(e.data_offset, e.data_size);
        ddsswizzle::Surface surface;
        ddsswizzle::DescriptorLayout layout{};
        EXPECT_EQ(ddsswizzle::read_descriptor(descriptor, console, e.data_size, surface, layout), Status::ok);
        EXPECT_EQ(surface.format, formats[i]);
        EXPECT_EQ(ddsswizzle::read_descriptor(descriptor.first(23), console, e.data_size, surface, layout), Status::invalid_argument);
        std::vector<std::byte> linear(built[i]->linear.size()), back(e.data_size);
        EXPECT_EQ(ddsswizzle::convert_descriptor(descriptor, console, ddsswizzle::Direction::unswizzle, data, linear), Status::ok);
        EXPECT_TRUE(linear == built[i]->linear);
        EXPECT_EQ(ddsswizzle::convert_descriptor(descriptor, console, ddsswizzle::Direction::swizzle, linear, back), Status::ok);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
        // Extracting: the size, then the file; too small a result is refused, nothing written.
        std::size_t written = 0;
        std::vector<std::byte> out(file.size());
        EXPECT_EQ(ddsswizzle::extract(file, 0, {}, written), Status::ok);
        std::vector<std::byte> dds(written, std::byte{0x5A});
        EXPECT_EQ(ddsswizzle::extract(file, 0, std::span(dds).first(written - 1), written), Status::invalid_argument);
        EXPECT_TRUE(std::all_of(dds.begin(), dds.end(), [](std::byte b) { return b == std::byte{0x5A}; }));
        EXPECT_EQ(ddsswizzle::extract(file, 0, dds, written), Status::ok);
        EXPECT_EQ(ddsswizzle::extract(file, count, dds, written), Status::invalid_argument);
        // Replacing: the size, then each refusal, with what it says, and nothing written.
        EXPECT_EQ(ddsswizzle::replace(file, 0, dds, {}, written), Status::ok);
        EXPECT_EQ(written, file.size());
        Built other = *built[i];
        const auto refused = [&](Status status, ddsswizzle_reason reason, std::span<const std::byte> with, std::span<std::byte> into,
                                 std::uint32_t index = 0) {
            ddsswizzle_reason why{};
            std::fill(out.begin(), out.end(), std::byte{0x5A});
            EXPECT_EQ(ddsswizzle::replace(file, index, with, into, written, &why), status);
            EXPECT_EQ(why, reason);
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::byte b) { return b == std::byte{0x5A}; }));
        };
        refused(Status::unknown_format, DDSSWIZZLE_REASON_REPLACEMENT_FORMAT, dds_of(other, 88, false), out);
        refused(Status::unsupported_texture_type, DDSSWIZZLE_REASON_REPLACEMENT_TYPE, dds_of(other, formats[i], true), out);
        other.width *= 2;
        refused(Status::unsupported_size, DDSSWIZZLE_REASON_REPLACEMENT_SIDES, dds_of(other, formats[i], false), out);
        other = *built[i], other.levels = 1, other.linear.resize(other.width * other.height * other.bytes / other.side / other.side);
        refused(Status::unsupported_size, DDSSWIZZLE_REASON_REPLACEMENT_LEVELS, dds_of(other, formats[i], false), out);
        refused(Status::truncated_data, DDSSWIZZLE_REASON_DATA_SHORT, std::span(dds).first(dds.size() - 1), out);
        refused(Status::not_a_dds_texture, DDSSWIZZLE_REASON_NO_SIGNATURE, std::span(file).first(200), out);
        refused(Status::invalid_argument, DDSSWIZZLE_REASON_RESULT_TOO_SMALL, dds, std::span(out).first(out.size() - 1));
        refused(Status::invalid_argument, DDSSWIZZLE_REASON_NO_SUCH_TEXTURE, dds, out, count);
        if (i == 1) refused(Status::invalid_argument, DDSSWIZZLE_REASON_NOT_A_TEXTURE_ENTRY, dds, out, 1);
        std::vector<std::byte> copy = file;
        EXPECT_EQ(ddsswizzle::replace(std::span(copy), 0, dds, std::span(copy), written), Status::invalid_argument);
        EXPECT_TRUE(copy == file);
        EXPECT_EQ(ddsswizzle::replace(file, 0, dds, out, written), Status::ok);
        EXPECT_TRUE(out == file);
    }
}

}  // namespace
}  // namespace ddsswizzle::engine
