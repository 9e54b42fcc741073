// `ddsswizzle info`: what a texture file's header describes, and whether each
// direction would convert it for a console, the same checks as a conversion
// makes, with nothing written.
#include <algorithm>
#include <array>
#include <string>

#include "cli/driver.h"
#include "cli/file_io.h"
#include "cli/messages.h"

namespace ddsswizzle::tool {
namespace {

// A DDS header with its DX10 extension.
constexpr std::size_t header_with_extension = 148;

std::string number(std::uint64_t value) { return std::to_string(value); }

// "Unknown format (no row of the recognition table matches ...)".
std::string refusal(Status status, Reason reason) {
    std::string text(message(status));
    if (!describe(reason).empty()) text.append(" (").append(describe(reason)).append(")");
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

bool describe_file(const std::filesystem::path& path, Console console, std::string& output) {
    std::array<std::byte, header_with_extension> start{};
    std::uint64_t length = 0;
    if (read_start(path, start, length) != FileStatus::ok) {
        output += messages::cannot_open;
        return false;
    }
    const std::span<const std::byte> header = std::span(start).first(static_cast<std::size_t>(std::min<std::uint64_t>(length, start.size())));
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
        output.append("\n").append(refusal(read, reason));
        return false;
    }
    const std::string_view console_name = console == Console::x360 ? "Xbox 360" : "PS3";
    std::uint64_t linear = 0;
    std::uint64_t image = 0;
    if (const Status sized = sizes(dds.surface, console, linear, image); sized == Status::ok) {
        output.append("\n").append(console_name).append(": ").append(number(linear));
        output.append(" bytes of linear levels, ").append(number(image)).append(" bytes in console layout");
    }
    bool converts = false;
    for (const Direction direction : {Direction::swizzle, Direction::unswizzle}) {
        std::uint64_t converted = 0;
        const Status status = check_dds(header, length, console, direction, converted, &reason);
        output += direction == Direction::swizzle ? "\nswiz: " : "\nunswiz: ";
        if (status == Status::ok) {
            output.append(messages::info_converts).append(", the file becomes ").append(number(converted)).append(" bytes");
            converts = true;
        } else {
            output += refusal(status, reason);
        }
    }
    return converts;
}

}  // namespace ddsswizzle::tool
