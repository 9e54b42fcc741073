// The C interface: arguments checked, then handed to the conversion plan, and
// every message the library can give, in one place.
#include "ddsswizzle/ddsswizzle.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "api/containers.h"
#include "file/file_io.h"
#include "file/payload_buffer.h"
#include "file/piece_writer.h"
#include "layout/format_table.h"
#include "texture/texture_plan.h"

namespace {

using namespace ddsswizzle::engine;
namespace file = ddsswizzle::file;

// The tool prints these, each after a newline.
constexpr std::array<const char*, 11> status_messages = {
    "OK",
    "Not a DDS texture",
    "Unknown format",
    "Unsupported texture type",
    "Unsupported size",
    "Texture data is truncated",
    "Invalid argument",
    "Cannot open file",
    "Cannot write file",
    "Out of memory",
    // The file holds the converted texture, but the rename that put it there
    // may not survive a power cut. Worded so that nobody converts the file
    // again.
    "Converted, not confirmed on disk",
};

// Read after the message and a colon ("Unknown format: this console has no
// layout for the format"), so none holds parentheses of its own.
constexpr std::array<const char*, 29> reason_texts = {
    "",
    "the file is shorter than the 128-byte DDS header",
    "the file does not begin with \"DDS \" and the header size 124",
    "the FourCC is DX10 but the file ends before the 20 bytes of its extension",
    "the header's pixel format matches no row of the recognition table",
    "this console has no layout for the format",
    "a texture array, or a DX10 resource dimension that is no 1D, 2D or 3D texture",
    "a cube map without all six faces",
    "the header says both cube map and volume",
    "this console stores no volume of this format; the PS3 stores volumes of pixels only, the Xbox 360 none",
    "a side is zero or negative",
    "the width is not a power of two, which Morton order needs",
    "the height is not a power of two, which Morton order needs",
    "the depth is not a power of two, which Morton order needs",
    "a side is above 8192 pixels, the most the Xbox 360 stores",
    "no mip level, or more than the longest side allows or than 127",
    "a level of 2 GiB or more",
    "the data is shorter than the texture it should hold",
    "a pointer is null",
    "the console or the direction is none of the values listed",
    "the result buffer is smaller than the converted data",
    "the source and the result overlap",
    "the level or the face is outside the surface",
    "fewer bytes given than the first 148 of the file, or than all of a shorter one",
    "the file is missing, no regular file, or not readable and writable by you",
    "reading the file failed",
    "the converted file could not be written beside the file or renamed over it",
    "not enough memory for the file as read and as converted",
    "the file is converted, but its folder could not be flushed to the disk",
};

// The engine's reasons are the first values of ddsswizzle_reason, in order.
static_assert(static_cast<int>(Reason::data_short) == DDSSWIZZLE_REASON_DATA_SHORT &&
              static_cast<int>(Reason::side_not_positive) == DDSSWIZZLE_REASON_SIDE_NOT_POSITIVE);

constexpr ddsswizzle_status status_code(Status status) noexcept {
    switch (status) {
        case Status::converted: return DDSSWIZZLE_OK;
        case Status::not_a_texture: return DDSSWIZZLE_NOT_A_DDS_TEXTURE;
        case Status::unknown_format: return DDSSWIZZLE_UNKNOWN_FORMAT;
        case Status::unsupported_type: return DDSSWIZZLE_UNSUPPORTED_TEXTURE_TYPE;
        case Status::unsupported_size: return DDSSWIZZLE_UNSUPPORTED_SIZE;
        case Status::truncated: return DDSSWIZZLE_TRUNCATED_DATA;
    }
    return DDSSWIZZLE_INVALID_ARGUMENT;
}

// Sets *out (when asked for) and gives the status the reason belongs to.
ddsswizzle_status verdict(Reason reason, ddsswizzle_reason* out) noexcept {
    if (out != nullptr) *out = static_cast<ddsswizzle_reason>(reason);
    return status_code(status_of(reason));
}

ddsswizzle_status invalid(ddsswizzle_reason reason, ddsswizzle_reason* out = nullptr) noexcept {
    if (out != nullptr) *out = reason;
    return DDSSWIZZLE_INVALID_ARGUMENT;
}

bool known(ddsswizzle_console console) noexcept { return console == DDSSWIZZLE_PS3 || console == DDSSWIZZLE_X360; }
bool known(ddsswizzle_direction d) noexcept { return d == DDSSWIZZLE_SWIZZLE || d == DDSSWIZZLE_UNSWIZZLE; }

Console engine_console(ddsswizzle_console console) noexcept {
    return console == DDSSWIZZLE_X360 ? Console::x360 : Console::ps3;
}
Direction engine_direction(ddsswizzle_direction d) noexcept {
    return d == DDSSWIZZLE_UNSWIZZLE ? Direction::unswizzle : Direction::swizzle;
}

// The engine's surface of a surface of the interface: a depth above 1 makes
// a volume, which no cube map can be, and a depth below 1 no surface.
Reason engine_surface(const ddsswizzle_surface& s, Surface& surface) noexcept {
    surface = {s.format, TextureType::plain, s.width, s.height, s.depth, s.levels};
    if (s.cube != 0) surface.type = TextureType::cube_map;
    if (s.depth > 1) surface.type = TextureType::volume;
    if (s.cube != 0 && s.depth > 1) return Reason::cube_map_and_volume;
    return s.depth <= 0 ? Reason::side_not_positive : Reason::none;
}

// A surface of the interface laid out for the console.
ddsswizzle_status lay_out(const ddsswizzle_surface* s, ddsswizzle_console console, SurfaceGeometry& geometry,
                          ddsswizzle_reason* reason) noexcept {
    if (s == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    if (!known(console)) return invalid(DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION, reason);
    // The format first, as for a DDS file: a format the console has no
    // layout for is unknown whatever else is asked.
    if (!console_stores(s->format, engine_console(console))) return verdict(Reason::format_not_on_console, reason);
    Surface surface;
    if (const Reason refused = engine_surface(*s, surface); refused != Reason::none) return verdict(refused, reason);
    return verdict(lay_out_surface(surface, engine_console(console), geometry), reason);
}

// Whether [a, a + a_size) and [b, b + b_size) share a byte.
bool overlap(const void* a, std::size_t a_size, const void* b, std::size_t b_size) noexcept {
    const auto first = reinterpret_cast<std::uintptr_t>(a);
    const auto second = reinterpret_cast<std::uintptr_t>(b);
    return a_size != 0 && b_size != 0 && first < second + b_size && second < first + a_size;
}

std::span<const std::byte> bytes(const void* data, std::size_t size) noexcept {
    return {static_cast<const std::byte*>(data), size};
}

// What a rewrite of a file came to: for the file statuses, with the
// system's error number.
struct FileOutcome {
    ddsswizzle_status status = DDSSWIZZLE_OK;
    ddsswizzle_reason reason = DDSSWIZZLE_REASON_NONE;
    int error = 0;
};

FileOutcome refused(Reason reason) noexcept {
    return {status_code(status_of(reason)), static_cast<ddsswizzle_reason>(reason), 0};
}

// A file read whole and the plan of its conversion: the maker of the pieces
// of the converted file.
struct Conversion {
    const TexturePlan* plan = nullptr;
    Direction way = Direction::swizzle;
    std::span<const std::byte> file;
};

bool make_piece(const void* context, std::uint64_t begin, std::span<std::byte> piece) noexcept {
    const Conversion& c = *static_cast<const Conversion*>(context);
    return convert_texture_piece(*c.plan, c.way, c.file, begin, piece);
}

// The file read whole, converted through the plan of its first bytes, and
// replaced by the durable rewrite. Every descriptor and buffer is gone once
// it returns, so that nothing after it changes errno.
FileOutcome rewrite(const file::PathChar* path, Console console, Direction way) noexcept {
    using file::FileStatus;
    file::OpenedFile opened;
    if (file::open_for_rewrite(path, opened) != FileStatus::ok) {
        return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_OPENED, opened.error};
    }
    // The header with its extension decides everything before the payload
    // is read. A file that ends before the length it had when it was opened
    // is as short as the texture data it lost.
    std::array<std::byte, extended_header_size> start{};
    const auto start_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(opened.length, start.size()));
    FileStatus read = file::read_exact(opened, std::span(start).first(start_bytes));
    if (read == FileStatus::short_read) return refused(Reason::data_short);
    if (read != FileStatus::ok) return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_READ, opened.error};
    const TexturePlan plan = plan_texture_conversion(std::span(start).first(start_bytes), opened.length, way, console);
    if (plan.reason != Reason::none) return refused(plan.reason);

    // The whole file as read, its pages in place before the read; the file
    // as it will be is never held whole, but made a few MiB at a time into a
    // staging area while the pieces before are written (file/piece_writer.h).
    // Both are allocated before anything is written, and left
    // uninitialised: every byte is filled.
    const FileOutcome no_memory{DDSSWIZZLE_OUT_OF_MEMORY, DDSSWIZZLE_REASON_NO_MEMORY_FOR_FILE, ENOMEM};
    constexpr std::uint64_t addressable = std::numeric_limits<std::size_t>::max();
    if (opened.length > addressable || plan.output_length > addressable) return no_memory;
    const auto length = static_cast<std::size_t>(opened.length);
    const file::PayloadBuffer source_buffer = file::allocate_payload_buffer(length);
    file::Staging staging;
    if (!source_buffer || !file::prepare_staging(plan.output_length, plan.dds.header_bytes, staging)) return no_memory;
    const std::span<std::byte> source(source_buffer.get(), length);
    if (start_bytes > 0) std::memcpy(source.data(), start.data(), start_bytes);
    read = file::read_exact(opened, source.subspan(start_bytes));
    if (read == FileStatus::short_read) return refused(Reason::data_short);
    if (read != FileStatus::ok) return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_READ, opened.error};
    // A file that grew meanwhile is not the file that was planned: refused,
    // untouched, as a read that did not hold together.
    std::byte more{};
    read = file::read_exact(opened, std::span(&more, 1));
    if (read == FileStatus::ok) return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_READ, EAGAIN};
    if (read != FileStatus::short_read) return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_READ, opened.error};
    static_cast<void>(opened.descriptor.close());  // only read from: nothing is lost if its close fails

    file::Replacement replacement;
    if (file::start_replacement(opened, replacement) != FileStatus::ok) {
        return {DDSSWIZZLE_CANNOT_WRITE_FILE, DDSSWIZZLE_REASON_FILE_NOT_REPLACED, opened.error};
    }
    const Conversion conversion{&plan, way, source};
    switch (file::write_pieces(replacement, staging, {make_piece, &conversion})) {
        case file::PiecesStatus::written: break;
        case file::PiecesStatus::not_made: return refused(Reason::data_short);
        case file::PiecesStatus::cannot_write:
            return {DDSSWIZZLE_CANNOT_WRITE_FILE, DDSSWIZZLE_REASON_FILE_NOT_REPLACED, opened.error};
    }
    switch (file::finish_replacement(replacement)) {
        case FileStatus::ok: return {};
        case FileStatus::not_confirmed:
            return {DDSSWIZZLE_NOT_CONFIRMED_ON_DISK, DDSSWIZZLE_REASON_FOLDER_NOT_FLUSHED, opened.error};
        default: return {DDSSWIZZLE_CANNOT_WRITE_FILE, DDSSWIZZLE_REASON_FILE_NOT_REPLACED, opened.error};
    }
}

// The whole of an opened file, read into a buffer of its length.
file::FileStatus read_whole(file::OpenedFile& opened, file::PayloadBuffer& buffer) noexcept {
    if (opened.length > std::numeric_limits<std::size_t>::max()) {
        opened.error = ENOMEM;
        return file::FileStatus::cannot_read;
    }
    const auto length = static_cast<std::size_t>(opened.length);
    buffer = file::allocate_payload_buffer(length);
    if (!buffer) {
        opened.error = ENOMEM;
        return file::FileStatus::cannot_read;
    }
    return file::read_exact(opened, {buffer.get(), length});
}

// A container's texture replaced by a DDS file's, the container rewritten
// durably as a DDS file is by rewrite().
FileOutcome replace_in_file(const file::PathChar* path, std::uint32_t index, const file::PathChar* dds_path) noexcept {
    using file::FileStatus;
    const FileOutcome no_memory{DDSSWIZZLE_OUT_OF_MEMORY, DDSSWIZZLE_REASON_NO_MEMORY_FOR_FILE, ENOMEM};
    file::OpenedFile dds;
    file::PayloadBuffer dds_bytes;
    if (file::open_for_reading(dds_path, dds) != FileStatus::ok) {
        return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_READ, dds.error};
    }
    FileStatus read = read_whole(dds, dds_bytes);
    if (read != FileStatus::ok && dds.error == ENOMEM) return no_memory;
    if (read == FileStatus::short_read) return refused(Reason::data_short);
    if (read != FileStatus::ok) return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_READ, dds.error};
    static_cast<void>(dds.descriptor.close());

    file::OpenedFile opened;
    file::PayloadBuffer source;
    if (file::open_for_rewrite(path, opened) != FileStatus::ok) {
        return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_OPENED, opened.error};
    }
    read = read_whole(opened, source);
    if (read != FileStatus::ok && opened.error == ENOMEM) return no_memory;
    if (read == FileStatus::short_read) return refused(Reason::data_short);
    if (read != FileStatus::ok) return {DDSSWIZZLE_CANNOT_OPEN_FILE, DDSSWIZZLE_REASON_FILE_NOT_OPENED, opened.error};
    static_cast<void>(opened.descriptor.close());  // only read from

    // Lengths below the address space, as read above; the new image is as
    // long as the container.
    const auto length = static_cast<std::size_t>(opened.length);
    const file::PayloadBuffer result = file::allocate_payload_buffer(length);
    if (!result && length != 0) return no_memory;
    FileOutcome outcome;
    std::size_t written = 0;
    outcome.status = ddsswizzle_replace(source.get(), length, index, dds_bytes.get(),
                                        static_cast<std::size_t>(dds.length), result.get(), length, &written,
                                        &outcome.reason);
    if (outcome.status != DDSSWIZZLE_OK) return outcome;
    switch (file::replace_file_contents(opened, {result.get(), written})) {
        case FileStatus::ok: return {};
        case FileStatus::not_confirmed:
            return {DDSSWIZZLE_NOT_CONFIRMED_ON_DISK, DDSSWIZZLE_REASON_FOLDER_NOT_FLUSHED, opened.error};
        default: return {DDSSWIZZLE_CANNOT_WRITE_FILE, DDSSWIZZLE_REASON_FILE_NOT_REPLACED, opened.error};
    }
}

// errno after a call on files: the system's error number for the file
// statuses, else what it was before.
ddsswizzle_status finish_file_call(const FileOutcome& outcome, int before, ddsswizzle_reason* reason) noexcept {
    if (reason != nullptr) *reason = outcome.reason;
    const bool system_failure = outcome.status >= DDSSWIZZLE_CANNOT_OPEN_FILE &&
                                outcome.status <= DDSSWIZZLE_NOT_CONFIRMED_ON_DISK;
    errno = !system_failure ? before : outcome.error != 0 ? outcome.error : EIO;
    return outcome.status;
}

ddsswizzle_status replace_file(const file::PathChar* path, std::uint32_t index, const file::PathChar* dds_path,
                               ddsswizzle_reason* reason) noexcept {
    if (path == nullptr || dds_path == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    const int before = errno;
    return finish_file_call(replace_in_file(path, index, dds_path), before, reason);
}

// The interface's side of a rewrite: arguments checked, and errno set last,
// to the system's error number for the file statuses, else back to what it
// was.
ddsswizzle_status convert_file(const file::PathChar* path, ddsswizzle_console console, ddsswizzle_direction direction,
                               ddsswizzle_reason* reason) noexcept {
    if (path == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    if (!known(console) || !known(direction)) return invalid(DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION, reason);
    const int before = errno;
    return finish_file_call(rewrite(path, engine_console(console), engine_direction(direction)), before, reason);
}

}  // namespace

extern "C" {

const char* ddsswizzle_version(void) { return DDSSWIZZLE_VERSION_TEXT; }

const char* ddsswizzle_status_message(ddsswizzle_status status) {
    if (status == DDSSWIZZLE_NOT_A_TEXTURE_CONTAINER) return "Not a texture container";
    const auto at = static_cast<std::size_t>(status);
    return at < status_messages.size() ? status_messages[at] : "";
}

const char* ddsswizzle_reason_text(ddsswizzle_reason reason) {
    if (reason >= DDSSWIZZLE_REASON_CONTAINER_SHORT_FILE) return ddsswizzle::api::container_reason_text(reason);
    const auto at = static_cast<std::size_t>(reason);
    return at < reason_texts.size() ? reason_texts[at] : "";
}

const char* ddsswizzle_format_name(uint32_t format) {
    // The names are views of string literals, each followed by its terminator.
    return dxgi_format_name(format).data() != nullptr ? dxgi_format_name(format).data() : "";
}

int ddsswizzle_format_number(const char* name, size_t length, uint32_t* format) {
    if (name == nullptr || format == nullptr) return 0;
    const std::optional<std::uint32_t> number = dxgi_format_number({name, length});
    if (number) *format = *number;
    return number ? 1 : 0;
}

ddsswizzle_status ddsswizzle_check(const ddsswizzle_surface* surface, ddsswizzle_console console,
                                   ddsswizzle_reason* reason) {
    SurfaceGeometry geometry;
    return lay_out(surface, console, geometry, reason);
}

ddsswizzle_status ddsswizzle_sizes(const ddsswizzle_surface* surface, ddsswizzle_console console,
                                   uint64_t* linear_size, uint64_t* console_size) {
    SurfaceGeometry geometry;
    const ddsswizzle_status status = lay_out(surface, console, geometry, nullptr);
    if (status != DDSSWIZZLE_OK) return status;
    if (linear_size != nullptr) *linear_size = geometry.linear_size;
    if (console_size != nullptr) *console_size = geometry.console_size;
    return DDSSWIZZLE_OK;
}

ddsswizzle_status ddsswizzle_place(const ddsswizzle_surface* surface, ddsswizzle_console console, int32_t level,
                                   int32_t face, ddsswizzle_placement* placement) {
    if (placement == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER);
    SurfaceGeometry geometry;
    const ddsswizzle_status status = lay_out(surface, console, geometry, nullptr);
    if (status != DDSSWIZZLE_OK) return status;
    if (level < 0 || level >= geometry.surface.levels || face < 0 || static_cast<std::uint32_t>(face) >= geometry.faces) {
        return invalid(DDSSWIZZLE_REASON_NO_SUCH_LEVEL);
    }
    const auto l = static_cast<std::uint32_t>(level);
    const LevelPlace place = place_level(geometry, l, static_cast<std::uint32_t>(face));
    const LevelGeometry sides = l < geometry.entries ? geometry.levels[l] : LevelGeometry{};
    *placement = {level,
                  face,
                  static_cast<std::int32_t>(sides.width),
                  static_cast<std::int32_t>(sides.height),
                  static_cast<std::int32_t>(sides.depth),
                  place.linear_offset,
                  place.linear_bytes,
                  place.console_offset,
                  place.console_bytes};
    return DDSSWIZZLE_OK;
}

ddsswizzle_status ddsswizzle_convert(const ddsswizzle_surface* surface, ddsswizzle_console console,
                                     ddsswizzle_direction direction, const void* source, size_t source_size,
                                     void* result, size_t result_size) {
    if (!known(direction)) return invalid(DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION);
    SurfaceGeometry geometry;
    const ddsswizzle_status status = lay_out(surface, console, geometry, nullptr);
    if (status != DDSSWIZZLE_OK) return status;
    const Direction way = engine_direction(direction);
    const std::uint64_t in = data_in_size(geometry, way);
    const std::uint64_t out = data_out_size(geometry, way);
    if ((source == nullptr && source_size != 0) || (result == nullptr && result_size != 0)) {
        return invalid(DDSSWIZZLE_REASON_NULL_POINTER);
    }
    if (source_size < in) return verdict(Reason::data_short, nullptr);
    if (result_size < out) return invalid(DDSSWIZZLE_REASON_RESULT_TOO_SMALL);
    const auto in_bytes = static_cast<std::size_t>(in);
    const auto out_bytes = static_cast<std::size_t>(out);
    if (overlap(source, in_bytes, result, out_bytes)) return invalid(DDSSWIZZLE_REASON_BUFFERS_OVERLAP);
    const bool done = convert_surface(geometry, way, bytes(source, in_bytes), {static_cast<std::byte*>(result), out_bytes});
    return done ? DDSSWIZZLE_OK : verdict(Reason::data_short, nullptr);
}

ddsswizzle_status ddsswizzle_read_dds(const void* data, size_t size, ddsswizzle_dds* dds, ddsswizzle_reason* reason) {
    if ((data == nullptr && size != 0) || dds == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    const DdsSurface read = read_dds_surface(bytes(data, size), size);
    const Surface& s = read.surface;
    const bool volume = s.type == TextureType::volume;
    *dds = {{s.format, s.width, s.height, volume ? s.depth : 1, s.levels, s.type == TextureType::cube_map ? 1 : 0},
            volume ? 1 : 0,
            static_cast<std::uint32_t>(read.header_bytes)};
    return verdict(read.reason, reason);
}

ddsswizzle_status ddsswizzle_dds_header(const ddsswizzle_surface* surface, int legacy, void* buffer, size_t size,
                                         size_t* written) {
    if (surface == nullptr || buffer == nullptr || written == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER);
    // The format first, then the type and the sizes, as for a conversion.
    if (!format_facts(surface->format)) return verdict(Reason::format_not_recognised, nullptr);
    Surface s;
    DdsHeaderImage header;
    Reason refused = engine_surface(*surface, s);
    if (refused == Reason::none) refused = write_dds_header(s, legacy != 0, header);
    if (refused != Reason::none) return verdict(refused, nullptr);
    if (size < header.size) return invalid(DDSSWIZZLE_REASON_RESULT_TOO_SMALL);
    std::memcpy(buffer, header.bytes.data(), header.size);
    *written = header.size;
    return DDSSWIZZLE_OK;
}

ddsswizzle_status ddsswizzle_check_dds(const void* file_start, size_t start_size, uint64_t file_size,
                                       ddsswizzle_console console, ddsswizzle_direction direction,
                                       uint64_t* converted_size, ddsswizzle_reason* reason) {
    if (file_start == nullptr && start_size != 0) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    if (!known(console) || !known(direction)) return invalid(DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION, reason);
    if (start_size < std::min<std::uint64_t>(file_size, extended_header_size)) {
        return invalid(DDSSWIZZLE_REASON_HEADER_NOT_GIVEN, reason);
    }
    const TexturePlan plan = plan_texture_conversion(bytes(file_start, start_size), file_size,
                                                     engine_direction(direction), engine_console(console));
    if (converted_size != nullptr) *converted_size = plan.output_length;
    return verdict(plan.reason, reason);
}

ddsswizzle_status ddsswizzle_convert_dds(const void* file, size_t file_size, void* result, size_t result_size,
                                         ddsswizzle_console console, ddsswizzle_direction direction) {
    if ((file == nullptr && file_size != 0) || (result == nullptr && result_size != 0)) {
        return invalid(DDSSWIZZLE_REASON_NULL_POINTER);
    }
    if (!known(console) || !known(direction)) return invalid(DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION);
    const Direction way = engine_direction(direction);
    const TexturePlan plan = plan_texture_conversion(bytes(file, file_size), file_size, way, engine_console(console));
    if (plan.reason != Reason::none) return verdict(plan.reason, nullptr);
    if (result_size < plan.output_length) return invalid(DDSSWIZZLE_REASON_RESULT_TOO_SMALL);
    const auto out_bytes = static_cast<std::size_t>(plan.output_length);
    if (overlap(file, file_size, result, out_bytes)) return invalid(DDSSWIZZLE_REASON_BUFFERS_OVERLAP);
    const bool done = convert_texture_image(plan, way, bytes(file, file_size), {static_cast<std::byte*>(result), out_bytes});
    return done ? DDSSWIZZLE_OK : verdict(Reason::data_short, nullptr);
}

ddsswizzle_status ddsswizzle_convert_file(const char* path, ddsswizzle_console console, ddsswizzle_direction direction,
                                          ddsswizzle_reason* reason) {
#ifdef _WIN32
    // The UTF-16 form of the path, for the system's wide calls, once the
    // arguments are known to be right.
    if (path == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    if (!known(console) || !known(direction)) return invalid(DDSSWIZZLE_REASON_UNKNOWN_CONSOLE_OR_DIRECTION, reason);
    file::NativePath wide;
    int error = 0;
    wide.reset(file::wide_path(path, error));
    if (wide.text == nullptr) {
        const bool memory = error == ENOMEM;
        if (reason != nullptr) *reason = memory ? DDSSWIZZLE_REASON_NO_MEMORY_FOR_FILE : DDSSWIZZLE_REASON_FILE_NOT_OPENED;
        errno = error;
        return memory ? DDSSWIZZLE_OUT_OF_MEMORY : DDSSWIZZLE_CANNOT_OPEN_FILE;
    }
    const ddsswizzle_status status = convert_file(wide.text, console, direction, reason);
    error = errno;
    wide.reset(nullptr);
    errno = error;
    return status;
#else
    return convert_file(path, console, direction, reason);
#endif
}

ddsswizzle_status ddsswizzle_replace_file(const char* container_path, uint32_t index, const char* dds_path,
                                          ddsswizzle_reason* reason) {
#ifdef _WIN32
    if (container_path == nullptr || dds_path == nullptr) return invalid(DDSSWIZZLE_REASON_NULL_POINTER, reason);
    file::NativePath wide;
    file::NativePath wide_dds;
    int error = 0;
    wide.reset(file::wide_path(container_path, error));
    if (wide.text != nullptr) wide_dds.reset(file::wide_path(dds_path, error));
    if (wide_dds.text == nullptr) {
        const bool memory = error == ENOMEM;
        const ddsswizzle_reason which =
            wide.text == nullptr ? DDSSWIZZLE_REASON_FILE_NOT_OPENED : DDSSWIZZLE_REASON_FILE_NOT_READ;
        if (reason != nullptr) *reason = memory ? DDSSWIZZLE_REASON_NO_MEMORY_FOR_FILE : which;
        errno = error;
        return memory ? DDSSWIZZLE_OUT_OF_MEMORY : DDSSWIZZLE_CANNOT_OPEN_FILE;
    }
    const ddsswizzle_status status = replace_file(wide.text, index, wide_dds.text, reason);
    error = errno;
    wide.reset(nullptr);
    wide_dds.reset(nullptr);
    errno = error;
    return status;
#else
    return replace_file(container_path, index, dds_path, reason);
#endif
}

#ifdef _WIN32
ddsswizzle_status ddsswizzle_replace_file_w(const wchar_t* container_path, uint32_t index, const wchar_t* dds_path,
                                            ddsswizzle_reason* reason) {
    return replace_file(container_path, index, dds_path, reason);
}

ddsswizzle_status ddsswizzle_convert_file_w(const wchar_t* path, ddsswizzle_console console,
                                            ddsswizzle_direction direction, ddsswizzle_reason* reason) {
    return convert_file(path, console, direction, reason);
}
#endif

}  // extern "C"
