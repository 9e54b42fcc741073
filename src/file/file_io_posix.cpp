// The crash-safe rewrite on POSIX systems.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "file/file_io.h"
#include "file/file_transfer.h"
#include "file/piece_writer.h"

namespace ddsswizzle::file {
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

// A failure of the call just made: keeps its error number.
FileStatus failed(OpenedFile& file, FileStatus status) noexcept {
    file.error = errno;
    return status;
}

FileStatus failed_with(OpenedFile& file, FileStatus status, int error) noexcept {
    file.error = error;
    return status;
}

// Opens the file itself (symbolic links resolved) with the flags, and takes
// its facts. Only a regular file will do: a folder fails with EISDIR, and a
// pipe or a device with EINVAL.
FileStatus open_target(const PathChar* path, int flags, OpenedFile& file) noexcept {
    file.target.reset(::realpath(path, nullptr));
    if (file.target.text == nullptr) return failed(file, FileStatus::cannot_open);
    Descriptor opened(::open(file.target.text, flags | O_CLOEXEC));
    struct stat info {};
    if (opened.fd < 0 || ::fstat(opened.fd, &info) != 0) return failed(file, FileStatus::cannot_open);
    if (!S_ISREG(info.st_mode)) return failed_with(file, FileStatus::cannot_open, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    file.length = static_cast<std::uint64_t>(info.st_size);
    file.permissions = static_cast<std::uint32_t>(info.st_mode & 07777U);
    file.owner = static_cast<std::uint32_t>(info.st_uid);
    file.group = static_cast<std::uint32_t>(info.st_gid);
    file.descriptor.fd = std::exchange(opened.fd, -1);
    return FileStatus::ok;
}

// The target's folder, opened for a flush.
int open_folder(const OpenedFile& file) noexcept {
    const std::size_t length = detail::folder_length(file.target.text);
    NativePath folder;
    folder.reset(detail::copy_start(file.target.text, length > 1 ? length - 1 : length, 0));
    if (folder.text == nullptr) return -1;
    return ::open(folder.text, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Creates the temporary file, exclusively: a name another process holds is
// skipped for the next.
FileStatus create_temporary(Replacement& replacement) noexcept {
    const PathChar* target = replacement.file->target.text;
    const auto process = static_cast<unsigned>(::getpid());
    constexpr int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    for (int attempt = 0; attempt < detail::temporary_name_attempts; ++attempt) {
        for (const bool short_form : {false, true}) {
            replacement.temporary.reset(detail::temporary_name(target, process, static_cast<unsigned>(attempt), short_form));
            if (replacement.temporary.text == nullptr) return failed(*replacement.file, FileStatus::cannot_write);
            replacement.written.fd = ::open(replacement.temporary.text, flags, S_IRUSR | S_IWUSR);
            if (replacement.written.fd >= 0) return FileStatus::ok;
            if (errno != ENAMETOOLONG) break;
        }
        if (errno != EEXIST) break;
    }
    replacement.temporary.reset(nullptr);
    return failed(*replacement.file, FileStatus::cannot_write);
}

}  // namespace

bool Descriptor::close() noexcept {
    const int closing = fd;
    fd = -1;
    return closing < 0 || ::close(closing) == 0;
}

FileStatus open_for_rewrite(const PathChar* path, OpenedFile& file) noexcept {
    // Read and write access at once: a file this user may not write is
    // refused here, before anything else happens.
    return open_target(path, O_RDWR, file);
}

FileStatus open_for_reading(const PathChar* path, OpenedFile& file) noexcept {
    // Without O_NONBLOCK, opening a pipe for reading would wait for a writer.
    // Reads of a regular file never wait, whatever the flag says.
    return open_target(path, O_RDONLY | O_NONBLOCK, file);
}

FileStatus read_exact(OpenedFile& file, std::span<std::byte> buffer) noexcept {
    const int fd = file.descriptor.fd;
    const FileStatus read = detail::transfer_all(buffer, FileStatus::cannot_read, FileStatus::short_read,
                                                 [fd](std::byte* data, std::size_t size) { return ::read(fd, data, size); });
    return read == FileStatus::cannot_read ? failed(file, read) : read;
}

FileStatus check_rewritable(OpenedFile& file) noexcept {
    // The checks of the effective user, as the open for writing and the
    // creation of the temporary file make them.
    if (::faccessat(AT_FDCWD, file.target.text, W_OK, AT_EACCESS) != 0) return failed(file, FileStatus::cannot_open);
    const Descriptor folder(open_folder(file));
    struct stat info {};
    if (folder.fd < 0 || ::fstat(folder.fd, &info) != 0) return failed(file, FileStatus::cannot_write);
    if (::faccessat(folder.fd, ".", W_OK | X_OK, AT_EACCESS) != 0) return failed(file, FileStatus::cannot_write);
    // In a sticky folder only the owner of the file or of the folder may
    // replace the file (and root, whom no sticky bit stops).
    const uid_t user = ::geteuid();
    const bool sticky = (info.st_mode & S_ISVTX) != 0;
    if (sticky && user != 0 && user != file.owner && user != info.st_uid) {
        return failed_with(file, FileStatus::cannot_write, EPERM);
    }
    return FileStatus::ok;
}

Replacement::~Replacement() {
    if (temporary.text == nullptr) return;
    static_cast<void>(written.close());
    static_cast<void>(::unlink(temporary.text));
}

FileStatus start_replacement(OpenedFile& file, Replacement& replacement) noexcept {
    replacement.file = &file;
    // A rename is a change to the folder, and it is on the disk only once the
    // folder is flushed: until then a power cut can bring the old file back.
    // The folder is opened before anything is written, so that a folder this
    // user cannot open refuses the conversion while the file is untouched.
    replacement.folder.fd = open_folder(file);
    if (replacement.folder.fd < 0) return failed(file, FileStatus::cannot_write);
    if (create_temporary(replacement) != FileStatus::ok) return FileStatus::cannot_write;
    // The owner goes first, because a change of owner clears set-user-ID and
    // set-group-ID bits; only root may give the file away, and for anyone
    // else the new file simply stays theirs.
    [[maybe_unused]] const int owned = ::fchown(replacement.written.fd, static_cast<uid_t>(file.owner),
                                                static_cast<gid_t>(file.group));
    if (::fchmod(replacement.written.fd, static_cast<mode_t>(file.permissions)) != 0) {
        return failed(file, FileStatus::cannot_write);
    }
    return FileStatus::ok;
}

FileStatus write_part(Replacement& replacement, std::span<const std::byte> part) noexcept {
    const int fd = replacement.written.fd;
    const FileStatus written =
        detail::transfer_all(part, FileStatus::cannot_write, FileStatus::short_read,
                             [fd](const std::byte* data, std::size_t size) { return ::write(fd, data, size); });
    // A write that moves nothing and names no error: the disk is full.
    if (written == FileStatus::short_read) return failed_with(*replacement.file, FileStatus::cannot_write, ENOSPC);
    return written == FileStatus::ok ? written : failed(*replacement.file, written);
}

FileStatus finish_replacement(Replacement& replacement) noexcept {
    OpenedFile& file = *replacement.file;
    // The new contents must be on the disk before the rename makes them the
    // file: otherwise a power cut soon after could leave the name pointing
    // at a file whose data was never written, on file systems that commit
    // the rename first.
    if (::fsync(replacement.written.fd) != 0 || !replacement.written.close() ||
        ::rename(replacement.temporary.text, file.target.text) != 0) {
        return failed(file, FileStatus::cannot_write);
    }
    replacement.temporary.reset(nullptr);
    return flush_folder(replacement.folder.fd) ? FileStatus::ok : failed(file, FileStatus::not_confirmed);
}

// The second thread of a staged write, from the C library's POSIX threads
// (in glibc's libc itself since 2.34, so the library needs nothing more).
namespace detail {

struct Worker {
    pthread_mutex_t mutex;
    pthread_cond_t signal;
    pthread_t thread;
    bool started;
    void (*run)(void*);
    void* argument;
};

namespace {

void* run_worker(void* worker) noexcept {
    const Worker& w = *static_cast<Worker*>(worker);
    w.run(w.argument);
    return nullptr;
}

}  // namespace

Worker* new_worker() noexcept {
    auto* w = static_cast<Worker*>(std::malloc(sizeof(Worker)));
    if (w == nullptr) return nullptr;
    w->started = false;
    if (::pthread_mutex_init(&w->mutex, nullptr) != 0) {
        std::free(w);
        return nullptr;
    }
    if (::pthread_cond_init(&w->signal, nullptr) != 0) {
        static_cast<void>(::pthread_mutex_destroy(&w->mutex));
        std::free(w);
        return nullptr;
    }
    return w;
}

bool start_worker(Worker& worker, void (*run)(void*), void* argument) noexcept {
    worker.run = run;
    worker.argument = argument;
    worker.started = ::pthread_create(&worker.thread, nullptr, run_worker, &worker) == 0;
    return worker.started;
}

void lock(Worker& worker) noexcept { static_cast<void>(::pthread_mutex_lock(&worker.mutex)); }
void unlock(Worker& worker) noexcept { static_cast<void>(::pthread_mutex_unlock(&worker.mutex)); }
void wait(Worker& worker) noexcept { static_cast<void>(::pthread_cond_wait(&worker.signal, &worker.mutex)); }
void wake(Worker& worker) noexcept { static_cast<void>(::pthread_cond_broadcast(&worker.signal)); }

void end_worker(Worker* worker) noexcept {
    if (worker == nullptr) return;
    if (worker->started) static_cast<void>(::pthread_join(worker->thread, nullptr));
    static_cast<void>(::pthread_cond_destroy(&worker->signal));
    static_cast<void>(::pthread_mutex_destroy(&worker->mutex));
    std::free(worker);
}

void start_writeback([[maybe_unused]] const Replacement& replacement, [[maybe_unused]] std::uint64_t offset,
                     [[maybe_unused]] std::uint64_t bytes) noexcept {
#ifdef __linux__
    static_cast<void>(::sync_file_range(replacement.written.fd, static_cast<off_t>(offset), static_cast<off_t>(bytes),
                                        SYNC_FILE_RANGE_WRITE));
#endif
}

}  // namespace detail
}  // namespace ddsswizzle::file
