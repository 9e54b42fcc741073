// The command-line driver: argument checks, the choice of command, mode and
// console, and the exit status.
//
//   ddsswizzle unswiz|swiz FILE [ps3|x360]
//   ddsswizzle info FILE [ps3|x360]
//   ddsswizzle --help | -h | --version
//
// Exit status: 0 when the file was rewritten and the rewrite is on the disk
// (info: when the file would convert; --help, --version), 1 otherwise (wrong
// mode or platform word, any failure, and a conversion that could not be
// confirmed on the disk), 255 (-1) for too few arguments.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ddsswizzle/ddsswizzle.hpp"

namespace ddsswizzle::tool {

inline constexpr int exit_converted = 0;
inline constexpr int exit_not_converted = 1;
inline constexpr int exit_usage = -1;

// Runs the tool on the arguments that follow the program name, appending
// what it prints to output (standard output) and errors (standard error).
// Returns the exit status.
int run_driver(std::span<const std::filesystem::path> arguments, std::string& output, std::string& errors);

// The console of a platform word: none given or "ps3" in any letter case
// selects the PS3, a word beginning with "x360" (x360, x3600 ...) the Xbox
// 360; any other word (X360, xbox360, 360, a second file name) none.
std::optional<Console> console_of(const std::optional<std::string>& platform);

// The line standard error gets when the system refused a file:
// "ddsswizzle: FILE: Permission denied".
std::string system_error_line(const std::filesystem::path& path, int error);

// Describes the texture file at path for the console, changing nothing:
// what its header says and whether each direction would convert it. Returns
// true when one would.
bool describe_file(const std::filesystem::path& path, Console console, std::string& output, std::string& errors);

}  // namespace ddsswizzle::tool
