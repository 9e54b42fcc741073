// What the POSIX and the Windows rewrite share: moving a whole buffer
// through read or write calls that may move less than asked, and the names
// of temporary files and folders.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <span>
#include <string>

#include "file/file_io.h"

namespace ddsswizzle::file::detail {

// Largest transfer asked of one read or write call. Linux moves at most about
// 2 GiB per call and the Windows runtime takes an unsigned int count, so
// bigger buffers are moved in a few calls of this size.
inline constexpr std::size_t max_transfer = std::size_t{1} << 30U;

// How many temporary names are tried before giving up on creating one.
inline constexpr int temporary_name_attempts = 100;

// Calls move(data, size) until the whole buffer has gone, retrying a call
// interrupted by a signal (EINTR). A failed call ends the transfer with
// `failed` and errno set; a call returning 0 with `at_end` (a read at the end
// of the file, a write that makes no progress).
template <typename Byte, typename Move>
FileStatus transfer_all(std::span<Byte> buffer, FileStatus failed, FileStatus at_end, Move move) noexcept {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const auto moved = move(buffer.data() + done, std::min(buffer.size() - done, max_transfer));
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0) return failed;
        if (moved == 0) return at_end;
        done += static_cast<std::size_t>(moved);
    }
    return FileStatus::ok;
}

constexpr bool is_separator(PathChar c) noexcept {
#ifdef _WIN32
    return c == L'\\' || c == L'/';
#else
    return c == '/';
#endif
}

// Characters of an absolute path up to and with its last separator: its
// folder.
inline std::size_t folder_length(const PathChar* path) noexcept {
    std::size_t length = 0;
    for (std::size_t i = 0; path[i] != 0; ++i) {
        if (is_separator(path[i])) length = i + 1;
    }
    return length;
}

// A new string from malloc holding the first `length` characters of text and
// room for `extra` more and the terminator; null without memory.
inline PathChar* copy_start(const PathChar* text, std::size_t length, std::size_t extra) noexcept {
    auto* copy = static_cast<PathChar*>(std::malloc((length + extra + 1) * sizeof(PathChar)));
    if (copy == nullptr) return nullptr;
    std::char_traits<PathChar>::copy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// Appends the ASCII text, then the decimal digits of number, at the end of
// the string at `to`; returns the new end.
inline PathChar* append(PathChar* to, const char* text, unsigned number, bool with_number) noexcept {
    while (*text != 0) *to++ = static_cast<PathChar>(*text++);
    if (with_number) {
        char digits[12] = {};
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + number % 10U);
            number /= 10U;
        } while (number != 0);
        while (count > 0) *to++ = static_cast<PathChar>(digits[--count]);
    }
    *to = 0;
    return to;
}

// The name of a temporary file beside the target, with the target's name in
// it so that a file a killed process leaves is recognisable:
// "NAME.ddsswizzle-PID-ATTEMPT.tmp", or without the target's name when that
// is too long for the file system. From malloc; null without memory.
inline PathChar* temporary_name(const PathChar* target, unsigned process, unsigned attempt, bool short_form) noexcept {
    const std::size_t kept = short_form ? folder_length(target) : std::char_traits<PathChar>::length(target);
    constexpr std::size_t suffix = 40;  // ".ddsswizzle-", two numbers of at most 10 digits, "-", ".tmp"
    PathChar* name = copy_start(target, kept, suffix);
    if (name == nullptr) return nullptr;
    PathChar* end = append(name + kept, short_form ? "ddsswizzle-" : ".ddsswizzle-", process, true);
    end = append(end, "-", attempt, true);
    static_cast<void>(append(end, ".tmp", 0, false));
    return name;
}

}  // namespace ddsswizzle::file::detail
