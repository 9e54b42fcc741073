// The command-line driver.
#include "cli/driver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/messages.h"

namespace ddsswizzle::tool {
namespace {

// Words are compared as bytes. On Windows arguments arrive as UTF-16 and are
// turned into UTF-8 here; the mode and platform words are plain ASCII, so a
// word with any other character simply fails to match.
std::string argument_word(const std::filesystem::path& argument) {
    const std::u8string utf8 = argument.u8string();
    return {utf8.begin(), utf8.end()};
}

void print_banner(std::string& output) {
    output += messages::banner_start;
    output += messages::contact_handle;
    output += "\n";
    output += messages::usage;
}

// Converts the file in place; true when it was rewritten and the rewrite is
// on the disk.
bool convert(const std::filesystem::path& path, Console console, Direction direction, std::string& output,
             std::string& errors) {
    const Status status = convert_file(path, console, direction);
    const int error = errno;
    if (status == Status::ok) return true;
    output.append("\n").append(message(status));
    if (status == Status::cannot_open_file || status == Status::cannot_write_file ||
        status == Status::not_confirmed_on_disk) {
        errors += system_error_line(path, error);
    }
    return false;
}

// The mode word must match in length and in every character, letter case
// included ("unswiz" or "swiz"); "info" only describes the file. The mode
// is checked first, then the platform word, then the file.
bool dispatch(std::string_view mode, std::span<const std::filesystem::path> arguments, std::string& output,
              std::string& errors) {
    const bool info = mode == "info";
    if (!info && mode != "swiz" && mode != "unswiz") {
        output += messages::wrong_mode;
        return false;
    }
    const std::optional<Console> console =
        console_of(arguments.size() > 2 ? std::optional(argument_word(arguments[2])) : std::nullopt);
    if (!console) {
        output += messages::wrong_platform;
        return false;
    }
    if (info) return describe_file(arguments[1], *console, output, errors);
    return convert(arguments[1], *console, mode == "swiz" ? Direction::swizzle : Direction::unswizzle, output, errors);
}

}  // namespace

std::optional<Console> console_of(const std::optional<std::string>& platform) {
    if (!platform) return Console::ps3;
    if (platform->starts_with("x360")) return Console::x360;
    // ASCII letters only, whatever the locale.
    const auto same_letter = [](char c, char lower) { return c == lower || (c >= 'A' && c <= 'Z' && c - 'A' + 'a' == lower); };
    const std::string_view ps3 = "ps3";
    if (std::equal(platform->begin(), platform->end(), ps3.begin(), ps3.end(), same_letter)) return Console::ps3;
    return std::nullopt;
}

std::string system_error_line(const std::filesystem::path& path, int error) {
    return "ddsswizzle: " + argument_word(path) + ": " + std::strerror(error) + "\n";
}

int run_driver(std::span<const std::filesystem::path> arguments, std::string& output, std::string& errors) {
    const std::string first = arguments.empty() ? std::string() : argument_word(arguments[0]);
    if (first == "--help" || first == "-h" || first == "--version") {
        if (first == "--version") {
            output += messages::version_start;
            output += version();
        } else {
            print_banner(output);
            output += messages::help;
        }
        output += messages::final_newline;
        return exit_converted;
    }
    if (arguments.size() < 2) {
        print_banner(output);
        output += messages::final_newline;
        return exit_usage;
    }
    const bool done = dispatch(first, arguments, output, errors);
    output += messages::final_newline;
    return done ? exit_converted : exit_not_converted;
}

}  // namespace ddsswizzle::tool
