// The command-line driver: argument checks, the choice of command, mode and
// console, and the exit status.
//
//   ddsswizzle unswiz|swiz FILE [ps3|x360]
//   ddsswizzle info FILE [ps3|x360]
//   ddsswizzle --help | --version
//
// Exit status: 0 when the file was rewritten and the rewrite is on the disk
// (info: when the file would convert; --help, --version), 1 otherwise (wrong
// mode word, any failure, and a conversion that could not be confirmed on
// the disk), 255 (-1) for too few arguments.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "ddsswizzle/ddsswizzle.hpp"

namespace ddsswizzle::tool {

inline constexpr int exit_converted = 0;
inline constexpr int exit_not_converted = 1;
inline constexpr int exit_usage = -1;

// Runs the tool on the arguments that follow the program name, appending
// everything it prints to output. Returns the exit status.
int run_driver(std::span<const std::filesystem::path> arguments, std::string& output);

// A platform word beginning with "x360" (x360, x3600 ...) selects the Xbox
// 360 layout; any other word (ps3, the default "0", PS3, X360, x36 ...) the
// PS3 layout.
Console console_of(std::string_view platform) noexcept;

// Describes the texture file at path for the console, changing nothing:
// what its header says and whether each direction would convert it. Returns
// true when one would.
bool describe_file(const std::filesystem::path& path, Console console, std::string& output);

}  // namespace ddsswizzle::tool
