// The Xbox 360 tiled layout in a plain form of its own, for the tests to
// check the real walk against: the address by arithmetic (macro tile and
// micro tile offsets, then pipe and bank spread over the result), the
// regions laid out one after another as a list, and a conversion that places
// one block, one byte at a time. Nothing is taken from src/ but the direction.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "layout/surface_geometry.h"

namespace ddsswizzle::testing {

using engine::Direction;

// A texture as the tiling sees it: block size, pixels on a block's side, the
// byte-order unit, level 0 in pixels, levels, faces; whether small levels
// share the packed tail, and whether a single level may be in it too (as an
// XPR2 descriptor's packed bit says; a DDS file never puts one there).
struct X360Texture {
    std::uint64_t block_bytes = 4, block_side = 1, swap_bytes = 4;
    std::int64_t width = 1, height = 1, level_count = 1;
    std::uint64_t faces = 1;
    bool packed = true, single_level_tail = false;
};

// Byte offset of block (x, y), `bytes` bytes a block, in a surface `pitch`
// blocks wide.
inline std::uint64_t x360_address_by_arithmetic(std::uint64_t x, std::uint64_t y, std::uint64_t pitch,
                                                std::uint64_t bytes) {
    const std::uint64_t macro = (x / 32 + y / 32 * (pitch / 32)) * 128 * bytes;
    const std::uint64_t micro = (x % 8 + y % 16 / 2 * 8) * bytes;
    const std::uint64_t t = macro + 2 * (micro - micro % 16) + micro % 16 + 16 * (y % 2);
    return t / 512 * 4096 + y / 16 % 2 * 2048 + t / 64 % 8 * 256 + (x / 8 + 2 * (y / 8 % 2)) % 4 * 64 + t % 64;
}

// Region start (face 0) and one face's slice in bytes; region size, where the
// level is drawn and its content, in blocks.
struct OracleLevel {
    std::uint64_t offset = 0, slice = 0, pitch = 0, rows = 0, x = 0, y = 0, width = 0, height = 0;
};

// Level by level: a level opens a new region after the last one, unless it
// is in the tail past the level that opened the tail's region. Level 0 has
// its real size rounded to tiles, unless it is itself in the tail; every
// other region is sized from the power-of-two texture.
inline std::vector<OracleLevel> x360_oracle_layout(const X360Texture& s) {
    const std::uint64_t side = s.block_side, levels = std::uint64_t(s.level_count);
    const auto blocks = [side](std::uint64_t pixels) { return (std::max<std::uint64_t>(pixels, 1) + side - 1) / side; };
    std::uint64_t w2 = 1, h2 = 1, tail = 0, end = 0;
    while (w2 < std::uint64_t(s.width)) w2 *= 2;
    while (h2 < std::uint64_t(s.height)) h2 *= 2;
    while ((std::min(w2, h2) >> tail) > 16) ++tail;
    std::vector<OracleLevel> out;
    for (std::uint64_t l = 0; l < levels; ++l) {
        const bool in_tail = s.packed && (levels > 1 || s.single_level_tail) && tail < levels && l >= tail;
        OracleLevel v = in_tail && l > tail ? out.back() : OracleLevel{};
        if (v.pitch == 0) {
            const bool real = l == 0 && !in_tail;
            v.pitch = (blocks(real ? std::uint64_t(s.width) : w2 >> l) + 31) / 32 * 32;
            v.rows = (blocks(real ? std::uint64_t(s.height) : h2 >> l) + 31) / 32 * 32;
            v.slice = (v.pitch * v.rows * s.block_bytes + 4095) / 4096 * 4096, v.offset = end;
            end += s.faces * v.slice;
        }
        v.x = v.y = 0, v.width = blocks(std::uint64_t(s.width) >> l), v.height = blocks(std::uint64_t(s.height) >> l);
        if (in_tail) {  // 16, 8, 4 pixels along the shorter side, then halving steps along the longer one
            const std::uint64_t k = l - tail, along = k < 3 ? 16 >> k : (std::max(w2, h2) >> tail) >> (k - 2);
            ((w2 > h2) == (k >= 3) ? v.x : v.y) = along / side;
        }
        out.push_back(v);
    }
    return out;
}

inline std::uint64_t x360_oracle_image_size(const X360Texture& s) {
    const OracleLevel last = x360_oracle_layout(s).back();
    return last.offset + s.faces * last.slice;
}

// Block by block: faces one after another on the linear side, each with all
// its levels, each level row by row; the image starts all zero.
inline std::vector<std::byte> x360_oracle_convert(const X360Texture& s, const std::vector<std::byte>& source,
                                                  Direction direction) {
    const std::vector<OracleLevel> layout = x360_oracle_layout(s);
    std::uint64_t linear = 0;
    for (const OracleLevel& v : layout) linear += s.faces * v.width * v.height * s.block_bytes;
    const bool swizzle = direction == Direction::swizzle;
    std::vector<std::byte> out(swizzle ? x360_oracle_image_size(s) : linear);
    linear = 0;
    for (std::uint64_t face = 0; face < s.faces; ++face) {
        for (const OracleLevel& v : layout) {
            for (std::uint64_t y = 0; y < v.height; ++y) {
                for (std::uint64_t x = 0; x < v.width; ++x, linear += s.block_bytes) {
                    const std::uint64_t tiled =
                        v.offset + face * v.slice + x360_address_by_arithmetic(v.x + x, v.y + y, v.pitch, s.block_bytes);
                    for (std::uint64_t i = 0; i < s.block_bytes; ++i) {  // byte i of a swap unit from byte unit - 1 - i
                        const std::uint64_t j = i / s.swap_bytes * s.swap_bytes + s.swap_bytes - 1 - i % s.swap_bytes;
                        (swizzle ? out[tiled + i] : out[linear + i]) = source[swizzle ? linear + j : tiled + j];
                    }
                }
            }
        }
    }
    return out;
}

}  // namespace ddsswizzle::testing
