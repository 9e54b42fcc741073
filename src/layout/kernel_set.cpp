// Processor detection for the level walks.
#include "layout/kernel_set.h"

#include "layout/simd.h"

namespace ddsswizzle::engine {

bool kernel_set_available(KernelSet set) noexcept {
    switch (set) {
        case KernelSet::portable: return true;
        case KernelSet::sse2: return DDSSWIZZLE_HAVE_SSE2 != 0;
        case KernelSet::avx2:
#if DDSSWIZZLE_HAVE_AVX2_DISPATCH
            return __builtin_cpu_supports("avx2") != 0;
#else
            return false;
#endif
    }
    return false;
}

KernelSet best_kernel_set() noexcept {
    if (kernel_set_available(KernelSet::avx2)) return KernelSet::avx2;
    if (kernel_set_available(KernelSet::sse2)) return KernelSet::sse2;
    return KernelSet::portable;
}

}  // namespace ddsswizzle::engine
