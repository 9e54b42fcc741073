// `ddsswizzle info`: what a texture file's header describes, and whether each
// direction would convert it for a console, the same checks as a conversion
// makes, in the same order, with nothing written.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "cli/driver.h"
#include "cli/messages.h"
#include "file/file_io.h"

namespace ddsswizzle::tool {
namespace {

// A DDS header with its DX10 extension.
constexpr std::size_t header_with_extension = 148;

std::string number(std::uint64_t value) { return std::to_string(value); }

// The message, a colon and the reason, as one sentence: "Unknown format:
// this console has no layout for the format".
std::string refusal(Status status, std::string_view reason) {
    std::string text(message(status));
    if (!reason.empty()) text.append(": ").append(reason);
    return text;
}

std::string texture_kind(const DdsInfo& dds) {
    const Surface& s = dds.surface;
    std::string kind = s.cube ? "cube map" : dds.volume ? "volume" : "2D texture";
    kind += ", " + number(static_cast<std::uint32_t>(s.width)) + " x " + number(static_cast<std::uint32_t>(s.height));
    if (dds.volume) kind += " x " + number(static_cast<std::uint32_t>(s.depth));
    return kind + " pixels, " + number(static_cast<std::uint32_t>(s.levels)) + (s.levels == 1 ? " level" : " levels");
}

}  // namespace

bool describe_file(const std::filesystem::path& path, Console console, std::string& output, std::string& errors) {
    // Read through the library's own file access, which resolves the path as
    // a rewrite would; opened for reading only.
    file::OpenedFile opened;
    std::array<std::byte, header_with_extension> start{};
    const auto start_bytes = [&] { return static_cast<std::size_t>(std::min<std::uint64_t>(opened.length, start.size())); };
    if (file::open_for_reading(path.c_str(), opened) != file::FileStatus::ok ||
        file::read_exact(opened, std::span(start).first(start_bytes())) != file::FileStatus::ok) {
        output.append("\n").append(message(Status::cannot_open_file));
        errors += system_error_line(path, opened.error != 0 ? opened.error : EIO);
        return false;
    }
    // What a rewrite would meet before and after the texture's checks: a
    // file this user may not write, a folder that refuses the new file.
    const file::FileStatus access = file::check_rewritable(opened);
    const std::uint64_t length = opened.length;
    const std::span<const std::byte> header = std::span(start).first(start_bytes());
    DdsInfo dds;
    Reason reason = DDSSWIZZLE_REASON_NONE;
    const Status read = read_dds(header, dds, &reason);
    if (dds.surface.format != 0) {
        output += messages::info_format;
        output += format_name(dds.surface.format).empty() ? "no DXGI format" : format_name(dds.surface.format);
        output += " (DXGI " + number(dds.surface.format) + ")";
    }
    if (read == Status::ok || reason > DDSSWIZZLE_REASON_FORMAT_NOT_ON_CONSOLE) {
        output += messages::info_texture;
        output += texture_kind(dds);
        output += messages::info_payload;
        output += number(length - dds.payload_offset) + " bytes from byte " + number(dds.payload_offset);
    }
    if (read != Status::ok) {
        output.append("\n").append(refusal(read, describe(reason)));
        return false;
    }
    const std::string_view console_name = console == Console::x360 ? "Xbox 360" : "PS3";
    std::uint64_t linear = 0;
    std::uint64_t image = 0;
    if (const Status sized = sizes(dds.surface, console, linear, image); sized == Status::ok) {
        output.append("\n").append(console_name).append(": ").append(number(linear));
        output.append(" bytes of linear levels, ").append(number(image)).append(" bytes in console layout");
        if (console == Console::x360 && length - dds.payload_offset == image && image != linear) {
            output += messages::info_looks_converted;
        }
    }
    bool converts = false;
    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        std::uint64_t converted = 0;
        const Status status = check_dds(header, length, console, direction, converted, &reason);
        output += direction == Direction::swizzle ? "\nswiz: " : "\nunswiz: ";
        if (access == file::FileStatus::cannot_open) {
            output += refusal(Status::cannot_open_file, std::strerror(opened.error));
        } else if (status != Status::ok) {
            output += refusal(status, describe(reason));
        } else if (access != file::FileStatus::ok) {
            output += refusal(Status::cannot_write_file, std::strerror(opened.error));
        } else {
            output.append(messages::info_converts).append(", the file becomes ").append(number(converted)).append(" bytes");
            converts = true;
        }
    }
    return converts;
}

}  // namespace ddsswizzle::tool
