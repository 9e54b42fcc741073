// Process entry: gathers the arguments, runs the driver and prints its output.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/driver.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <clocale>
#endif

namespace {

int run_and_print(const std::vector<std::filesystem::path>& arguments) {
    std::string output;
    std::string errors;
    const int status = ddsswizzle::tool::run_driver(arguments, output, errors);
    // Nothing useful can be done if standard output is gone; the exit status
    // still tells the caller what happened to the file.
    static_cast<void>(std::fwrite(output.data(), 1, output.size(), stdout));
    static_cast<void>(std::fflush(stdout));
    static_cast<void>(std::fwrite(errors.data(), 1, errors.size(), stderr));
    return status;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that file names in any script reach the file system intact.
int wmain(int argc, wchar_t** argv) {
    static_cast<void>(std::setlocale(LC_ALL, "Russian"));
    // Binary mode: the C runtime would otherwise print every "\n" as "\r\n",
    // and the messages are meant to be the same bytes on every system.
    static_cast<void>(::_setmode(::_fileno(stdout), _O_BINARY));
    static_cast<void>(::_setmode(::_fileno(stderr), _O_BINARY));
    return run_and_print(std::vector<std::filesystem::path>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#else
// The locale is not set here. "Russian" is a locale name of the Windows C
// runtime; a POSIX system has no locale of that name (glibc only maps it,
// through locale.alias, to a KOI8-R locale hardly any system installs), and
// nothing the tool prints or reads depends on the locale. Looking it up would
// cost every run a tenth of a millisecond of file probes, a good part of a
// small texture's conversion.
int main(int argc, char** argv) {
    return run_and_print(std::vector<std::filesystem::path>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
