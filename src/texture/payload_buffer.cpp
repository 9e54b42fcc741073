// Whole-file buffers, with a huge-page hint on Linux.
#include "texture/payload_buffer.h"

#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace ddsswizzle {
namespace {

#ifdef __linux__
// Size of a transparent huge page on x86-64 and most other Linux systems;
// buffers at least twice this large are aligned to it and advised.
constexpr std::size_t huge_page = std::size_t{2} << 20U;
#endif

}  // namespace

void FreeBuffer::operator()(std::byte* data) const noexcept { std::free(data); }

PayloadBuffer allocate_payload_buffer(std::size_t size) noexcept {
    const std::size_t asked = size == 0 ? 1 : size;
#ifdef __linux__
    if (asked >= 2 * huge_page) {
        const std::size_t rounded = (asked + huge_page - 1) / huge_page * huge_page;
        void* data = std::aligned_alloc(huge_page, rounded);
        if (data != nullptr) {
            // Only a hint: without huge pages the buffer works the same.
            static_cast<void>(::madvise(data, rounded, MADV_HUGEPAGE));
            return PayloadBuffer(static_cast<std::byte*>(data));
        }
        return PayloadBuffer();
    }
#endif
    return PayloadBuffer(static_cast<std::byte*>(std::malloc(asked)));
}

}  // namespace ddsswizzle
