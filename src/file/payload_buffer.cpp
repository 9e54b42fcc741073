// Whole-file buffers, with a huge-page hint on Linux and their pages faulted
// in with one call.
#include "file/payload_buffer.h"

#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace ddsswizzle::file {
namespace {

#ifdef __linux__
// Size of a transparent huge page on x86-64 and most other Linux systems;
// buffers at least twice this large are aligned to it and advised.
constexpr std::size_t huge_page = std::size_t{2} << 20U;
constexpr std::size_t small_page = 4096;

// Every byte of a payload buffer is written (the source by the read, the
// result by the conversion), so its pages are faulted in at once, which
// costs the kernel far less than one fault a page: for the small files a
// script converts by the thousand that is a good part of the tool's own
// time. Only a hint; kernels before 5.14 refuse it and the pages come one
// by one as before.
void populate(void* data, std::size_t size) noexcept {
#ifdef MADV_POPULATE_WRITE
    // The whole pages inside the buffer: madvise takes page-aligned ranges.
    const std::size_t lead = (small_page - reinterpret_cast<std::uintptr_t>(data) % small_page) % small_page;
    const std::size_t length = size > lead ? (size - lead) / small_page * small_page : 0;
    if (length > 0) static_cast<void>(::madvise(static_cast<std::byte*>(data) + lead, length, MADV_POPULATE_WRITE));
#else
    static_cast<void>(data);
    static_cast<void>(size);
#endif
}
#endif

}  // namespace

void FreeBuffer::operator()(std::byte* data) const noexcept { std::free(data); }

std::size_t payload_buffer_capacity(std::size_t size) noexcept {
    const std::size_t asked = size == 0 ? 1 : size;
#ifdef __linux__
    if (asked >= 2 * huge_page) return (asked + huge_page - 1) / huge_page * huge_page;
#endif
    return asked;
}

PayloadBuffer allocate_payload_buffer(std::size_t size) noexcept {
    const std::size_t asked = payload_buffer_capacity(size);
#ifdef __linux__
    if (asked >= 2 * huge_page) {
        void* data = std::aligned_alloc(huge_page, asked);
        if (data == nullptr) return PayloadBuffer();
        // Only a hint: without huge pages the buffer works the same.
        static_cast<void>(::madvise(data, asked, MADV_HUGEPAGE));
        populate(data, asked);
        return PayloadBuffer(static_cast<std::byte*>(data));
    }
    void* data = std::malloc(asked);
    if (data != nullptr) populate(data, asked);
    return PayloadBuffer(static_cast<std::byte*>(data));
#else
    return PayloadBuffer(static_cast<std::byte*>(std::malloc(asked)));
#endif
}

}  // namespace ddsswizzle::file
