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

// Copies source[from, to) to the same offsets of result.
inline void copy_span(const std::byte* source, std::byte* result, std::uint64_t from,
                      std::uint64_t to) noexcept {
    if (to > from) std::memcpy(result + from, source + from, static_cast<std::size_t>(to - from));
}

// The same, reversing the bytes of every `unit`-byte unit from `from` (a
// multiple of the unit) on; a last partial unit has no partners and is
// copied as it is.
inline void copy_span_swapped(const std::byte* source, std::byte* result, std::uint64_t from, std::uint64_t to,
                              std::uint32_t unit) noexcept {
    std::uint64_t at = from;
    for (; unit > 1 && at + unit <= to; at += unit) {
        for (std::uint32_t i = 0; i < unit; ++i) result[at + i] = source[at + unit - 1 - i];
    }
    copy_span(source, result, at, to);
}

}  // namespace ddsswizzle::engine::detail
