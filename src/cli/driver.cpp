// The command-line driver.
#include "cli/driver.h"

#include "cli/messages.h"
#include "cli/rewrite.h"

namespace ddsswizzle::tool {
namespace {

// Words are compared as bytes. On Windows arguments arrive as UTF-16 and are
// turned into UTF-8 here; the mode and platform words are plain ASCII, so a
// word with any other character simply fails to match.
std::string argument_word(const std::filesystem::path& argument) {
    const std::u8string utf8 = argument.u8string();
    return {utf8.begin(), utf8.end()};
}

// Stands in for an absent platform word; like every word that does not begin
// with "x360" it selects the PS3.
constexpr std::string_view default_platform = "0";

void print_banner(std::string& output) {
    output += messages::banner_start;
    output += messages::contact_handle;
    output += "\n";
    output += messages::usage;
}

// Converts the file for the console of the platform word; true when it was
// rewritten and the rewrite is on the disk.
bool dispatch_platform(std::string_view platform, const std::filesystem::path& path, Direction direction,
                       std::string& output) {
    const FileConversion conversion = convert_texture_file(path, direction, console_of(platform));
    output += message_for(conversion);
    return conversion.outcome == Outcome::converted;
}

// The mode word must match in length and in every character, letter case
// included ("unswiz" or "swiz"); "info" only describes the file.
bool dispatch_mode(std::string_view mode, const std::filesystem::path& path, std::string_view platform,
                   std::string& output) {
    if (mode == "unswiz") return dispatch_platform(platform, path, Direction::unswizzle, output);
    if (mode == "swiz") return dispatch_platform(platform, path, Direction::swizzle, output);
    if (mode == "info") return describe_file(path, console_of(platform), output);
    output += messages::wrong_mode;
    return false;
}

}  // namespace

Console console_of(std::string_view platform) noexcept {
    return platform.starts_with("x360") ? Console::x360 : Console::ps3;
}

int run_driver(std::span<const std::filesystem::path> arguments, std::string& output) {
    const std::string first = arguments.empty() ? std::string() : argument_word(arguments[0]);
    if (first == "--help" || first == "--version") {
        if (first == "--help") {
            print_banner(output);
            output += messages::help;
        } else {
            output += messages::version_start;
            output += version();
        }
        output += messages::final_newline;
        return exit_converted;
    }
    if (arguments.size() < 2) {
        print_banner(output);
        output += messages::final_newline;
        return exit_usage;
    }
    const std::string platform = arguments.size() > 2 ? argument_word(arguments[2]) : std::string(default_platform);
    const bool done = dispatch_mode(first, arguments[1], platform, output);
    output += messages::final_newline;
    return done ? exit_converted : exit_not_converted;
}

}  // namespace ddsswizzle::tool
