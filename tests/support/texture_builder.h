// Builds DDS texture images for tests and samples: a header with the fields
// the tool reads set as asked and every other field filled with recognisable
// values, followed by a payload of pseudo-random or patterned bytes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace ddsswizzle::testing {

// The header fields a test sets; the byte offsets are those of the DDS format.
struct TextureFields {
    std::int32_t width = 4;
    std::int32_t height = 4;
    std::uint32_t mip_count = 1;     // whole 32-bit field at offset 28
    std::string_view four_cc{};      // empty: zero bytes
    std::uint32_t format_flags = 0;  // whole 32-bit field at offset 80
    std::uint32_t bit_count = 0;     // whole 32-bit field at offset 88
    std::uint32_t caps2 = 0;         // offset 112: 0xFE00 cube map with all faces, 0x200000 volume
    std::uint32_t flags = 0x000A1007;  // offset 8: caps, height, width, pixel format, mip count, linear size
    std::uint32_t depth = 0;           // offset 24
    // The DX10 extension (written when four_cc is "DX10"): DXGI format,
    // resource dimension (3: 2D), misc flag (0x4: cube map), array size.
    std::array<std::uint32_t, 4> dx10{0, 3, 0, 1};
};

inline void put_u32(std::vector<std::byte>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFFU);
    }
}

inline std::vector<std::byte> make_header(const TextureFields& fields) {
    const bool extended = fields.four_cc == "DX10";
    std::vector<std::byte> header(extended ? 148 : 128);
    // Fill everything with a pattern first, so that a test can see that the
    // fields the tool does not read come back unchanged.
    for (std::size_t i = 0; i < header.size(); ++i) {
        header[i] = static_cast<std::byte>((i * 37U + 11U) & 0xFFU);
    }
    const char magic[4] = {'D', 'D', 'S', ' '};
    std::memcpy(header.data(), magic, 4);
    put_u32(header, 4, 124);
    put_u32(header, 8, fields.flags);
    put_u32(header, 12, static_cast<std::uint32_t>(fields.height));
    put_u32(header, 16, static_cast<std::uint32_t>(fields.width));
    put_u32(header, 24, fields.depth);
    put_u32(header, 28, fields.mip_count);
    put_u32(header, 76, 32);  // pixel-format size
    put_u32(header, 80, fields.format_flags);
    std::array<char, 4> code{};
    // An empty FourCC has a null data pointer, which memcpy may not be given
    // even for zero bytes; copy_n takes it.
    std::copy_n(fields.four_cc.begin(), std::min<std::size_t>(fields.four_cc.size(), 4), code.begin());
    std::memcpy(header.data() + 84, code.data(), 4);
    put_u32(header, 88, fields.bit_count);
    put_u32(header, 112, fields.caps2);
    for (std::size_t i = 0; extended && i < fields.dx10.size(); ++i) put_u32(header, 128 + 4 * i, fields.dx10[i]);
    return header;
}

// Small deterministic generator, so that failures reproduce.
inline std::uint32_t next_random(std::uint32_t& state) {
    state ^= state << 13U;
    state ^= state >> 17U;
    state ^= state << 5U;
    return state;
}

inline std::vector<std::byte> random_bytes(std::size_t length, std::uint32_t seed) {
    std::vector<std::byte> bytes(length);
    std::uint32_t state = seed | 1U;
    for (auto& b : bytes) b = static_cast<std::byte>(next_random(state) & 0xFFU);
    return bytes;
}

inline std::vector<std::byte> make_texture(const TextureFields& fields, std::size_t payload_length,
                                           std::uint32_t seed = 1) {
    std::vector<std::byte> file = make_header(fields);
    const std::vector<std::byte> payload = random_bytes(payload_length, seed);
    file.insert(file.end(), payload.begin(), payload.end());
    return file;
}

// Writes the bytes a text-mode file layer would alter into a texture: CR
// (0x0D) and LF (0x0A), alone and as a pair, and 0x1A, which ends a text file
// on Windows. They go into header fields the tool does not read (pitch and
// depth at 20, the reserved words from 32) and at the start, middle and end
// of the payload (which must be at least 5 bytes long).
inline void add_text_control_bytes(std::vector<std::byte>& file) {
    const std::array<std::byte, 5> pattern = {std::byte{0x0D}, std::byte{0x0A}, std::byte{0x1A},
                                              std::byte{0x0A}, std::byte{0x0D}};
    const std::size_t payload = file.size() - 128;
    for (const std::size_t offset : {std::size_t{20}, std::size_t{32}, std::size_t{128},
                                     128 + payload / 2, file.size() - pattern.size()}) {
        std::copy(pattern.begin(), pattern.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    }
}

// Bytes a real file stores for a mip chain: every level at least one pixel
// (or one block) on each side, as DDS writers do. For block formats this is
// more than the conversion counts for levels narrower than 4 pixels.
inline std::size_t stored_payload_size(std::int32_t width, std::int32_t height, std::uint32_t levels,
                                       std::uint32_t element_bytes, bool blocks) {
    std::size_t total = 0;
    std::size_t w = static_cast<std::size_t>(width);
    std::size_t h = static_cast<std::size_t>(height);
    for (std::uint32_t i = 0; i < levels; ++i) {
        const std::size_t cw = blocks ? (w + 3) / 4 : w;
        const std::size_t ch = blocks ? (h + 3) / 4 : h;
        total += std::max<std::size_t>(cw, 1) * std::max<std::size_t>(ch, 1) * element_bytes;
        w = std::max<std::size_t>(w / 2, 1);
        h = std::max<std::size_t>(h / 2, 1);
    }
    return total;
}

// Header fields of each surface class as a DDS writer sets them.
inline TextureFields dxt_fields(std::string_view four_cc, std::int32_t w, std::int32_t h, std::uint32_t levels) {
    return TextureFields{w, h, levels, four_cc, 0x4U, 0};
}
inline TextureFields rgba_fields(std::uint32_t bits, std::int32_t w, std::int32_t h, std::uint32_t levels) {
    return TextureFields{w, h, levels, {}, 0x41U, bits};
}
inline TextureFields luminance_fields(std::int32_t w, std::int32_t h, std::uint32_t levels) {
    return TextureFields{w, h, levels, {}, 0x20000U, 8};
}
// A file with the DX10 extension; misc_flag 0x4 makes it a cube map.
inline TextureFields dx10_fields(std::uint32_t dxgi_format, std::int32_t w, std::int32_t h, std::uint32_t levels,
                                 std::uint32_t misc_flag = 0) {
    TextureFields fields{w, h, levels, "DX10", 0x4U, 0};
    fields.dx10 = {dxgi_format, 3, misc_flag, 1};
    return fields;
}

}  // namespace ddsswizzle::testing
