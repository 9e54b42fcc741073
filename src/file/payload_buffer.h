// The two whole-file buffers of a conversion. Large buffers are asked to be
// backed by huge pages where the system offers them: a texture of tens of
// mebibytes then costs a few dozen page faults instead of tens of thousands,
// and the scattered accesses of the layouts miss the TLB far less often.
#pragma once

#include <cstddef>
#include <memory>

namespace ddsswizzle::file {

struct FreeBuffer {
    void operator()(std::byte* data) const noexcept;
};

using PayloadBuffer = std::unique_ptr<std::byte[], FreeBuffer>;

// Uninitialised storage of size bytes, or null when it cannot be had.
PayloadBuffer allocate_payload_buffer(std::size_t size) noexcept;

// The bytes allocated for a buffer of size bytes: on Linux, a buffer of at
// least two huge pages is rounded up to whole huge pages (and aligned to
// them); otherwise size itself, at least 1.
std::size_t payload_buffer_capacity(std::size_t size) noexcept;

}  // namespace ddsswizzle::file
