// The command-line driver: argument checks, mode and console selection, and
// the exit status.
//
//   ddsswizzle unswiz|swiz FILE [ps3|x360]
//
// Exit status: 0 when the file was rewritten and the rewrite is on the disk,
// 1 otherwise (wrong mode word, any failure, and a conversion that could not
// be confirmed on the disk), 255 (-1) for too few arguments.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "layout/level_chain.h"

namespace ddsswizzle {

inline constexpr int exit_converted = 0;
inline constexpr int exit_not_converted = 1;
inline constexpr int exit_usage = -1;

// Runs the tool on the arguments that follow the program name, appending
// everything it prints to output. Returns the exit status.
int run_driver(std::span<const std::filesystem::path> arguments, std::string& output);

// Matches the mode word by length and character ("unswiz" or "swiz", letter
// case included) and hands on to dispatch_platform, or reports a wrong mode.
// Returns true when the file was rewritten and the rewrite is on the disk.
bool dispatch_mode(std::string_view mode, const std::filesystem::path& path,
                   std::string_view platform, std::string& output);

// A platform word beginning with "x360" (x360, x3600 ...) selects the Xbox
// 360 layout; any other word (ps3, the default "0", PS3, X360, x36 ...) the
// PS3 layout. Converts the file for that console.
// Returns true when the file was rewritten and the rewrite is on the disk.
bool dispatch_platform(std::string_view platform, const std::filesystem::path& path,
                       Direction direction, std::string& output);

}  // namespace ddsswizzle
