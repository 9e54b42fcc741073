// Every text the tool prints of its own, in one place; a refused texture or
// file is reported with the library's message for its status. Each message begins
// with a newline; the driver ends every run with one more.
#pragma once

#include <string_view>

namespace ddsswizzle::tool::messages {

// Where users report problems; printed at the end of the banner.
inline constexpr std::string_view contact_handle = "the ddsswizzle issue tracker";

inline constexpr std::string_view banner_start = "\nPS3 & Xbox360 swizzling tool\nIf any problem, contact ";
inline constexpr std::string_view usage = "\nUsage: *.exe unswiz/swiz *.dds [ps3/x360]";
inline constexpr std::string_view help =
    "\n"
    "\n  ddsswizzle swiz FILE [ps3|x360]    converts a linear (desktop) texture to console layout, in place"
    "\n  ddsswizzle unswiz FILE [ps3|x360]  converts a console-layout texture back to linear layout"
    "\n  ddsswizzle info FILE [ps3|x360]    tells what the header describes and whether the file would"
    "\n                                     convert, changing nothing (exit status 0: it would)"
    "\n  ddsswizzle --help | -h | --version"
    "\n"
    "\nA platform word beginning with x360 selects the Xbox 360; ps3, in any letter case, or none the PS3."
    "\nAny other platform word is refused with WRONG PLATFORM, the file untouched."
    "\nExit status: 0 when the file was rewritten, 1 otherwise, 255 for too few arguments.";
inline constexpr std::string_view version_start = "\nddsswizzle ";
inline constexpr std::string_view wrong_mode = "\nWRONG MODE\n";
inline constexpr std::string_view wrong_platform = "\nWRONG PLATFORM\n";
inline constexpr std::string_view final_newline = "\n";

// What `info` prints around the facts it reports.
inline constexpr std::string_view info_format = "\nFormat: ";
inline constexpr std::string_view info_texture = "\nTexture: ";
inline constexpr std::string_view info_payload = "\nPayload: ";
inline constexpr std::string_view info_converts = "converts";
// The payload fills the Xbox 360 image exactly, as an unswizzled file's
// levels rarely do: swiz would tile the tiles again.
inline constexpr std::string_view info_looks_converted =
    "\nWarning: the payload is exactly as long as the console image; the file looks converted already";

}  // namespace ddsswizzle::tool::messages
