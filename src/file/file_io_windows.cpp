// The crash-safe rewrite on Windows, through the C runtime's descriptor calls
// (always in binary mode) and the file system's own rename. Errors of the
// Windows calls are given as the errno values the C runtime gives for them.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "file/file_io.h"
#include "file/file_transfer.h"
#include "file/piece_writer.h"

namespace ddsswizzle::file {
namespace {

int errno_of(DWORD error) noexcept {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_PATHNAME: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT: return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
        default: return EIO;
    }
}

FileStatus failed(OpenedFile& file, FileStatus status) noexcept {
    file.error = errno;
    return status;
}

FileStatus failed_with(OpenedFile& file, FileStatus status, int error) noexcept {
    file.error = error;
    return status;
}

FileStatus failed_call(OpenedFile& file, FileStatus status) noexcept {
    return failed_with(file, status, errno_of(::GetLastError()));
}

// The file's own full name, as the file system keeps it, found through a
// handle to the file: every way of naming the file (relative, on the current
// drive, with the \\?\ long-path prefix, in other letter case, by its short
// 8.3 name, through a link) leads to the same name, so the rename replaces
// the file under its real name.
bool resolve_target(const PathChar* path, OpenedFile& file) noexcept {
    const HANDLE handle = ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        file.error = errno_of(::GetLastError());
        return false;
    }
    constexpr DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    DWORD size = MAX_PATH;
    for (int attempt = 0; attempt < 2 && file.target.text == nullptr; ++attempt) {
        auto* name = static_cast<PathChar*>(std::malloc(size * sizeof(PathChar)));
        if (name == nullptr) {
            file.error = ENOMEM;
            break;
        }
        const DWORD length = ::GetFinalPathNameByHandleW(handle, name, size, flags);
        if (length == 0) file.error = errno_of(::GetLastError());
        if (length > 0 && length < size) {
            file.target.reset(name);
        } else {
            std::free(name);
            size = length;  // too long for the buffer: the size it needs, terminator included
        }
        if (length == 0) break;
    }
    static_cast<void>(::CloseHandle(handle));
    if (file.target.text == nullptr && file.error == 0) file.error = ENAMETOOLONG;
    return file.target.text != nullptr;
}

FileStatus open_target(const PathChar* path, int flags, bool writable, OpenedFile& file) noexcept {
    if (!resolve_target(path, file)) return FileStatus::cannot_open;
    Descriptor opened(::_wopen(file.target.text, flags | _O_BINARY | _O_NOINHERIT));
    struct _stat64 info {};
    if (opened.fd < 0 || ::_fstat64(opened.fd, &info) != 0) return failed(file, FileStatus::cannot_open);
    if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        return failed_with(file, FileStatus::cannot_open, (info.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : EINVAL);
    }
    // A file with the read-only attribute is refused. Windows already refuses
    // to open it for writing, but Wine running as root does not, and the
    // rename would replace it all the same: checked here, so that the
    // attribute holds wherever the library runs.
    if (writable && (info.st_mode & _S_IWRITE) == 0) return failed_with(file, FileStatus::cannot_open, EACCES);
    file.length = static_cast<std::uint64_t>(info.st_size);
    file.permissions = static_cast<std::uint32_t>(info.st_mode);
    file.descriptor.fd = std::exchange(opened.fd, -1);
    return FileStatus::ok;
}

// Creates the temporary file, exclusively: a name another process holds is
// skipped for the next. A new file takes the folder's inherited access
// rules; the target was writable (checked on open), so nothing needs
// carrying over.
FileStatus create_temporary(Replacement& replacement) noexcept {
    const PathChar* target = replacement.file->target.text;
    const auto process = static_cast<unsigned>(::_getpid());
    constexpr int flags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT;
    for (int attempt = 0; attempt < detail::temporary_name_attempts; ++attempt) {
        for (const bool short_form : {false, true}) {
            replacement.temporary.reset(detail::temporary_name(target, process, static_cast<unsigned>(attempt), short_form));
            if (replacement.temporary.text == nullptr) return failed(*replacement.file, FileStatus::cannot_write);
            replacement.written.fd = ::_wopen(replacement.temporary.text, flags, _S_IREAD | _S_IWRITE);
            if (replacement.written.fd >= 0) return FileStatus::ok;
            if (errno != ENAMETOOLONG) break;
        }
        if (errno != EEXIST) break;
    }
    replacement.temporary.reset(nullptr);
    return failed(*replacement.file, FileStatus::cannot_write);
}

}  // namespace

wchar_t* wide_path(const char* utf8, int& error) noexcept {
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (length <= 0) {
        error = EILSEQ;
        return nullptr;
    }
    auto* wide = static_cast<wchar_t*>(std::malloc(static_cast<std::size_t>(length) * sizeof(wchar_t)));
    if (wide == nullptr || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, length) != length) {
        error = wide == nullptr ? ENOMEM : EILSEQ;
        std::free(wide);
        return nullptr;
    }
    return wide;
}

bool Descriptor::close() noexcept {
    const int closing = fd;
    fd = -1;
    return closing < 0 || ::_close(closing) == 0;
}

FileStatus open_for_rewrite(const PathChar* path, OpenedFile& file) noexcept {
    return open_target(path, _O_RDWR, true, file);
}

FileStatus open_for_reading(const PathChar* path, OpenedFile& file) noexcept {
    return open_target(path, _O_RDONLY, false, file);
}

FileStatus read_exact(OpenedFile& file, std::span<std::byte> buffer) noexcept {
    const int fd = file.descriptor.fd;
    const FileStatus read = detail::transfer_all(buffer, FileStatus::cannot_read, FileStatus::short_read,
                                                 [fd](std::byte* data, std::size_t size) {
                                                     return ::_read(fd, data, static_cast<unsigned>(size));
                                                 });
    return read == FileStatus::cannot_read ? failed(file, read) : read;
}

FileStatus check_rewritable(OpenedFile& file) noexcept {
    if ((file.permissions & _S_IWRITE) == 0) return failed_with(file, FileStatus::cannot_open, EACCES);
    // Opening the file for writing changes nothing in it; the folder's rules
    // are known only once the new file is created there.
    const HANDLE handle = ::CreateFileW(file.target.text, GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return failed_call(file, FileStatus::cannot_open);
    static_cast<void>(::CloseHandle(handle));
    return FileStatus::ok;
}

Replacement::~Replacement() {
    if (temporary.text == nullptr) return;
    static_cast<void>(written.close());
    static_cast<void>(::_wunlink(temporary.text));
}

FileStatus start_replacement(OpenedFile& file, Replacement& replacement) noexcept {
    replacement.file = &file;
    return create_temporary(replacement);
}

FileStatus write_part(Replacement& replacement, std::span<const std::byte> part) noexcept {
    const int fd = replacement.written.fd;
    const FileStatus written = detail::transfer_all(part, FileStatus::cannot_write, FileStatus::short_read,
                                                    [fd](const std::byte* data, std::size_t size) {
                                                        return ::_write(fd, data, static_cast<unsigned>(size));
                                                    });
    if (written == FileStatus::short_read) return failed_with(*replacement.file, FileStatus::cannot_write, ENOSPC);
    return written == FileStatus::ok ? written : failed(*replacement.file, written);
}

FileStatus finish_replacement(Replacement& replacement) noexcept {
    OpenedFile& file = *replacement.file;
    if (::_commit(replacement.written.fd) != 0 || !replacement.written.close()) return failed(file, FileStatus::cannot_write);
    // MOVEFILE_WRITE_THROUGH makes MoveFileExW return only once the rename
    // has reached the disk, so the folder needs no flush of its own.
    constexpr DWORD replace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (::MoveFileExW(replacement.temporary.text, file.target.text, replace) == 0) {
        return failed_call(file, FileStatus::cannot_write);
    }
    replacement.temporary.reset(nullptr);
    return FileStatus::ok;
}

// The second thread of a staged write, from Windows itself: a thread, a
// slim reader/writer lock and a condition variable (Windows Vista and later).
namespace detail {

struct Worker {
    SRWLOCK mutex;
    CONDITION_VARIABLE signal;
    HANDLE thread;
    void (*run)(void*);
    void* argument;
};

namespace {

DWORD WINAPI run_worker(LPVOID worker) noexcept {
    const Worker& w = *static_cast<Worker*>(worker);
    w.run(w.argument);
    return 0;
}

}  // namespace

Worker* new_worker() noexcept {
    auto* w = static_cast<Worker*>(std::malloc(sizeof(Worker)));
    if (w == nullptr) return nullptr;
    ::InitializeSRWLock(&w->mutex);
    ::InitializeConditionVariable(&w->signal);
    w->thread = nullptr;
    return w;
}

bool start_worker(Worker& worker, void (*run)(void*), void* argument) noexcept {
    worker.run = run;
    worker.argument = argument;
    worker.thread = ::CreateThread(nullptr, 0, run_worker, &worker, 0, nullptr);
    return worker.thread != nullptr;
}

void lock(Worker& worker) noexcept { ::AcquireSRWLockExclusive(&worker.mutex); }
void unlock(Worker& worker) noexcept { ::ReleaseSRWLockExclusive(&worker.mutex); }
void wait(Worker& worker) noexcept {
    static_cast<void>(::SleepConditionVariableSRW(&worker.signal, &worker.mutex, INFINITE, 0));
}
void wake(Worker& worker) noexcept { ::WakeAllConditionVariable(&worker.signal); }

void end_worker(Worker* worker) noexcept {
    if (worker == nullptr) return;
    if (worker->thread != nullptr) {
        static_cast<void>(::WaitForSingleObject(worker->thread, INFINITE));
        static_cast<void>(::CloseHandle(worker->thread));
    }
    std::free(worker);
}

void start_writeback(const Replacement& /*replacement*/, std::uint64_t /*offset*/, std::uint64_t /*bytes*/) noexcept {}

}  // namespace detail
}  // namespace ddsswizzle::file
