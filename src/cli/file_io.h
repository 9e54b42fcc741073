// File access for the in-place rewrite: open a texture (following links,
// refusing what this user may not write), read it, and replace its contents
// through a temporary file beside it and a rename, so that at any moment the
// path names either the old file or the complete new one, and the rename is
// on the disk before success is reported. One implementation for POSIX
// systems (file_io_posix.cpp), one for Windows (file_io_windows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace ddsswizzle::tool {

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
    ~Descriptor() { close(); }

    // Closes it now; false when the close itself failed (a write the system
    // had kept back may have failed with it).
    bool close() noexcept;
};

// An open texture. target is the file itself (symbolic links resolved), so
// the temporary file is created in the target's folder and the rename
// replaces the target, not the link.
struct OpenedFile {
    Descriptor descriptor;
    std::filesystem::path target;
    std::uint64_t length = 0;
    std::uint32_t permissions = 0;  // mode bits to give the new file
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

// Opens path for reading, checking that it is a regular file this user may
// both read and write. Nothing about the file is changed.
FileStatus open_for_rewrite(const std::filesystem::path& path, OpenedFile& file);

// Reads exactly buffer.size() bytes from the current position.
FileStatus read_exact(OpenedFile& file, std::span<std::byte> buffer) noexcept;

// For a look at a file that changes nothing: opens it for reading only (a
// regular file), gives its length and reads its first min(length,
// start.size()) bytes into start.
FileStatus read_start(const std::filesystem::path& path, std::span<std::byte> start, std::uint64_t& length);

// Writes contents to a new temporary file in the target's folder, with the
// target's permission bits, flushes it to the disk, renames it over the
// target and flushes the folder, so that the rename itself survives a power
// cut. On cannot_write the temporary file is removed and the target is
// untouched; on not_confirmed the target holds the new contents, which may
// not be on the disk yet. Every descriptor it opens is closed on every way
// out.
FileStatus replace_file_contents(const OpenedFile& file, std::span<const std::byte> contents);

}  // namespace ddsswizzle::tool
