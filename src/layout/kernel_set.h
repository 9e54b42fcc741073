// Which instruction set the level walks use. The walks pick the best the
// processor offers; the tests run every set the processor can execute against
// the same reference, so that no variant goes unchecked.
#pragma once

#include <cstdint>
#include <span>

#include "layout/level_chain.h"

namespace ddsswizzle {

enum class KernelSet {
    portable,  // plain C++ copies, for any processor
    sse2,      // 16-byte registers (every x86-64 processor)
    avx2,      // 32-byte registers, where the processor has them
};

// The widest set this build can use on this processor.
KernelSet best_kernel_set() noexcept;

// Whether this build and processor can run the set.
bool kernel_set_available(KernelSet set) noexcept;

// The walks of morton.h and block_tiling.h with the kernel set chosen by the
// caller; the set must be available (an unavailable one falls back to the
// portable kernels).
void convert_pixel_levels_using(KernelSet set, std::uint32_t bytes_per_pixel, const LevelChain& chain,
                                std::span<const std::byte> source, std::span<std::byte> result,
                                Direction direction) noexcept;
void convert_volume_levels_using(KernelSet set, std::uint32_t bytes_per_pixel, const VolumeChain& chain,
                                 std::span<const std::byte> source, std::span<std::byte> result,
                                 Direction direction) noexcept;
void convert_block_levels_using(KernelSet set, std::uint32_t block_bytes, const LevelChain& chain,
                                std::span<const std::byte> source, std::span<std::byte> result,
                                Direction direction) noexcept;

}  // namespace ddsswizzle
