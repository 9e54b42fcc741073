// The exclusive creation of a new file, on POSIX systems and on Windows.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>

#include "file/file_create.h"
#include "file/file_transfer.h"

namespace ddsswizzle::file {
namespace {

#ifdef _WIN32
int open_new(const PathChar* path) noexcept {
    return ::_wopen(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
long long write_some(int fd, const std::byte* data, std::size_t size) noexcept {
    return ::_write(fd, data, static_cast<unsigned>(size));
}
int flush(int fd) noexcept { return ::_commit(fd); }
void remove(const PathChar* path) noexcept { static_cast<void>(::_wunlink(path)); }
#else
int open_new(const PathChar* path) noexcept {
    // Read and write for everyone the user's mask allows, as any new file.
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long long write_some(int fd, const std::byte* data, std::size_t size) noexcept { return ::write(fd, data, size); }
int flush(int fd) noexcept { return ::fsync(fd); }
void remove(const PathChar* path) noexcept { static_cast<void>(::unlink(path)); }
#endif

}  // namespace

FileStatus create_new_file(const PathChar* path, std::span<const std::byte> contents, int& error) noexcept {
    Descriptor created(open_new(path));
    if (created.fd < 0) {
        error = errno;
        return FileStatus::cannot_write;
    }
    const int fd = created.fd;
    const FileStatus written = detail::transfer_all(contents, FileStatus::cannot_write, FileStatus::short_read,
                                                    [fd](const std::byte* data, std::size_t size) {
                                                        return write_some(fd, data, size);
                                                    });
    // A write that moves nothing and names no error: the disk is full.
    error = written == FileStatus::short_read ? ENOSPC : errno;
    if (written == FileStatus::ok && flush(fd) == 0 && created.close()) return FileStatus::ok;
    if (written == FileStatus::ok) error = errno;
    static_cast<void>(created.close());
    remove(path);
    return FileStatus::cannot_write;
}

}  // namespace ddsswizzle::file
