// Small helpers shared by the level walks and the geometry: overflow-safe size
// arithmetic, element moves, and the byte-order swaps both consoles apply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <cstring>
#include <limits>

namespace ddsswizzle::engine::detail {

inline constexpr std::uint64_t size_saturated = std::numeric_limits<std::uint64_t>::max();

// a x b x c for non-negative a and b below 2^31, saturating instead of
// wrapping. a x b alone always fits in 64 bits.
constexpr std::uint64_t saturating_product(std::uint64_t a, std::uint64_t b,
                                           std::uint64_t c) noexcept {
    const std::uint64_t ab = a * b;
    if (c != 0 && ab > size_saturated / c) return size_saturated;
    return ab * c;
}

constexpr std::uint64_t saturating_sum(std::uint64_t a, std::uint64_t b) noexcept {
    return a > size_saturated - b ? size_saturated : a + b;
}

// Copies `Bytes` bytes, reversing the bytes inside every Swap-byte unit:
// first the two bytes of every 16-bit word, then, for 4-byte units, the two
// halves of every 32-bit word. Each step rotates whole words, which exchanges
// the same bytes in memory whichever byte order the host has; and on words
// of one size at a time the compiler turns each step into a few vector shifts.
template <std::uint32_t Swap, std::size_t Bytes>
inline void copy_swapped(std::byte* out, const std::byte* in) noexcept {
    if constexpr (Swap == 1) {
        std::memcpy(out, in, Bytes);
    } else {
        std::array<std::uint16_t, Bytes / 2> halves{};
        std::memcpy(halves.data(), in, Bytes);
        for (std::uint16_t& h : halves) h = static_cast<std::uint16_t>((h >> 8U) | (h << 8U));
        if constexpr (Swap == 4) {
            std::array<std::uint32_t, Bytes / 4> words{};
            std::memcpy(words.data(), halves.data(), Bytes);
            for (std::uint32_t& w : words) w = (w >> 16U) | (w << 16U);
            std::memcpy(out, words.data(), Bytes);
        } else {
            std::memcpy(out, halves.data(), Bytes);
        }
    }
}

// Moves one element of Fixed bytes (or of runtime_size bytes when Fixed is 0).
// A constant size lets the compiler turn the copy into a single load/store.
template <std::size_t Fixed>
inline void move_element(std::byte* to, const std::byte* from, std::size_t runtime_size) noexcept {
    if constexpr (Fixed != 0) {
        std::memcpy(to, from, Fixed);
    } else {
        std::memcpy(to, from, runtime_size);
    }
}

// A piece of a conversion's output: the bytes [begin, begin + size) of the
// whole result, written into out (out[0] is byte `begin`). A conversion in
// pieces writes every byte of the result once, in whatever order its caller
// asks for the pieces, with the same bytes as the conversion of the whole.
struct Piece {
    std::byte* out = nullptr;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;

    // The bytes of [from, to) the piece holds: [lo, hi), empty when lo >= hi.
    constexpr std::uint64_t lo(std::uint64_t from) const noexcept { return from > begin ? from : begin; }
    constexpr std::uint64_t hi(std::uint64_t to) const noexcept { return to < end ? to : end; }
    // Where byte `offset` of the result goes; offset is inside the piece.
    std::byte* place(std::uint64_t offset) const noexcept { return out + (offset - begin); }
};

// Writes result bytes [from, to), which are source bytes [0, to - from), as
// far as they fall in the piece.
inline void copy_into(const Piece& piece, std::uint64_t from, std::uint64_t to, const std::byte* source) noexcept {
    const std::uint64_t lo = piece.lo(from);
    const std::uint64_t hi = piece.hi(to);
    if (lo < hi) std::memcpy(piece.place(lo), source + (lo - from), static_cast<std::size_t>(hi - lo));
}

// The same, reversing the bytes of every `unit`-byte unit counted from
// `from`; a last partial unit has no partners and is copied as it is.
inline void copy_swapped_into(const Piece& piece, std::uint64_t from, std::uint64_t to, const std::byte* source,
                              std::uint32_t unit) noexcept {
    const std::uint64_t units_end = unit > 1 ? from + (to - from) / unit * unit : from;
    for (std::uint64_t at = piece.lo(from); at < piece.hi(units_end); ++at) {
        const std::uint64_t in_unit = (at - from) % unit;
        *piece.place(at) = source[at - from - in_unit + unit - 1 - in_unit];
    }
    copy_into(piece, units_end, to, source + (units_end - from));
}

}  // namespace ddsswizzle::engine::detail
