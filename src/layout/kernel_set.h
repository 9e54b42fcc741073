// Which instruction set the PS3 level walks use. They pick the best the
// processor offers; the tests run every set the processor can execute against
// the same reference, so that no variant goes unchecked.
#pragma once

#include <cstdint>

namespace ddsswizzle::engine {

enum class KernelSet {
    portable,  // plain C++ copies, for any processor
    sse2,      // 16-byte registers (every x86-64 processor)
    avx2,      // 32-byte registers, where the processor has them
};

// The widest set this build can use on this processor.
KernelSet best_kernel_set() noexcept;

// Whether this build and processor can run the set.
bool kernel_set_available(KernelSet set) noexcept;

}  // namespace ddsswizzle::engine
