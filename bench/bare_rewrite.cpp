// The floor for a durable in-place rewrite: reads a file whole with one
// read, writes the same bytes to a temporary file beside it, flushes that to
// the disk (fsync), renames it over the original and flushes the folder, so
// that the rename is on the disk too, with no conversion at all. ddsswizzle
// makes the same promise (the old file or the new one, even after a power
// cut) plus the layout work, so the ratio of the two times is the cost of
// the conversion and of the tool's own start-up.
//
// The buffer is read into as a careful rewrite would have it: anonymous
// memory with every page in place before the read (on Linux backed by huge
// pages where the system offers them), so the read copies into memory
// instead of taking a page fault every 4 KiB.
//
//   ddsswizzle_bare_rewrite FILE
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20U;
constexpr std::size_t small_page = 4096;

// length bytes of anonymous memory, aligned to a huge page, advised to be
// backed by huge pages and with every page in place; null when there is none.
std::byte* populated_buffer(std::size_t length) {
    const std::size_t mapped = length + huge_page;
    void* map = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return nullptr;
    auto* start = static_cast<std::byte*>(map);
    std::byte* buffer = start + (huge_page - reinterpret_cast<std::uintptr_t>(start) % huge_page) % huge_page;
    const std::size_t whole = (length + small_page - 1) / small_page * small_page;
    static_cast<void>(::madvise(buffer, whole, MADV_HUGEPAGE));
#ifdef MADV_POPULATE_WRITE
    if (::madvise(buffer, whole, MADV_POPULATE_WRITE) == 0) return buffer;
#endif
    for (std::size_t page = 0; page < length; page += small_page) buffer[page] = std::byte{0};  // kernels before 5.14
    return buffer;
}

bool transfer(int fd, std::byte* data, std::size_t length, bool writing) {
    for (std::size_t done = 0; done < length;) {
        const ssize_t moved = writing ? ::write(fd, data + done, length - done) : ::read(fd, data + done, length - done);
        if (moved <= 0) return false;
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: ddsswizzle_bare_rewrite FILE\n", stderr);
        return 2;
    }
    const std::string path = argv[1];
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (in < 0 || ::fstat(in, &info) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto length = static_cast<std::size_t>(info.st_size);
    std::byte* const buffer = populated_buffer(length);
    if (buffer == nullptr || !transfer(in, buffer, length, false)) {
        std::perror(argv[1]);
        return 1;
    }
    ::close(in);
    const std::string folder_path = std::filesystem::absolute(path).parent_path().string();
    const int folder = ::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string temporary = path + ".bare-rewrite.tmp";
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    const bool written = out >= 0 && transfer(out, buffer, length, true) && ::fsync(out) == 0;
    const bool closed = out >= 0 && ::close(out) == 0;
    if (folder < 0 || !written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        std::perror(temporary.c_str());
        ::unlink(temporary.c_str());
        return 1;
    }
    if (::fsync(folder) != 0) {
        std::perror(folder_path.c_str());
        return 1;
    }
    ::close(folder);
    return 0;
}
