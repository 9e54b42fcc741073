// The PS3 layouts in their simplest possible form, for the tests and the
// walk fuzzer to check the real walks against: bit by bit, one element at a
// time, in the order the rules are stated, with no attempt at speed and
// nothing taken from src/ but the direction.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "layout/surface_geometry.h"

namespace ddsswizzle::testing {

using engine::Direction;

// Morton position of voxel (x, y, z), or of pixel (x, y) with depth 1: a
// side contributes one bit for each time it can be halved before reaching 1;
// bit i of the column, of the row and of the slice follow in turn, column
// first, each while its side has a bit i.
inline std::uint64_t morton_index(std::uint64_t x, std::uint64_t y, std::uint64_t z, std::int64_t width,
                                  std::int64_t height, std::int64_t depth) {
    std::uint64_t index = 0;
    int out = 0;
    for (int i = 0; (width >> i) > 1 || (height >> i) > 1 || (depth >> i) > 1; ++i) {
        if ((width >> i) > 1) index |= ((x >> i) & 1U) << out++;
        if ((height >> i) > 1) index |= ((y >> i) & 1U) << out++;
        if ((depth >> i) > 1) index |= ((z >> i) & 1U) << out++;
    }
    return index;
}

// Tiled position of block j from the table of which input bit feeds each
// output bit; -1 marks output bit 6, the exclusive or of input bits 4, 10, 11.
inline std::uint32_t block_tile_by_table(std::uint32_t j) {
    constexpr int source_bit[13] = {10, 5, 0, 1, 2, 3, -1, 6, 12, 7, 8, 9, 11};
    std::uint32_t out = j & ~0x1FFFU;
    for (int k = 0; k < 13; ++k) {
        const std::uint32_t bit = source_bit[k] >= 0 ? j >> source_bit[k] : (j >> 4U) ^ (j >> 10U) ^ (j >> 11U);
        out |= (bit & 1U) << k;
    }
    return out;
}

// How the PS3 stores a format, as its rules state it.
struct Ps3Format {
    std::size_t bytes = 4;   // of a pixel, a texel or a 4 x 4 block
    bool blocks = false;     // 4 x 4 blocks, tiled in groups of 8192
    std::size_t swap = 1;    // afterwards the bytes of every unit of this size are reversed
    bool floats = false;     // float values: a 2D chain has the levels a DDS file stores
};

// The levels of one face (or a volume) from the start of `source` into
// `result`, as long, each converted on its own; bytes in no level keep their
// place, and so does a level that would reach past the buffer, with every
// level after it.
//  - Pixels of at most 4 bytes (not floats) and blocks, in 2D: level l is
//    (W >> l) x (H >> l), no lower bound, ending at the first side of 0;
//    blocks count width x height x bytes / 16 bytes, and only the whole
//    groups of 8192 of a level of at least 8192 blocks are permuted.
//  - Floats, wider texels and volumes: every side max(1, side >> l), ending
//    after the 1 x 1 (x 1) level. A wider texel is bytes / 4 words of 4 bytes and
//    its level that many times wider.
// Morton levels whose sides are not powers of two keep their bytes. Gives
// the end of the last level converted.
inline std::size_t ps3_levels(const Ps3Format& f, std::array<std::int64_t, 3> top, std::int64_t levels, bool volume,
                              std::span<const std::byte> source, std::span<std::byte> result, Direction direction) {
    std::copy(source.begin(), source.end(), result.begin());
    const bool no_lower_bound = !volume && !f.floats && (f.blocks || f.bytes <= 4);
    const std::size_t element = f.blocks ? f.bytes : std::min<std::size_t>(f.bytes, 4);
    const auto widen = static_cast<std::int64_t>(f.blocks ? 1 : f.bytes / element);
    std::size_t offset = 0;
    for (std::int64_t l = 0; l < levels && l < 63; ++l) {
        std::array<std::int64_t, 3> side{};
        for (std::size_t a = 0; a < 3; ++a) side[a] = no_lower_bound ? top[a] >> l : std::max<std::int64_t>(top[a] >> l, 1);
        if (!volume) side[2] = 1;
        if (side[0] <= 0 || side[1] <= 0) break;
        if (l > 0 && !no_lower_bound && std::max({top[0] >> (l - 1), top[1] >> (l - 1), volume ? top[2] >> (l - 1) : 1}) <= 1) break;
        const auto size = static_cast<std::size_t>(side[0] * side[1] * side[2] * static_cast<std::int64_t>(f.bytes) / (f.blocks ? 16 : 1));
        if (size > source.size() - offset) break;
        const std::int64_t w = side[0] * widen, count = static_cast<std::int64_t>(size / element);
        const bool morton = std::has_single_bit(std::uint64_t(w)) && std::has_single_bit(std::uint64_t(side[1])) &&
                            std::has_single_bit(std::uint64_t(side[2]));
        for (std::int64_t k = 0; k < count; ++k) {
            std::uint64_t p = static_cast<std::uint64_t>(k);
            if (f.blocks && count >= 8192 && k < count / 8192 * 8192) p = block_tile_by_table(static_cast<std::uint32_t>(k));
            if (!f.blocks && morton) p = morton_index(k % w, k / w % side[1], k / w / side[1], w, side[1], side[2]);
            const bool swizzle = direction == Direction::swizzle;
            std::memcpy(&result[offset + (swizzle ? p : k) * element], &source[offset + (swizzle ? k : p) * element], element);
        }
        offset += size;
    }
    return offset;
}

// A whole payload of `faces` faces of face_bytes each (a 2D texture or a
// volume: one face, the whole payload), each face converted on its own, then
// the bytes of every swap unit reversed: for 2-byte pixels over the whole
// payload, otherwise from its start to the end of the last face's levels.
inline std::vector<std::byte> ps3_payload(const Ps3Format& f, std::array<std::int64_t, 3> top, std::int64_t levels,
                                          bool volume, std::size_t faces, std::size_t face_bytes,
                                          const std::vector<std::byte>& payload, Direction direction) {
    std::vector<std::byte> result = payload;
    if (faces == 1) face_bytes = payload.size();
    std::size_t end = 0;
    for (std::size_t face = 0; face < faces; ++face) {
        end = ps3_levels(f, top, levels, volume, std::span(payload).subspan(face * face_bytes, face_bytes),
                         std::span(result).subspan(face * face_bytes, face_bytes), direction);
    }
    const std::size_t swap_end = f.bytes == 2 && !f.blocks ? result.size() : (faces - 1) * face_bytes + end;
    for (std::size_t at = 0; f.swap > 1 && at + f.swap <= swap_end; at += f.swap) {
        std::reverse(&result[at], &result[at] + f.swap);
    }
    return result;
}

}  // namespace ddsswizzle::testing
