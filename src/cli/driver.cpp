// The command-line driver.
#include "cli/driver.h"

#include "cli/messages.h"
#include "texture/texture_file.h"

namespace ddsswizzle {
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

}  // namespace

bool dispatch_platform(std::string_view platform, const std::filesystem::path& path,
                       Direction direction, std::string& output) {
    const Console console = platform.starts_with("x360") ? Console::x360 : Console::ps3;
    const ConversionStatus status = convert_texture_file(path, direction, console);
    output += messages::for_status(status);
    return status == ConversionStatus::converted;
}

bool dispatch_mode(std::string_view mode, const std::filesystem::path& path,
                   std::string_view platform, std::string& output) {
    if (mode == "unswiz") return dispatch_platform(platform, path, Direction::unswizzle, output);
    if (mode == "swiz") return dispatch_platform(platform, path, Direction::swizzle, output);
    output += messages::wrong_mode;
    return false;
}

int run_driver(std::span<const std::filesystem::path> arguments, std::string& output) {
    if (arguments.size() < 2) {
        output += messages::banner_start;
        output += messages::contact_handle;
        output += "\n";
        output += messages::usage;
        output += messages::final_newline;
        return exit_usage;
    }
    const std::string platform =
        arguments.size() > 2 ? argument_word(arguments[2]) : std::string(default_platform);
    const bool rewritten = dispatch_mode(argument_word(arguments[0]), arguments[1], platform, output);
    output += messages::final_newline;
    return rewritten ? exit_converted : exit_not_converted;
}

}  // namespace ddsswizzle
