// Builds GTF and XPR2 containers for the tests and the fuzzer's seeds from
// the containers' rules as written, nothing taken from src/: each texture's
// linear levels are pseudo-random bytes, placed byte by byte where the
// console reads them (Morton positions from oracles.h, tiled addresses from
// x360_oracle.h, the byte swap in memory order), every padding byte zero.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/oracles.h"
#include "support/texture_builder.h"
#include "support/x360_oracle.h"

namespace ddsswizzle::testing {

inline void put_be(std::vector<std::byte>& b, std::size_t at, std::uint64_t v, std::size_t n = 4) {
    if (b.size() < at + n) b.resize(at + n);
    for (std::size_t i = 0; i < n; ++i) b[at + i] = static_cast<std::byte>(v >> (8 * (n - 1 - i)));
}

inline std::uint64_t round_up(std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; }

// One texture: block side and bytes, the console's swap unit (1, 2, 4; on
// the Xbox 360 the xor mask of its endian field instead), sides, levels,
// faces; and its linear levels, face after face.
struct Built {
    std::uint64_t side = 1, bytes = 4, width = 1, height = 1, depth = 1, levels = 1, faces = 1;
    std::vector<std::byte> linear;
};

inline std::uint64_t level_blocks(std::uint64_t v, std::uint64_t l, std::uint64_t side) {
    return (std::max<std::uint64_t>(v >> l, 1) + side - 1) / side;
}

inline void make_linear(Built& t, std::uint32_t seed) {
    t.linear = random_bytes(stored_payload_size(t.width, t.height, t.levels, t.bytes, t.side > 1, t.depth) * t.faces, seed);
}

// ---- PS3 -------------------------------------------------------------------

struct GtfTexture {
    std::uint8_t format = 0x85;  // as stored: base | 0x20 LN
    std::uint32_t width = 8, height = 8, depth = 1, levels = 1, dimension = 2;
    bool cube = false;
    std::uint32_t pitch = 0;  // LN: bytes between rows; 0 with LN: the packed row
    bool packed_cube = false;  // LN cube: faces back to back
    std::uint32_t seed = 1;
    Built built{};
};

// GCM base format -> block side, bytes, swap unit.
inline std::array<std::uint64_t, 3> gcm_facts(std::uint8_t format) {
    const unsigned base = format & ~0x60U;
    if (base >= 0x86 && base <= 0x88) return {4, base == 0x86 ? 8U : 16U, 1};
    if (base == 0x81) return {1, 1, 1};
    if (base == 0x85 || base == 0x9E || base == 0x9C) return {1, 4, 4};
    return base == 0x9A ? std::array<std::uint64_t, 3>{1, 8, 2} : base == 0x9B ? std::array<std::uint64_t, 3>{1, 16, 4}
                                                                               : std::array<std::uint64_t, 3>{1, 2, 2};
}

// The texture's bytes as the console reads them.
inline std::vector<std::byte> gtf_data(GtfTexture& t) {
    const auto [side, bytes, unit] = gcm_facts(t.format);
    const bool ln = (t.format & 0x20) != 0, blocks = side > 1;
    Built& b = t.built;
    b = {side, bytes, t.width, t.dimension == 1 ? 1 : t.height, t.dimension == 3 ? t.depth : 1, t.levels, t.cube ? 6U : 1U, {}};
    make_linear(b, t.seed);
    const std::uint64_t pitch = ln ? (t.pitch != 0 ? t.pitch : level_blocks(b.width, 0, side) * bytes) : 0;
    if (ln && t.pitch == 0) t.pitch = static_cast<std::uint32_t>(pitch);
    std::vector<std::byte> face_bytes;
    std::vector<std::byte> out;
    std::uint64_t linear = 0;
    for (std::uint64_t f = 0; f < b.faces; ++f) {
        std::vector<std::byte> face;
        for (std::uint64_t l = 0; l < b.levels; ++l) {
            const std::uint64_t bw = level_blocks(b.width, l, side), bh = level_blocks(b.height, l, side);
            const std::uint64_t d = std::max<std::uint64_t>(b.depth >> l, 1), start = face.size();
            const std::uint64_t row = ln ? pitch : bw * bytes;
            face.resize(start + row * bh * d);
            const std::uint64_t words = bytes > 4 ? bytes / 4 : 1, element = bytes / words;
            for (std::uint64_t z = 0; z < d; ++z) {
                for (std::uint64_t y = 0; y < bh; ++y) {
                    for (std::uint64_t x = 0; x < bw * words; ++x) {
                        // Morton over 32-bit words for wider texels; rows otherwise.
                        const std::uint64_t at = !ln && !blocks
                            ? morton_index(x, y, z, std::int64_t(bw * words), std::int64_t(bh), std::int64_t(d)) * element
                            : (z * bh + y) * row + x * element;
                        for (std::uint64_t i = 0; i < element; ++i) {
                            const std::uint64_t k = i / unit * unit + unit - 1 - i % unit;  // reversed in its unit
                            face[start + at + i] = b.linear[linear + ((z * bh + y) * bw * words + x) * element + k];
                        }
                    }
                }
            }
            linear += bw * bh * d * bytes;
        }
        if (f + 1 < b.faces && !(ln && t.packed_cube)) face.resize(round_up(face.size(), 128));
        out.insert(out.end(), face.begin(), face.end());
    }
    return out;
}

// A GTF file: header, records, each texture on a 128-byte boundary.
inline std::vector<std::byte> build_gtf(std::vector<GtfTexture>& textures) {
    std::vector<std::vector<std::byte>> data;
    for (GtfTexture& t : textures) data.push_back(gtf_data(t));
    std::vector<std::byte> file;
    const std::uint64_t first = round_up(std::max<std::uint64_t>(12 + 36 * textures.size(), 0x80), 128);
    std::uint64_t at = first;
    put_be(file, 0, 0x02020000);
    put_be(file, 8, textures.size());
    for (std::size_t i = 0; i < textures.size(); ++i) {
        const GtfTexture& t = textures[i];
        const std::size_t r = 12 + 36 * i;
        at = round_up(at, 128);
        // id, offset, size; format, levels, dimension, cube map, remap; sides; pitch, runtime offset
        const std::array<std::array<std::uint64_t, 3>, 13> fields = {{{0, i, 4}, {4, at, 4}, {8, data[i].size(), 4},
            {12, t.format, 1}, {13, t.levels, 1}, {14, t.dimension, 1}, {15, t.cube ? 1U : 0U, 1}, {16, 0xAAE4, 4},
            {20, t.width, 2}, {22, t.height, 2}, {24, t.depth, 2}, {28, t.pitch, 4}, {32, 0, 4}}};
        for (const auto& [offset, value, bytes] : fields) put_be(file, r + offset, value, bytes);
        file.resize(at);
        file.insert(file.end(), data[i].begin(), data[i].end());
        at += data[i].size();
    }
    put_be(file, 4, file.size() - first);
    return file;
}

// ---- Xbox 360 --------------------------------------------------------------

struct XprTexture {
    std::uint32_t format = 0x06, endian = 2, swizzle = 0x60A;
    std::uint32_t width = 64, height = 64, levels = 1;
    bool cube = false, tiled = true, packed = true;
    bool mips_first = false;  // the mip area on the pages before the base area
    std::string name = "tex";
    std::uint32_t seed = 1;
    std::uint32_t fourcc = 0;  // another resource than a texture: its type and 52 bytes of data
    Built built{};
};

inline std::array<std::uint64_t, 2> x360_facts(std::uint32_t format) {
    if (format == 0x12 || format == 0x3B) return {4, 8};
    if (format == 0x13 || format == 0x14 || format == 0x31) return {4, 16};
    const std::uint64_t bytes = format == 0x02 ? 1 : format == 0x06 || format == 0x24 ? 4 : format == 0x20 ? 8 : format == 0x26 ? 16 : 2;
    return {1, bytes};
}

// An XPR2 file: entries, names, 52-byte headers in a 2048-byte header block
// (or a multiple), then each texture's base area and mip area on pages.
inline std::vector<std::byte> build_xpr2(std::vector<XprTexture>& textures) {
    const std::uint64_t count = textures.size();
    std::uint64_t names = 4 + 16 * count + 4, at = names;
    std::vector<std::uint64_t> name_at, header_at;
    for (const XprTexture& t : textures) name_at.push_back(at), at += t.name.size() + 1;
    at = round_up(at + 4, 16);
    for (std::size_t i = 0; i < textures.size(); ++i) header_at.push_back(at), at += 52;
    const std::uint64_t header_size = round_up(at, 2048), data = 12 + header_size;
    std::vector<std::byte> file(data);
    put_be(file, 0, 0x58505232);
    put_be(file, 4, header_size);
    put_be(file, 12, count);
    std::uint64_t page = 0;
    for (std::size_t i = 0; i < textures.size(); ++i) {
        XprTexture& t = textures[i];
        const std::uint64_t e = 16 + 16 * i, h = 12 + header_at[i];
        put_be(file, e, t.fourcc != 0 ? t.fourcc : t.cube ? 0x5458434D : 0x54583244);
        put_be(file, e + 4, header_at[i]);
        put_be(file, e + 8, 52);
        put_be(file, e + 12, name_at[i]);
        std::copy(t.name.begin(), t.name.end(), reinterpret_cast<char*>(file.data()) + 12 + name_at[i]);
        if (t.fourcc != 0) {
            for (std::uint64_t k = 0; k < 52; ++k) file[h + k] = static_cast<std::byte>(k * 7 + 1);
            continue;
        }
        const auto [side, bytes] = x360_facts(t.format);
        Built& b = t.built;
        b = {side, bytes, t.width, t.height, 1, t.levels, t.cube ? 6U : 1U, {}};
        make_linear(b, t.seed);
        const X360Texture tiling{b.bytes, side, 1, std::int64_t(b.width), std::int64_t(b.height), std::int64_t(b.levels), b.faces,
                                 t.packed, t.packed};
        const std::vector<OracleLevel> levels = x360_oracle_layout(tiling);
        const std::uint64_t base_bytes = b.faces * levels[0].slice;
        const std::uint64_t end = levels.back().offset + b.faces * levels.back().slice;
        const bool one_area = end == base_bytes;
        const std::uint64_t pitch_blocks = round_up(level_blocks(b.width, 0, side), 32);
        const std::uint64_t row_bytes = round_up(pitch_blocks * bytes, 256);
        const std::uint64_t mip_pages = (end - base_bytes) / 4096;
        const std::uint64_t base = t.mips_first ? page + mip_pages : page;
        const std::uint64_t mips = one_area ? base : t.mips_first ? page : page + base_bytes / 4096;
        const std::uint64_t area = t.tiled ? end : row_bytes * level_blocks(b.height, 0, side);
        page += round_up(area, 4096) / 4096;
        file.resize(data + page * 4096);
        // The tiled image, or the rows of a linear one, its base area and
        // mip area each on its pages, every byte at its address xor the
        // endian field's mask.
        std::vector<std::byte> image(t.tiled ? 0 : area);
        for (std::uint64_t y = 0; !t.tiled && y < level_blocks(b.height, 0, side); ++y) {
            const std::uint64_t row = level_blocks(b.width, 0, side) * bytes;
            std::copy_n(b.linear.begin() + std::ptrdiff_t(y * row), row, image.begin() + std::ptrdiff_t(y * row_bytes));
        }
        if (t.tiled) image = x360_oracle_convert(tiling, b.linear, Direction::swizzle);
        const std::uint64_t mask = std::array<std::uint64_t, 4>{0, 1, 3, 2}[t.endian];
        for (std::uint64_t a = 0; a < image.size(); ++a) {
            const std::uint64_t at = a < base_bytes || !t.tiled ? base * 4096 + a : mips * 4096 + a - base_bytes;
            file[data + (at ^ mask)] = image[a];
        }
        // Common (a texture), reference count, the flushes, then the six dwords of the fetch constant.
        const std::array<std::array<std::uint64_t, 2>, 10> fields = {{{0, 3}, {4, 1}, {0x14, 0xFFFF0000}, {0x18, 0xFFFF0000},
            {0x1C, (t.tiled ? 0x80000000U : 0) | (pitch_blocks * side / 32) << 22U | 2},
            {0x20, base << 12U | t.endian << 6U | t.format}, {0x24, (t.height - 1) << 13U | (t.width - 1)},
            {0x28, std::uint64_t{t.swizzle} << 1U}, {0x2C, (t.levels - 1) << 6U},
            {0x30, mips << 12U | (t.packed ? 0x800U : 0) | (t.cube ? 3U : 1U) << 9U}}};
        for (const auto& [offset, value] : fields) put_be(file, h + offset, value);
    }
    put_be(file, 8, file.size() - data);
    return file;
}

}  // namespace ddsswizzle::testing
