// File access for the in-place rewrite, on POSIX systems and on Windows.
//
// Both sides use the C runtime's descriptor calls (open/read/write/close,
// _wopen/_read/_write/_close on Windows, always in binary mode); only the
// rename that replaces an existing file and the permission handling differ.
#include "texture/file_io.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ddsswizzle {
namespace {

// Largest transfer asked of one read or write call. Linux moves at most about
// 2 GiB per call and the Windows runtime takes an unsigned int count, so
// bigger buffers are moved in a few calls of this size.
constexpr std::size_t max_transfer = std::size_t{1} << 30U;

// How many temporary names are tried before giving up on creating one.
constexpr int temporary_name_attempts = 100;

#ifdef _WIN32
using native_ssize = int;

int open_existing(const std::filesystem::path& path) noexcept {
    return ::_wopen(path.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
}

int create_exclusive(const std::filesystem::path& path) noexcept {
    return ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

native_ssize read_some(int fd, std::byte* data, std::size_t size) noexcept {
    return ::_read(fd, data, static_cast<unsigned>(size));
}

native_ssize write_some(int fd, const std::byte* data, std::size_t size) noexcept {
    return ::_write(fd, data, static_cast<unsigned>(size));
}

int close_descriptor(int fd) noexcept { return ::_close(fd); }

bool flush_to_disk(int fd) noexcept { return ::_commit(fd) == 0; }

int process_id() noexcept { return ::_getpid(); }

// The file's own full name, as the file system keeps it, found through a
// handle to the file: every way of naming the file (relative, on the current
// drive, with the \\?\ long-path prefix, in other letter case, by its short
// 8.3 name, through a link) leads to the same name, so the rename replaces
// the file under its real name. (The MinGW runtime's
// std::filesystem::canonical refuses \\?\ paths.)
std::filesystem::path resolve_target(const std::filesystem::path& path, std::error_code& error) {
    const HANDLE handle = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error.assign(static_cast<int>(::GetLastError()), std::system_category());
        return {};
    }
    constexpr DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    std::wstring name(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), flags);
    if (length >= name.size()) {  // too long for the buffer: length is the size it needs
        name.resize(length);
        length = ::GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), flags);
    }
    const DWORD failure = length == 0 ? ::GetLastError() : DWORD{ERROR_BUFFER_OVERFLOW};
    ::CloseHandle(handle);
    if (length == 0 || length >= name.size()) {
        error.assign(static_cast<int>(failure), std::system_category());
        return {};
    }
    name.resize(length);
    return std::filesystem::path(std::move(name));
}

bool describe_open_file(int fd, OpenedFile& file) noexcept {
    struct _stat64 info {};
    if (::_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return false;
    // A file with the read-only attribute is refused. Windows already refuses
    // to open it for writing, but Wine running as root does not, and the
    // rename would replace it all the same: checked here, so that the
    // attribute holds wherever the tool runs.
    if ((info.st_mode & _S_IWRITE) == 0) return false;
    file.length = static_cast<std::uint64_t>(info.st_size);
    file.permissions = static_cast<std::uint32_t>(info.st_mode);
    return true;
}

// A new file on Windows takes the folder's inherited access rules; the
// target was writable (checked on open), so nothing needs carrying over.
bool apply_metadata(int /*fd*/, const OpenedFile& /*file*/) noexcept { return true; }

// MOVEFILE_WRITE_THROUGH makes MoveFileExW return only once the rename has
// reached the disk, so the folder needs no flush of its own afterwards.
bool rename_over(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool open_folder(const std::filesystem::path& /*target*/, int& fd) noexcept {
    fd = -1;
    return true;
}

bool flush_folder(int /*fd*/) noexcept { return true; }

void remove_file(const std::filesystem::path& path) noexcept { ::_wunlink(path.c_str()); }
#else
using native_ssize = ssize_t;

int open_existing(const std::filesystem::path& path) noexcept {
    // Read and write access at once: a file this user may not write is
    // refused here, before anything else happens.
    return ::open(path.c_str(), O_RDWR | O_CLOEXEC);
}

int create_exclusive(const std::filesystem::path& path) noexcept {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
}

native_ssize read_some(int fd, std::byte* data, std::size_t size) noexcept {
    return ::read(fd, data, size);
}

native_ssize write_some(int fd, const std::byte* data, std::size_t size) noexcept {
    return ::write(fd, data, size);
}

int close_descriptor(int fd) noexcept { return ::close(fd); }

bool flush_to_disk(int fd) noexcept { return ::fsync(fd) == 0; }

int process_id() noexcept { return static_cast<int>(::getpid()); }

// The file itself, symbolic links resolved, as an absolute path.
std::filesystem::path resolve_target(const std::filesystem::path& path, std::error_code& error) {
    return std::filesystem::canonical(path, error);
}

bool describe_open_file(int fd, OpenedFile& file) noexcept {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    file.length = static_cast<std::uint64_t>(info.st_size);
    file.permissions = static_cast<std::uint32_t>(info.st_mode & 07777U);
    file.owner = static_cast<std::uint32_t>(info.st_uid);
    file.group = static_cast<std::uint32_t>(info.st_gid);
    return true;
}

// Gives the new file the target's owner (only possible for root; silently
// skipped otherwise) and permission bits. The owner goes first because a
// change of owner clears set-user-ID and set-group-ID bits.
bool apply_metadata(int fd, const OpenedFile& file) noexcept {
    [[maybe_unused]] const int owned = ::fchown(fd, static_cast<uid_t>(file.owner),
                                                static_cast<gid_t>(file.group));
    return ::fchmod(fd, static_cast<mode_t>(file.permissions)) == 0;
}

bool rename_over(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// A rename is a change to the folder, and it is on the disk only once the
// folder is flushed: until then a power cut can bring the old file back. The
// folder is opened before anything is written, so that a folder this user
// cannot open refuses the conversion while the file is still untouched.
bool open_folder(const std::filesystem::path& target, int& fd) noexcept {
    fd = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0;
}

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

void remove_file(const std::filesystem::path& path) noexcept { ::unlink(path.c_str()); }
#endif

FileStatus write_all(int fd, std::span<const std::byte> contents) noexcept {
    std::size_t done = 0;
    while (done < contents.size()) {
        const std::size_t ask = std::min(contents.size() - done, max_transfer);
        const native_ssize wrote = write_some(fd, contents.data() + done, ask);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return FileStatus::cannot_write;
        done += static_cast<std::size_t>(wrote);
    }
    return FileStatus::ok;
}

// Creates a temporary file beside the target; its name keeps the target's
// name visible so that a file left by a killed process is recognisable.
// When the target's name is too close to the file system's length limit for
// that, the suffix alone is used as the name.
int create_temporary(const std::filesystem::path& target, std::filesystem::path& temporary) {
    for (int attempt = 0; attempt < temporary_name_attempts; ++attempt) {
        const std::string suffix = "ddsswizzle-" + std::to_string(process_id()) + "-" + std::to_string(attempt) + ".tmp";
        std::filesystem::path name = target;
        name += "." + suffix;
        int fd = create_exclusive(name);
        if (fd < 0 && errno == ENAMETOOLONG) {
            name = target.parent_path() / suffix;
            fd = create_exclusive(name);
        }
        if (fd >= 0) {
            temporary = std::move(name);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

OpenedFile::~OpenedFile() { close_file(*this); }

void close_file(OpenedFile& file) noexcept {
    if (file.descriptor >= 0) {
        close_descriptor(file.descriptor);
        file.descriptor = -1;
    }
}

FileStatus open_for_rewrite(const std::filesystem::path& path, OpenedFile& file) {
    std::error_code error;
    std::filesystem::path target = resolve_target(path, error);
    if (error) return FileStatus::cannot_open;
    const int fd = open_existing(target);
    if (fd < 0) return FileStatus::cannot_open;
    file.descriptor = fd;
    if (!describe_open_file(fd, file)) {
        close_file(file);
        return FileStatus::cannot_open;
    }
    file.target = std::move(target);
    return FileStatus::ok;
}

FileStatus read_exact(OpenedFile& file, std::span<std::byte> buffer) noexcept {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::size_t ask = std::min(buffer.size() - done, max_transfer);
        const native_ssize got = read_some(file.descriptor, buffer.data() + done, ask);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return FileStatus::cannot_read;
        if (got == 0) return FileStatus::short_read;
        done += static_cast<std::size_t>(got);
    }
    return FileStatus::ok;
}

FileStatus replace_file_contents(const OpenedFile& file, std::span<const std::byte> contents) {
    // Closed on every way out (a descriptor of -1 is nothing to close).
    struct Descriptor {
        int fd = -1;
        Descriptor() = default;
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        ~Descriptor() {
            if (fd >= 0) close_descriptor(fd);
        }
    } folder;
    if (!open_folder(file.target, folder.fd)) return FileStatus::cannot_write;
    std::filesystem::path temporary;
    const int fd = create_temporary(file.target, temporary);
    if (fd < 0) return FileStatus::cannot_write;
    // The new contents must be on the disk before the rename makes them the
    // file: otherwise a power cut soon after could leave the name pointing
    // at a file whose data was never written, on file systems that commit
    // the rename first.
    bool written = apply_metadata(fd, file) && write_all(fd, contents) == FileStatus::ok && flush_to_disk(fd);
    written = close_descriptor(fd) == 0 && written;
    if (!written || !rename_over(temporary, file.target)) {
        remove_file(temporary);
        return FileStatus::cannot_write;
    }
    return flush_folder(folder.fd) ? FileStatus::ok : FileStatus::not_confirmed;
}

}  // namespace ddsswizzle
