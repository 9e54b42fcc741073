// ddsswizzle for C++20: the C interface of ddsswizzle.h with spans, enum
// classes and references, nothing more. Every function is an inline call of
// its C twin, so a program needs only the C library's one set of symbols,
// from the shared or the static library alike.
#pragma once

#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 202002L
#error "ddsswizzle.hpp needs C++20 (-std=c++20 or /std:c++20); the CMake targets ddsswizzle::* ask for it"
#else

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "ddsswizzle/ddsswizzle.h"

namespace ddsswizzle {

enum class Status : int {
    ok = DDSSWIZZLE_OK,
    not_a_dds_texture = DDSSWIZZLE_NOT_A_DDS_TEXTURE,
    unknown_format = DDSSWIZZLE_UNKNOWN_FORMAT,
    unsupported_texture_type = DDSSWIZZLE_UNSUPPORTED_TEXTURE_TYPE,
    unsupported_size = DDSSWIZZLE_UNSUPPORTED_SIZE,
    truncated_data = DDSSWIZZLE_TRUNCATED_DATA,
    invalid_argument = DDSSWIZZLE_INVALID_ARGUMENT,
    cannot_open_file = DDSSWIZZLE_CANNOT_OPEN_FILE,
    cannot_write_file = DDSSWIZZLE_CANNOT_WRITE_FILE,
    out_of_memory = DDSSWIZZLE_OUT_OF_MEMORY,
    not_confirmed_on_disk = DDSSWIZZLE_NOT_CONFIRMED_ON_DISK,
};

// The values of ddsswizzle_reason (DDSSWIZZLE_REASON_SIDE_NOT_POSITIVE ...).
using Reason = ddsswizzle_reason;

enum class Console : int { ps3 = DDSSWIZZLE_PS3, x360 = DDSSWIZZLE_X360 };
enum class Direction : int { swizzle = DDSSWIZZLE_SWIZZLE, unswizzle = DDSSWIZZLE_UNSWIZZLE };

struct Surface {
    std::uint32_t format = 0;  // DXGI_FORMAT number
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 1;  // above 1: a volume
    std::int32_t levels = 1;
    bool cube = false;
};

using Placement = ddsswizzle_placement;

struct DdsInfo {
    Surface surface;
    bool volume = false;  // the header says volume (a depth of 1 included)
    std::uint32_t payload_offset = 0;
};

namespace c_api {
inline ddsswizzle_surface surface(const Surface& s) noexcept {
    return {s.format, s.width, s.height, s.depth, s.levels, s.cube ? 1 : 0};
}
inline ddsswizzle_console console(Console c) noexcept { return static_cast<ddsswizzle_console>(c); }
inline ddsswizzle_direction direction(Direction d) noexcept { return static_cast<ddsswizzle_direction>(d); }
}  // namespace c_api

inline std::string_view version() noexcept { return ddsswizzle_version(); }
inline std::string_view message(Status status) noexcept {
    return ddsswizzle_status_message(static_cast<ddsswizzle_status>(status));
}
inline std::string_view describe(Reason reason) noexcept { return ddsswizzle_reason_text(reason); }
inline std::string_view format_name(std::uint32_t format) noexcept { return ddsswizzle_format_name(format); }

inline bool format_number(std::string_view name, std::uint32_t& format) noexcept {
    return ddsswizzle_format_number(name.data(), name.size(), &format) != 0;
}

inline Status check(const Surface& surface, Console console, Reason* reason = nullptr) noexcept {
    const ddsswizzle_surface s = c_api::surface(surface);
    return static_cast<Status>(ddsswizzle_check(&s, c_api::console(console), reason));
}

inline Status sizes(const Surface& surface, Console console, std::uint64_t& linear_size,
                    std::uint64_t& console_size) noexcept {
    const ddsswizzle_surface s = c_api::surface(surface);
    return static_cast<Status>(ddsswizzle_sizes(&s, c_api::console(console), &linear_size, &console_size));
}

inline Status place(const Surface& surface, Console console, std::int32_t level, std::int32_t face,
                    Placement& placement) noexcept {
    const ddsswizzle_surface s = c_api::surface(surface);
    return static_cast<Status>(ddsswizzle_place(&s, c_api::console(console), level, face, &placement));
}

inline Status convert(const Surface& surface, Console console, Direction direction,
                      std::span<const std::byte> source, std::span<std::byte> result) noexcept {
    const ddsswizzle_surface s = c_api::surface(surface);
    return static_cast<Status>(ddsswizzle_convert(&s, c_api::console(console), c_api::direction(direction),
                                                  source.data(), source.size(), result.data(), result.size()));
}

inline Status read_dds(std::span<const std::byte> data, DdsInfo& info, Reason* reason = nullptr) noexcept {
    ddsswizzle_dds dds{};
    const auto status = static_cast<Status>(ddsswizzle_read_dds(data.data(), data.size(), &dds, reason));
    const ddsswizzle_surface& s = dds.surface;
    info = {{s.format, s.width, s.height, s.depth, s.levels, s.cube != 0}, dds.volume != 0, dds.payload_offset};
    return status;
}

inline Status dds_header(const Surface& surface, bool legacy, std::span<std::byte> buffer, std::size_t& written) noexcept {
    const ddsswizzle_surface s = c_api::surface(surface);
    return static_cast<Status>(ddsswizzle_dds_header(&s, legacy ? 1 : 0, buffer.data(), buffer.size(), &written));
}

inline Status check_dds(std::span<const std::byte> file_start, std::uint64_t file_size, Console console,
                        Direction direction, std::uint64_t& converted_size, Reason* reason = nullptr) noexcept {
    return static_cast<Status>(ddsswizzle_check_dds(file_start.data(), file_start.size(), file_size,
                                                    c_api::console(console), c_api::direction(direction),
                                                    &converted_size, reason));
}

inline Status convert_dds(std::span<const std::byte> file, std::span<std::byte> result, Console console,
                          Direction direction) noexcept {
    return static_cast<Status>(ddsswizzle_convert_dds(file.data(), file.size(), result.data(), result.size(),
                                                      c_api::console(console), c_api::direction(direction)));
}

// The durable in-place rewrite of a DDS file (ddsswizzle_convert_file):
// on the four file statuses errno holds the system's error number.
inline Status convert_file(const char* path, Console console, Direction direction, Reason* reason = nullptr) noexcept {
    return static_cast<Status>(ddsswizzle_convert_file(path, c_api::console(console), c_api::direction(direction), reason));
}

#ifdef _WIN32
inline Status convert_file(const wchar_t* path, Console console, Direction direction, Reason* reason = nullptr) noexcept {
    return static_cast<Status>(ddsswizzle_convert_file_w(path, c_api::console(console), c_api::direction(direction), reason));
}
#endif

// The path in the system's own form: UTF-16 on Windows.
inline Status convert_file(const std::filesystem::path& path, Console console, Direction direction,
                           Reason* reason = nullptr) noexcept {
    return convert_file(path.c_str(), console, direction, reason);
}

}  // namespace ddsswizzle

#endif  // C++20
