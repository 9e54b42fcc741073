// The crash-safe rewrite on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "cli/file_io.h"
#include "cli/file_transfer.h"

namespace ddsswizzle::tool {
namespace {

// Some file systems cannot flush a folder and say so (EINVAL, ENOTSUP): they
// have nothing more to write, so that counts as done.
constexpr bool cannot_flush_folders(int error) noexcept {
#if EOPNOTSUPP != ENOTSUP  // the same error on Linux, another on some other systems
    if (error == EOPNOTSUPP) return true;
#endif
    return error == EINVAL || error == ENOTSUP;
}

bool flush_folder(int fd) noexcept {
    int flushed = ::fsync(fd);
    while (flushed != 0 && errno == EINTR) flushed = ::fsync(fd);
    return flushed == 0 || cannot_flush_folders(errno);
}

// Creates the temporary file, exclusively: a name another process holds is
// skipped for the next.
int create_temporary(const std::filesystem::path& target, std::filesystem::path& temporary) {
    for (int attempt = 0; attempt < detail::temporary_name_attempts; ++attempt) {
        std::filesystem::path name = detail::temporary_name(target, static_cast<int>(::getpid()), attempt, false);
        constexpr int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
        int fd = ::open(name.c_str(), flags, S_IRUSR | S_IWUSR);
        if (fd < 0 && errno == ENAMETOOLONG) {
            name = detail::temporary_name(target, static_cast<int>(::getpid()), attempt, true);
            fd = ::open(name.c_str(), flags, S_IRUSR | S_IWUSR);
        }
        if (fd >= 0) {
            temporary = std::move(name);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Gives the new file the target's owner (only possible for root; silently
// skipped otherwise) and permission bits. The owner goes first because a
// change of owner clears set-user-ID and set-group-ID bits.
bool apply_metadata(int fd, const OpenedFile& file) noexcept {
    [[maybe_unused]] const int owned = ::fchown(fd, static_cast<uid_t>(file.owner), static_cast<gid_t>(file.group));
    return ::fchmod(fd, static_cast<mode_t>(file.permissions)) == 0;
}

FileStatus write_all(int fd, std::span<const std::byte> contents) noexcept {
    return detail::transfer_all(contents, FileStatus::cannot_write, FileStatus::cannot_write,
                                [fd](const std::byte* data, std::size_t size) { return ::write(fd, data, size); });
}

}  // namespace

bool Descriptor::close() noexcept {
    const int closing = fd;
    fd = -1;
    return closing < 0 || ::close(closing) == 0;
}

FileStatus open_for_rewrite(const std::filesystem::path& path, OpenedFile& file) {
    // The file itself, symbolic links resolved, as an absolute path.
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(path, error);
    if (error) return FileStatus::cannot_open;
    // Read and write access at once: a file this user may not write is
    // refused here, before anything else happens.
    Descriptor opened(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    struct stat info {};
    if (opened.fd < 0 || ::fstat(opened.fd, &info) != 0 || !S_ISREG(info.st_mode)) return FileStatus::cannot_open;
    file.length = static_cast<std::uint64_t>(info.st_size);
    file.permissions = static_cast<std::uint32_t>(info.st_mode & 07777U);
    file.owner = static_cast<std::uint32_t>(info.st_uid);
    file.group = static_cast<std::uint32_t>(info.st_gid);
    file.target = std::move(target);
    file.descriptor.fd = std::exchange(opened.fd, -1);
    return FileStatus::ok;
}

FileStatus read_exact(OpenedFile& file, std::span<std::byte> buffer) noexcept {
    const int fd = file.descriptor.fd;
    return detail::transfer_all(buffer, FileStatus::cannot_read, FileStatus::short_read,
                                [fd](std::byte* data, std::size_t size) { return ::read(fd, data, size); });
}

FileStatus read_start(const std::filesystem::path& path, std::span<std::byte> start, std::uint64_t& length) {
    OpenedFile file;
    file.descriptor.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (file.descriptor.fd < 0 || ::fstat(file.descriptor.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return FileStatus::cannot_open;
    }
    length = static_cast<std::uint64_t>(info.st_size);
    return read_exact(file, start.first(static_cast<std::size_t>(std::min<std::uint64_t>(length, start.size()))));
}

FileStatus replace_file_contents(const OpenedFile& file, std::span<const std::byte> contents) {
    // A rename is a change to the folder, and it is on the disk only once the
    // folder is flushed: until then a power cut can bring the old file back.
    // The folder is opened before anything is written, so that a folder this
    // user cannot open refuses the conversion while the file is untouched.
    Descriptor folder(::open(file.target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0) return FileStatus::cannot_write;
    std::filesystem::path temporary;
    Descriptor written_file(create_temporary(file.target, temporary));
    if (written_file.fd < 0) return FileStatus::cannot_write;
    // The new contents must be on the disk before the rename makes them the
    // file: otherwise a power cut soon after could leave the name pointing
    // at a file whose data was never written, on file systems that commit
    // the rename first.
    bool written = apply_metadata(written_file.fd, file) && write_all(written_file.fd, contents) == FileStatus::ok &&
                   ::fsync(written_file.fd) == 0;
    written = written_file.close() && written;
    if (!written || ::rename(temporary.c_str(), file.target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return FileStatus::cannot_write;
    }
    return flush_folder(folder.fd) ? FileStatus::ok : FileStatus::not_confirmed;
}

}  // namespace ddsswizzle::tool
