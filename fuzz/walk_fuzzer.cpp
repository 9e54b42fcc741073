// libFuzzer target: the level walks of both consoles called directly with
// any surface the geometry accepts and buffers of any length, as no checked
// texture would reach them. The walks promise to stay inside their buffers
// whatever their length, to give exactly what the block-by-block oracles of
// the tests give (on the PS3 a level reaching past the buffer is copied, with
// every level after it; the Xbox 360 walk refuses spans too short and writes
// nothing), to be undone by the other direction, and to make the same bytes
// in two pieces as whole.
//
// Input: byte 0 picks the format (one of each kind of row of the format
// table), byte 1 the console (bit 0) and the texture type (bits 1-2: 2D, cube
// map, volume), bytes 2-3, 4-5 and 6-7 the width, height and depth (signed,
// little-endian), byte 8 the level count (signed), byte 9 how many bytes
// shorter than needed the result buffer is (bits 0-1: 0 to 3) and where the
// result is cut in two pieces (bits 2-7: that many 63rds of it), and the
// rest is the source buffer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "layout/block_tiling.h"
#include "layout/morton.h"
#include "layout/x360_tiling.h"
#include "support/oracles.h"
#include "support/x360_oracle.h"

namespace {

using namespace ddsswizzle::engine;
using Bytes = std::vector<std::byte>;

constexpr std::array<std::uint32_t, 10> formats = {61, 85, 87, 10, 2, 41, 71, 77, 80, 83};

void require(bool holds) {
    if (!holds) {
        static_cast<void>(std::fprintf(stderr, "\nbroken guarantee: the walk differs from the oracle or is not undone\n"));
        std::abort();
    }
}

std::int32_t load_int16(const std::uint8_t* bytes) {
    return static_cast<std::int16_t>(std::uint16_t(bytes[0] | (bytes[1] << 8U)));
}

Direction other(Direction d) { return d == Direction::swizzle ? Direction::unswizzle : Direction::swizzle; }

// Where a result of `size` bytes is cut in two pieces.
std::size_t cut_of(std::size_t size, std::uint32_t cut) { return size * cut / 63; }

// The PS3 walks over a buffer of the source's length less the shortfall.
void check_ps3(const SurfaceGeometry& g, const Bytes& source, std::size_t shortfall, std::uint32_t cut) {
    const Bytes head(source.begin(), source.end() - static_cast<std::ptrdiff_t>(shortfall));
    const auto walk = [&](std::span<const std::byte> from, Direction d) {
        Bytes result(head.size(), std::byte{0xA5});
        if (g.format.ps3 == Ps3Rule::block_tiling) {
            convert_block_levels(g, from, result, d);
        } else {
            convert_morton_levels(g, from, result, d);
        }
        return result;
    };
    const ddsswizzle::testing::Ps3Format f{g.format.block_bytes, g.format.ps3 == Ps3Rule::block_tiling, g.format.ps3_swap,
                                           g.format.ps3_stored_levels};
    const Surface& s = g.surface;
    // The oracle takes a cube map's faces whole.
    const bool whole_faces = g.faces == 1 || head.size() >= g.linear_size;
    for (const Direction d : {Direction::swizzle, Direction::unswizzle}) {
        const Bytes once = walk(source, d);
        require(!whole_faces || once == ddsswizzle::testing::ps3_payload(f, {s.width, s.height, s.depth}, s.levels,
                                                                          s.type == TextureType::volume, g.faces,
                                                                          g.linear_face_bytes, head, d));
        require(shortfall != 0 || walk(once, other(d)) == source);
        Bytes pieces(head.size());
        const std::size_t at = cut_of(head.size(), cut);
        for (const auto& [begin, piece] : {std::pair{std::size_t{0}, std::span(pieces).first(at)}, {at, std::span(pieces).subspan(at)}}) {
            if (g.format.ps3 == Ps3Rule::block_tiling) {
                convert_block_piece(g, head, begin, piece, d);
            } else {
                convert_morton_piece(g, head, begin, piece, d);
            }
        }
        require(pieces == once);
    }
}

// The Xbox 360 walk: spans of exactly the sizes it needs, or one short.
void check_x360(const SurfaceGeometry& g, const Bytes& source, std::size_t shortfall, std::uint32_t cut) {
    const Surface& s = g.surface;
    const ddsswizzle::testing::X360Texture t{g.format.block_bytes, g.format.block_side, g.format.x360_swap, s.width,
                                             s.height, s.levels, g.faces};
    for (const Direction d : {Direction::swizzle, Direction::unswizzle}) {
        const std::uint64_t in = d == Direction::swizzle ? g.linear_size : g.console_size;
        const std::uint64_t out = d == Direction::swizzle ? g.console_size : g.linear_size;
        if (in > source.size()) continue;
        const Bytes from(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(in));
        Bytes result(out - (shortfall != 0 ? 1 : 0), std::byte{0xA5});
        const bool done = convert_x360_levels(g, from, result, d);
        require(done == (shortfall == 0));
        if (!done) {
            require(result == Bytes(result.size(), std::byte{0xA5}));
            continue;
        }
        require(result == ddsswizzle::testing::x360_oracle_convert(t, from, d));
        Bytes pieces(result.size());
        const std::size_t at = cut_of(result.size(), cut);
        require(convert_x360_piece(g, from, 0, std::span(pieces).first(at), d) &&
                convert_x360_piece(g, from, at, std::span(pieces).subspan(at), d) && pieces == result);
        if (d == Direction::swizzle) {
            Bytes back(in);
            require(convert_x360_levels(g, result, back, other(d)) && back == from);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 10) return 0;
    const std::uint32_t type_bits = (data[1] >> 1U) % 3U;
    const TextureType type = type_bits == 0 ? TextureType::plain : type_bits == 1 ? TextureType::cube_map : TextureType::volume;
    const Surface surface{formats[data[0] % formats.size()], type, load_int16(data + 2), load_int16(data + 4),
                          load_int16(data + 6), static_cast<std::int8_t>(data[8])};
    const Console console = (data[1] & 1U) != 0 ? Console::x360 : Console::ps3;
    SurfaceGeometry geometry;
    if (lay_out_surface(surface, console, geometry) != Reason::none) return 0;
    const Bytes source(reinterpret_cast<const std::byte*>(data + 10), reinterpret_cast<const std::byte*>(data + size));
    const std::size_t shortfall = std::min<std::size_t>(data[9] % 4U, source.size());
    if (console == Console::ps3) {
        check_ps3(geometry, source, shortfall, data[9] >> 2U);
    } else {
        check_x360(geometry, source, shortfall, data[9] >> 2U);
    }
    return 0;
}
