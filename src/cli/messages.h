// Every text the tool prints, in one place. Each message begins with a
// newline; the driver ends every run with one more.
#pragma once

#include <string_view>

#include "texture/texture_file.h"

namespace ddsswizzle::messages {

// Where users report problems; printed at the end of the banner.
inline constexpr std::string_view contact_handle = "the ddsswizzle issue tracker";

inline constexpr std::string_view banner_start = "\nPS3 & Xbox360 swizzling tool\nIf any problem, contact ";
inline constexpr std::string_view usage = "\nUsage: *.exe unswiz/swiz *.dds [ps3/x360]";
inline constexpr std::string_view wrong_mode = "\nWRONG MODE\n";
inline constexpr std::string_view final_newline = "\n";

inline constexpr std::string_view cannot_open = "\nCannot open file";
inline constexpr std::string_view not_a_texture = "\nNot a DDS texture";
inline constexpr std::string_view unknown_format = "\nUnknown format";
inline constexpr std::string_view unsupported_type = "\nUnsupported texture type";
inline constexpr std::string_view unsupported_size = "\nUnsupported size";
inline constexpr std::string_view truncated = "\nTexture data is truncated";
inline constexpr std::string_view cannot_write = "\nCannot write file";
inline constexpr std::string_view out_of_memory = "\nOut of memory";
// The file holds the converted texture, but the rename that put it there may
// not survive a power cut. Not a plain success (exit status 1), and worded so
// that nobody converts the file again.
inline constexpr std::string_view not_confirmed = "\nConverted, not confirmed on disk";

// What a conversion prints: nothing when the file was rewritten.
constexpr std::string_view for_status(ConversionStatus status) noexcept {
    switch (status) {
        case ConversionStatus::converted: return {};
        case ConversionStatus::cannot_open: return cannot_open;
        case ConversionStatus::not_a_texture: return not_a_texture;
        case ConversionStatus::unknown_format: return unknown_format;
        case ConversionStatus::unsupported_type: return unsupported_type;
        case ConversionStatus::unsupported_size: return unsupported_size;
        case ConversionStatus::truncated: return truncated;
        case ConversionStatus::cannot_write: return cannot_write;
        case ConversionStatus::out_of_memory: return out_of_memory;
        case ConversionStatus::not_confirmed: return not_confirmed;
    }
    return {};
}

}  // namespace ddsswizzle::messages
