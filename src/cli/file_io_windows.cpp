// The crash-safe rewrite on Windows, through the C runtime's descriptor calls
// (always in binary mode) and the file system's own rename.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "cli/file_io.h"
#include "cli/file_transfer.h"

namespace ddsswizzle::tool {
namespace {

// The file's own full name, as the file system keeps it, found through a
// handle to the file: every way of naming the file (relative, on the current
// drive, with the \\?\ long-path prefix, in other letter case, by its short
// 8.3 name, through a link) leads to the same name, so the rename replaces
// the file under its real name. (The MinGW runtime's
// std::filesystem::canonical refuses \\?\ paths.)
bool resolve_target(const std::filesystem::path& path, std::filesystem::path& target) {
    const HANDLE handle = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    constexpr DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    std::wstring name(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), flags);
    if (length >= name.size()) {  // too long for the buffer: length is the size it needs
        name.resize(length);
        length = ::GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), flags);
    }
    ::CloseHandle(handle);
    if (length == 0 || length >= name.size()) return false;
    name.resize(length);
    target = std::filesystem::path(std::move(name));
    return true;
}

// Creates the temporary file, exclusively: a name another process holds is
// skipped for the next. A new file takes the folder's inherited access
// rules; the target was writable (checked on open), so nothing needs
// carrying over.
int create_temporary(const std::filesystem::path& target, std::filesystem::path& temporary) {
    constexpr int flags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT;
    for (int attempt = 0; attempt < detail::temporary_name_attempts; ++attempt) {
        std::filesystem::path name = detail::temporary_name(target, ::_getpid(), attempt, false);
        int fd = ::_wopen(name.c_str(), flags, _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno == ENAMETOOLONG) {
            name = detail::temporary_name(target, ::_getpid(), attempt, true);
            fd = ::_wopen(name.c_str(), flags, _S_IREAD | _S_IWRITE);
        }
        if (fd >= 0) {
            temporary = std::move(name);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

FileStatus write_all(int fd, std::span<const std::byte> contents) noexcept {
    return detail::transfer_all(contents, FileStatus::cannot_write, FileStatus::cannot_write,
                                [fd](const std::byte* data, std::size_t size) {
                                    return ::_write(fd, data, static_cast<unsigned>(size));
                                });
}

}  // namespace

bool Descriptor::close() noexcept {
    const int closing = fd;
    fd = -1;
    return closing < 0 || ::_close(closing) == 0;
}

FileStatus open_for_rewrite(const std::filesystem::path& path, OpenedFile& file) {
    std::filesystem::path target;
    if (!resolve_target(path, target)) return FileStatus::cannot_open;
    Descriptor opened(::_wopen(target.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT));
    struct _stat64 info {};
    if (opened.fd < 0 || ::_fstat64(opened.fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        return FileStatus::cannot_open;
    }
    // A file with the read-only attribute is refused. Windows already refuses
    // to open it for writing, but Wine running as root does not, and the
    // rename would replace it all the same: checked here, so that the
    // attribute holds wherever the tool runs.
    if ((info.st_mode & _S_IWRITE) == 0) return FileStatus::cannot_open;
    file.length = static_cast<std::uint64_t>(info.st_size);
    file.permissions = static_cast<std::uint32_t>(info.st_mode);
    file.target = std::move(target);
    file.descriptor.fd = std::exchange(opened.fd, -1);
    return FileStatus::ok;
}

FileStatus read_exact(OpenedFile& file, std::span<std::byte> buffer) noexcept {
    const int fd = file.descriptor.fd;
    return detail::transfer_all(buffer, FileStatus::cannot_read, FileStatus::short_read,
                                [fd](std::byte* data, std::size_t size) {
                                    return ::_read(fd, data, static_cast<unsigned>(size));
                                });
}

FileStatus read_start(const std::filesystem::path& path, std::span<std::byte> start, std::uint64_t& length) {
    OpenedFile file;
    file.descriptor.fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    struct _stat64 info {};
    if (file.descriptor.fd < 0 || ::_fstat64(file.descriptor.fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        return FileStatus::cannot_open;
    }
    length = static_cast<std::uint64_t>(info.st_size);
    return read_exact(file, start.first(static_cast<std::size_t>(std::min<std::uint64_t>(length, start.size()))));
}

FileStatus replace_file_contents(const OpenedFile& file, std::span<const std::byte> contents) {
    std::filesystem::path temporary;
    Descriptor written_file(create_temporary(file.target, temporary));
    if (written_file.fd < 0) return FileStatus::cannot_write;
    bool written = write_all(written_file.fd, contents) == FileStatus::ok && ::_commit(written_file.fd) == 0;
    written = written_file.close() && written;
    // MOVEFILE_WRITE_THROUGH makes MoveFileExW return only once the rename
    // has reached the disk, so the folder needs no flush of its own.
    constexpr DWORD replace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!written || ::MoveFileExW(temporary.c_str(), file.target.c_str(), replace) == 0) {
        ::_wunlink(temporary.c_str());
        return FileStatus::cannot_write;
    }
    return FileStatus::ok;
}

}  // namespace ddsswizzle::tool
