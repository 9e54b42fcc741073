// The container words: `list`, `extract` and `replace` on a PS3 GTF or Xbox
// 360 XPR2 file. The container says which console it is for, so none takes
// a platform word. The container is read whole through the library's file
// access; extracted textures are new files, never written over one there.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "cli/messages.h"
#include "file/file_create.h"
#include "file/file_io.h"

namespace ddsswizzle::tool {
namespace {

std::string number(std::uint64_t value) { return std::to_string(value); }

// "Unknown format: the descriptor's format is none ...", or the message
// alone where the reason has no sentence.
std::string refusal(Status status, Reason reason) {
    std::string text(message(status));
    if (!describe(reason).empty()) text.append(": ").append(describe(reason));
    return text;
}

// The whole file, read as `info` reads: opened for reading only. On a
// failure the message is printed and the system's reason goes to errors.
bool read_container_file(const std::filesystem::path& path, std::vector<std::byte>& bytes, std::string& output,
                         std::string& errors) {
    file::OpenedFile opened;
    file::FileStatus status = file::open_for_reading(path.c_str(), opened);
    if (status == file::FileStatus::ok) {
        if (opened.length > bytes.max_size()) {
            output.append("\n").append(message(Status::out_of_memory));
            errors += system_error_line(path, ENOMEM);
            return false;
        }
        bytes.resize(static_cast<std::size_t>(opened.length));
        status = file::read_exact(opened, bytes);
    }
    if (status == file::FileStatus::ok) return true;
    output.append("\n").append(message(Status::cannot_open_file));
    errors += system_error_line(path, opened.error != 0 ? opened.error : EIO);
    return false;
}

// The container's console and entry count, or its refusal printed.
bool count_entries(std::span<const std::byte> bytes, Console& console, std::uint32_t& count, std::string& output) {
    Reason reason = DDSSWIZZLE_REASON_NONE;
    const Status status = container_count(bytes, console, count, &reason);
    if (status != Status::ok) output.append("\n").append(refusal(status, reason));
    return status == Status::ok;
}

// An XPR2 resource's name, or a GTF record's id.
std::string entry_name(std::span<const std::byte> bytes, const TextureEntry& entry) {
    if (entry.console == DDSSWIZZLE_PS3 || entry.name_length == 0) return "id " + number(entry.id);
    std::string name;
    for (const std::byte b : bytes.subspan(static_cast<std::size_t>(entry.name_offset),
                                           static_cast<std::size_t>(entry.name_length))) {
        name += static_cast<char>(b);
    }
    return name;
}

std::string layout_words(const DescriptorLayout& layout) {
    if (layout.console == DDSSWIZZLE_PS3) {
        if (layout.swizzled != 0) return "swizzled";
        return layout.pitch == 0 ? "linear" : "linear, pitch " + number(layout.pitch);
    }
    if (layout.swizzled == 0) return "linear";
    return layout.packed_tail != 0 ? "tiled, packed tail" : "tiled";
}

// One line of `list`: index, name, then the texture or why it is refused.
std::string entry_line(std::span<const std::byte> bytes, const TextureEntry& entry) {
    std::string line = "\n";
    line.append(number(entry.index)).append("  ").append(entry_name(bytes, entry)).append("  ");
    if (entry.is_texture == 0) return line + std::string(messages::list_no_texture);
    if (entry.status != DDSSWIZZLE_OK) return line + refusal(static_cast<Status>(entry.status), entry.reason);
    const ddsswizzle_surface& s = entry.surface;
    line += format_name(s.format);
    line += "  " + number(static_cast<std::uint32_t>(s.width)) + " x " + number(static_cast<std::uint32_t>(s.height));
    if (s.depth > 1) line += " x " + number(static_cast<std::uint32_t>(s.depth));
    line += "  " + number(static_cast<std::uint32_t>(s.levels)) + (s.levels == 1 ? " level" : " levels");
    line += s.cube != 0 ? "  cube" : s.depth > 1 ? "  volume" : "  2D";
    return line + "  " + layout_words(entry.layout) + "  " + std::string(messages::info_converts);
}

bool list_container(const std::filesystem::path& path, std::string& output, std::string& errors) {
    std::vector<std::byte> bytes;
    Console console = Console::ps3;
    std::uint32_t count = 0;
    if (!read_container_file(path, bytes, output, errors) || !count_entries(bytes, console, count, output)) return false;
    output += console == Console::x360 ? messages::list_xpr2 : messages::list_gtf;
    output += number(count) + (count == 1 ? " entry" : " entries");
    for (std::uint32_t index = 0; index < count; ++index) {
        TextureEntry entry{};
        static_cast<void>(container_texture(bytes, index, entry));  // the count was read: every index is valid
        output += entry_line(bytes, entry);
    }
    return true;
}

// Writes texture index as FOLDER/STEM.INDEX.dds; false, with the reason
// printed after the index, when it is refused or not written.
bool extract_texture(std::span<const std::byte> bytes, std::uint32_t index, const std::filesystem::path& target,
                     std::string& output, std::string& errors) {
    std::string at = "\n";
    at.append(number(index)).append(": ");
    Reason reason = DDSSWIZZLE_REASON_NONE;
    std::size_t length = 0;
    Status status = extract(bytes, index, {}, length, &reason);
    std::vector<std::byte> dds;
    if (status == Status::ok) {
        dds.resize(length);
        status = extract(bytes, index, dds, length, &reason);
    }
    if (status != Status::ok) {
        output += at + refusal(status, reason);
        return false;
    }
    int error = 0;
    if (file::create_new_file(target.c_str(), dds, error) != file::FileStatus::ok) {
        output += at;
        output += error == EEXIST ? messages::file_exists : message(Status::cannot_write_file);
        errors += system_error_line(target, error);
        return false;
    }
    const std::u8string name = target.filename().u8string();
    output += at + std::string(messages::extract_wrote) + std::string(name.begin(), name.end());
    return true;
}

bool extract_container(const std::filesystem::path& path, const std::filesystem::path& folder, std::string& output,
                       std::string& errors) {
    std::vector<std::byte> bytes;
    Console console = Console::ps3;
    std::uint32_t count = 0;
    if (!read_container_file(path, bytes, output, errors) || !count_entries(bytes, console, count, output)) return false;
    bool every = true;
    for (std::uint32_t index = 0; index < count; ++index) {
        TextureEntry entry{};
        static_cast<void>(container_texture(bytes, index, entry));
        if (entry.is_texture == 0) continue;  // an XPR2 resource that is no texture has nothing to extract
        std::filesystem::path name = path.stem();
        name += ".";
        name += number(index);
        name += ".dds";
        every = extract_texture(bytes, index, folder / name, output, errors) && every;
    }
    return every;
}

// A texture index: decimal digits only, below 2^32.
std::optional<std::uint32_t> index_of(const std::string& word) {
    std::uint32_t index = 0;
    const char* end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, index);
    if (word.empty() || error != std::errc() || stop != end) return std::nullopt;
    return index;
}

bool replace_in_container(const std::filesystem::path& path, const std::string& index_word,
                          const std::filesystem::path& dds, std::string& output, std::string& errors) {
    const std::optional<std::uint32_t> index = index_of(index_word);
    if (!index) {
        output += messages::wrong_index;
        return false;
    }
    Reason reason = DDSSWIZZLE_REASON_NONE;
    const Status status = replace_file(path, *index, dds, &reason);
    const int error = errno;
    if (status == Status::ok) return true;
    if (status == Status::cannot_open_file || status == Status::cannot_write_file ||
        status == Status::not_confirmed_on_disk || status == Status::out_of_memory) {
        output.append("\n").append(message(status));
        errors += system_error_line(reason == DDSSWIZZLE_REASON_FILE_NOT_READ ? dds : path, error);
    } else {
        output.append("\n").append(refusal(status, reason));
    }
    return false;
}

}  // namespace

bool is_container_word(std::string_view word) { return word == "list" || word == "extract" || word == "replace"; }

std::optional<bool> run_container_word(std::string_view word, std::span<const std::filesystem::path> arguments,
                                       const std::string& index_word, std::string& output, std::string& errors) {
    if (word == "list") return list_container(arguments[1], output, errors);
    if (word == "extract") {
        const std::filesystem::path folder = arguments.size() > 2 ? arguments[2] : arguments[1].parent_path();
        return extract_container(arguments[1], folder, output, errors);
    }
    if (arguments.size() < 4) return std::nullopt;
    return replace_in_container(arguments[1], index_word, arguments[3], output, errors);
}

void describe_container(const std::filesystem::path& path, std::string& output) {
    std::vector<std::byte> bytes;
    std::string ignored;
    Console console = Console::ps3;
    std::uint32_t count = 0;
    if (!read_container_file(path, bytes, ignored, ignored) ||
        container_count(bytes, console, count) != Status::ok) {
        return;
    }
    output += console == Console::x360 ? messages::list_xpr2 : messages::list_gtf;
    output += number(count) + (count == 1 ? " entry" : " entries");
    output += messages::info_container;
}

}  // namespace ddsswizzle::tool
