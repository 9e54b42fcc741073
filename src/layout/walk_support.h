// Small helpers shared by the level walks: overflow-safe size arithmetic and
// fixed-size element moves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace ddsswizzle::detail {

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

}  // namespace ddsswizzle::detail
