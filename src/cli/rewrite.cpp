// One file read, converted through the library and rewritten.
#include "cli/rewrite.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <span>

#include "cli/file_io.h"
#include "cli/messages.h"
#include "cli/payload_buffer.h"

namespace ddsswizzle::tool {
namespace {

// A DDS header with its DX10 extension: enough to decide everything before
// the payload is read.
constexpr std::size_t header_with_extension = 148;

FileConversion refused(Status status) noexcept { return {Outcome::refused, status}; }

}  // namespace

FileConversion convert_texture_file(const std::filesystem::path& path, Direction direction, Console console) {
    OpenedFile file;
    if (open_for_rewrite(path, file) != FileStatus::ok) return {Outcome::cannot_open};

    std::array<std::byte, header_with_extension> start{};
    const auto start_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(file.length, start.size()));
    if (read_exact(file, std::span(start).first(start_bytes)) != FileStatus::ok) return {Outcome::cannot_open};
    std::uint64_t converted_length = 0;
    const Status checked = check_dds(std::span(start).first(start_bytes), file.length, console, direction, converted_length);
    if (checked != Status::ok) return refused(checked);

    // Two buffers: the whole file as read, and the whole file as it will be
    // written. Both are left uninitialised; every byte is filled.
    constexpr std::uint64_t addressable = std::numeric_limits<std::size_t>::max();
    if (file.length > addressable || converted_length > addressable) return {Outcome::out_of_memory};
    const auto length = static_cast<std::size_t>(file.length);
    const auto output_length = static_cast<std::size_t>(converted_length);
    const PayloadBuffer source_buffer = allocate_payload_buffer(length);
    const PayloadBuffer result_buffer = allocate_payload_buffer(output_length);
    if (!source_buffer || !result_buffer) return {Outcome::out_of_memory};
    const std::span<std::byte> source(source_buffer.get(), length);
    const std::span<std::byte> result(result_buffer.get(), output_length);

    std::memcpy(source.data(), start.data(), start_bytes);
    const FileStatus read = read_exact(file, source.subspan(start_bytes));
    if (read == FileStatus::short_read) return refused(Status::truncated_data);
    if (read != FileStatus::ok) return {Outcome::cannot_open};
    static_cast<void>(file.descriptor.close());  // only read from: nothing is lost if its close fails

    const Status converted = convert_dds(source, result, console, direction);
    if (converted != Status::ok) return refused(converted);
    const FileStatus written = replace_file_contents(file, result);
    if (written == FileStatus::not_confirmed) return {Outcome::not_confirmed};
    return written == FileStatus::ok ? FileConversion{} : FileConversion{Outcome::cannot_write};
}

std::string message_for(const FileConversion& conversion) {
    switch (conversion.outcome) {
        case Outcome::converted: return {};
        case Outcome::refused: return std::string("\n").append(message(conversion.refusal));
        case Outcome::cannot_open: return std::string(messages::cannot_open);
        case Outcome::cannot_write: return std::string(messages::cannot_write);
        case Outcome::out_of_memory: return std::string(messages::out_of_memory);
        case Outcome::not_confirmed: return std::string(messages::not_confirmed);
    }
    return {};
}

}  // namespace ddsswizzle::tool
