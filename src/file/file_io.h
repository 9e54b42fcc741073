// File access for the crash-safe in-place rewrite: open a file (following
// links, refusing what this user may not write), read it, and replace its
// contents through a temporary file beside it and a rename, so that at any
// moment the path names either the old file or the complete new one, and
// the rename is on the disk before success is reported. One implementation
// for POSIX systems (file_io_posix.cpp), one for Windows
// (file_io_windows.cpp).
//
// This layer knows bytes and files only, nothing of textures. It lives in
// the library, which a C program links with the C compiler alone: paths are
// the system's own strings, buffers come from malloc, and nothing throws.
// Every failure keeps the system's error number in the record it was given
// (OpenedFile::error), taken before any clean-up could change errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace ddsswizzle::file {

// The system's path characters: UTF-8 (or whatever bytes the file system
// takes) on POSIX, UTF-16 on Windows.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif

#ifdef _WIN32
// The UTF-16 form of a UTF-8 path, from malloc; null, with error EILSEQ (not
// UTF-8) or ENOMEM, when there is none.
wchar_t* wide_path(const char* utf8, int& error) noexcept;
#endif

enum class FileStatus {
    ok,
    cannot_open,    // missing, not a regular file, unreadable or not writable
    cannot_read,    // a read failed
    short_read,     // the file ended before the bytes asked for
    cannot_write,   // creating, writing or renaming the new file failed
    not_confirmed,  // renamed into place, but the folder could not be flushed to the disk
};

// An open file descriptor of the C runtime, closed when its holder goes (-1:
// none).
struct Descriptor {
    int fd = -1;

    Descriptor() = default;
    explicit Descriptor(int descriptor) noexcept : fd(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { static_cast<void>(close()); }

    // Closes it now; false when the close itself failed (a write the system
    // had kept back may have failed with it).
    bool close() noexcept;
};

// A path the layer made, in memory from malloc, freed when its holder goes.
struct NativePath {
    PathChar* text = nullptr;

    NativePath() = default;
    NativePath(const NativePath&) = delete;
    NativePath& operator=(const NativePath&) = delete;
    ~NativePath() { std::free(text); }
    // Takes over text, freeing what was held.
    void reset(PathChar* taken) noexcept {
        std::free(text);
        text = taken;
    }
};

// An open file. target is the file itself (symbolic links resolved, an
// absolute path), so that the temporary file is created in the target's
// folder and the rename replaces the target, not the link.
struct OpenedFile {
    Descriptor descriptor;
    NativePath target;
    std::uint64_t length = 0;
    std::uint32_t permissions = 0;  // mode bits to give the new file
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    int error = 0;  // the system's error number of the last failure
};

// Opens path for reading, checking that it is a regular file this user may
// both read and write. Nothing about the file is changed.
FileStatus open_for_rewrite(const PathChar* path, OpenedFile& file) noexcept;

// Opens path for reading only (a regular file), as a look that changes
// nothing does; a pipe or device does not make it wait.
FileStatus open_for_reading(const PathChar* path, OpenedFile& file) noexcept;

// Reads exactly buffer.size() bytes from the current position.
FileStatus read_exact(OpenedFile& file, std::span<std::byte> buffer) noexcept;

// Whether a file opened for reading could be rewritten by this user, as
// far as can be told without writing: cannot_open when the file itself may
// not be written (as open_for_rewrite would refuse it), cannot_write when
// its folder would refuse the new file or the rename.
FileStatus check_rewritable(OpenedFile& file) noexcept;

// A new version of a file being written beside it. It is written in parts,
// in order, then finished; a replacement that goes unfinished is removed,
// and the target stays untouched.
struct Replacement {
    OpenedFile* file = nullptr;
    Descriptor folder;  // POSIX: opened first, flushed after the rename
    Descriptor written;
    NativePath temporary;

    Replacement() = default;
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement();
};

// Creates the temporary file in the target's folder, with the target's
// owner (where this user may give it) and permission bits.
FileStatus start_replacement(OpenedFile& file, Replacement& replacement) noexcept;

// Appends part to the temporary file.
FileStatus write_part(Replacement& replacement, std::span<const std::byte> part) noexcept;

// Flushes the temporary file to the disk, renames it over the target and
// flushes the folder, so that the rename itself survives a power cut. On
// cannot_write the temporary file is removed and the target is untouched;
// on not_confirmed the target holds the new contents, which may not be on
// the disk yet.
FileStatus finish_replacement(Replacement& replacement) noexcept;

// The three above for contents held whole. Every descriptor it opens is
// closed on every way out.
inline FileStatus replace_file_contents(OpenedFile& file, std::span<const std::byte> contents) noexcept {
    Replacement replacement;
    FileStatus status = start_replacement(file, replacement);
    if (status == FileStatus::ok) status = write_part(replacement, contents);
    if (status == FileStatus::ok) status = finish_replacement(replacement);
    return status;
}

}  // namespace ddsswizzle::file
