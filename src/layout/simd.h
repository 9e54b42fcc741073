// Vector instruction support for the level walks (internal to src/layout).
//
// Every x86-64 processor has SSE2, so it is used whenever the compiler targets
// one. AVX2 is newer: with GCC or Clang on x86-64 the walks compile their
// 32-byte kernels separately, for that instruction set alone, and call them
// only after asking the processor. Elsewhere the portable kernels are used,
// and everywhere when the build asks for them alone (CMake option
// DDSSWIZZLE_PORTABLE_KERNELS), so that they can be tested on their own.
#pragma once

#include <cstddef>

#if defined(DDSSWIZZLE_PORTABLE_KERNELS)
#define DDSSWIZZLE_HAVE_SSE2 0
#elif defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define DDSSWIZZLE_HAVE_SSE2 1
#else
#define DDSSWIZZLE_HAVE_SSE2 0
#endif

#if DDSSWIZZLE_HAVE_SSE2 && defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define DDSSWIZZLE_HAVE_AVX2_DISPATCH 1
#else
#define DDSSWIZZLE_HAVE_AVX2_DISPATCH 0
#endif

namespace ddsswizzle::engine::detail {

#if DDSSWIZZLE_HAVE_SSE2
inline __m128i load16(const std::byte* at) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

inline void store16(std::byte* at, __m128i value) noexcept {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
}

inline void stream16(std::byte* at, __m128i value) noexcept {
    _mm_stream_si128(reinterpret_cast<__m128i*>(at), value);
}
#endif

// Asks for the 64-byte line holding `at` ahead of use, where the walk's reads
// are too scattered for the hardware prefetcher; a hint only (nothing without
// SSE2), which never faults, but `at` stays inside the buffer all the same.
inline void prefetch([[maybe_unused]] const std::byte* at) noexcept {
#if DDSSWIZZLE_HAVE_SSE2
    _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
#endif
}

}  // namespace ddsswizzle::engine::detail
