// The floor for a durable in-place rewrite: reads a file whole with one
// read, writes the same bytes to a temporary file beside it, flushes that to
// the disk (fsync), renames it over the original and flushes the folder, so
// that the rename is on the disk too, with no conversion at all. ddsswizzle makes the same promise (the old file or the new one, even
// after a power cut) plus the layout work, so the ratio of the two times is
// the cost of the conversion and of the tool's own start-up.
// With --payload-buffer the file is read into the same kind of buffer the
// tool uses (huge pages where Linux offers them) instead of plain new[], to
// separate the cost of the conversion from the gain of that buffer.
//
//   ddsswizzle_bare_rewrite FILE [--payload-buffer]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "file/payload_buffer.h"

int main(int argc, char** argv) {
    const bool payload_buffer = argc == 3 && std::string_view(argv[2]) == "--payload-buffer";
    if (argc != 2 && !payload_buffer) {
        std::fputs("usage: ddsswizzle_bare_rewrite FILE [--payload-buffer]\n", stderr);
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
    std::unique_ptr<std::byte[]> plain;
    ddsswizzle::file::PayloadBuffer tool_like;
    if (payload_buffer) {
        tool_like = ddsswizzle::file::allocate_payload_buffer(length);
    } else {
        plain.reset(new (std::nothrow) std::byte[length]);
    }
    std::byte* const buffer = payload_buffer ? tool_like.get() : plain.get();
    if (buffer == nullptr || ::read(in, buffer, length) != static_cast<ssize_t>(length)) {
        std::perror(argv[1]);
        return 1;
    }
    ::close(in);
    const std::string folder_path = std::filesystem::absolute(path).parent_path().string();
    const int folder = ::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string temporary = path + ".bare-rewrite.tmp";
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    const bool written = out >= 0 && ::write(out, buffer, length) == static_cast<ssize_t>(length) &&
                         ::fsync(out) == 0;
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
