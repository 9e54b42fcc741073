// What the POSIX and the Windows rewrite share: moving a whole buffer
// through read or write calls that may move less than asked, and the names
// of temporary files.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

#include "cli/file_io.h"

namespace ddsswizzle::tool::detail {

// Largest transfer asked of one read or write call. Linux moves at most about
// 2 GiB per call and the Windows runtime takes an unsigned int count, so
// bigger buffers are moved in a few calls of this size.
inline constexpr std::size_t max_transfer = std::size_t{1} << 30U;

// How many temporary names are tried before giving up on creating one.
inline constexpr int temporary_name_attempts = 100;

// Calls move(data, size) until the whole buffer has gone, retrying a call
// interrupted by a signal (EINTR). A call returning 0 ends the transfer with
// `at_end` (a read at the end of the file, a write that makes no progress).
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

// The name of a temporary file beside the target, with the target's name in
// it so that a file a killed process leaves is recognisable:
// "NAME.ddsswizzle-PID-ATTEMPT.tmp", or without the target's name when that
// is too long for the file system.
inline std::filesystem::path temporary_name(const std::filesystem::path& target, int process, int attempt,
                                            bool short_form) {
    const std::string suffix = "ddsswizzle-" + std::to_string(process) + "-" + std::to_string(attempt) + ".tmp";
    if (short_form) return target.parent_path() / suffix;
    std::filesystem::path name = target;
    name += "." + suffix;
    return name;
}

}  // namespace ddsswizzle::tool::detail
