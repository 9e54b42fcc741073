// Builds DDS texture images for the tests and the fuzzers' seeds: a header
// with the fields the tool reads set as asked and every other byte a
// recognisable pattern (so a test sees that they come back unchanged),
// followed by a payload of pseudo-random bytes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace ddsswizzle::testing {

// The header fields a test sets, whole 32-bit words at their DDS offsets.
struct TextureFields {
    std::int32_t width = 4;            // 16
    std::int32_t height = 4;           // 12
    std::uint32_t mip_count = 1;       // 28
    std::string_view four_cc{};        // 84; empty: zero bytes; "DX10" adds the extension
    std::uint32_t format_flags = 0;    // 80
    std::uint32_t bit_count = 0;       // 88
    std::uint32_t caps2 = 0;           // 112: 0xFE00 cube map with all faces, 0x200000 volume
    std::uint32_t flags = 0x000A1007;  // 8: caps, height, width, pixel format, mip count, linear size
    std::uint32_t depth = 0;           // 24
    // The DX10 extension at 128: DXGI format, resource dimension (3: 2D),
    // misc flag (0x4: cube map), array size.
    std::array<std::uint32_t, 4> dx10{0, 3, 0, 1};
};

inline void put_u32(std::vector<std::byte>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::byte>(value >> (8 * i));
}

inline std::vector<std::byte> make_header(const TextureFields& f) {
    const bool extended = f.four_cc == "DX10";
    std::vector<std::byte> header(extended ? 148 : 128);
    for (std::size_t i = 0; i < header.size(); ++i) header[i] = static_cast<std::byte>(i * 37 + 11);
    const std::pair<std::size_t, std::uint32_t> words[] = {
        {0, 0x20534444},  // "DDS "
        {4, 124},         {8, f.flags},      {12, static_cast<std::uint32_t>(f.height)},
        {16, static_cast<std::uint32_t>(f.width)}, {24, f.depth}, {28, f.mip_count},
        {76, 32},         {80, f.format_flags}, {84, 0}, {88, f.bit_count}, {112, f.caps2},
    };
    for (const auto& [offset, value] : words) put_u32(header, offset, value);
    std::transform(f.four_cc.begin(), f.four_cc.begin() + std::min<std::size_t>(f.four_cc.size(), 4), header.begin() + 84,
                   [](char c) { return static_cast<std::byte>(c); });
    for (std::size_t i = 0; extended && i < f.dx10.size(); ++i) put_u32(header, 128 + 4 * i, f.dx10[i]);
    return header;
}

// Deterministic (xorshift), so that failures reproduce.
inline std::vector<std::byte> random_bytes(std::size_t length, std::uint32_t seed) {
    std::vector<std::byte> bytes(length);
    std::uint32_t state = seed | 1U;
    for (std::byte& b : bytes) {
        state ^= state << 13U;
        state ^= state >> 17U;
        state ^= state << 5U;
        b = static_cast<std::byte>(state);
    }
    return bytes;
}

inline std::vector<std::byte> make_texture(const TextureFields& fields, std::size_t payload, std::uint32_t seed = 1) {
    std::vector<std::byte> file = make_header(fields), bytes = random_bytes(payload, seed);
    file.insert(file.end(), bytes.begin(), bytes.end());
    return file;
}

// Bytes a DDS file stores for a mip chain: every level at least one pixel
// (or one 4 x 4 block) on each side, and one slice deep.
inline std::size_t stored_payload_size(std::size_t w, std::size_t h, std::size_t levels, std::size_t element, bool blocks,
                                       std::size_t depth = 1) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < levels; ++i) {
        const std::size_t lw = std::max<std::size_t>(w >> i, 1), lh = std::max<std::size_t>(h >> i, 1);
        total += (blocks ? (lw + 3) / 4 : lw) * (blocks ? (lh + 3) / 4 : lh) * std::max<std::size_t>(depth >> i, 1) * element;
    }
    return total;
}

// Header fields of each kind of surface as a DDS writer sets them.
inline TextureFields dxt_fields(std::string_view four_cc, std::int32_t w, std::int32_t h, std::uint32_t levels) {
    return {w, h, levels, four_cc, 0x4U, 0};
}
inline TextureFields rgba_fields(std::uint32_t bits, std::int32_t w, std::int32_t h, std::uint32_t levels) {
    return {w, h, levels, {}, 0x41U, bits};
}
inline TextureFields dx10_fields(std::uint32_t dxgi, std::int32_t w, std::int32_t h, std::uint32_t levels) {
    return {w, h, levels, "DX10", 0x4U, 0, 0, 0x000A1007, 0, {dxgi, 3, 0, 1}};
}

}  // namespace ddsswizzle::testing
