// The real executable, run as scripts run it: every outcome of the command
// line, the refusals, and faults injected from outside (limits, signals,
// another user, links, failing system calls). Each case gives the exact output
// and exit status, and the file ends either converted exactly (as the library
// converts it in memory, which the other tests check against the bit-by-bit
// rules; mode and owner kept) or untouched (bytes, time stamp, mode, inode,
// owner), with nothing left beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <tuple>
#include <type_traits>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "support/container_builder.h"
#include "support/texture_builder.h"
#include "file/file_io.h"
#include "file/file_transfer.h"
#include "file/payload_buffer.h"
#include "file/piece_writer.h"
#include "ddsswizzle/ddsswizzle.hpp"

namespace ddsswizzle {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using ddsswizzle::Direction;  // not the engine's, which the container builder's oracles name

// A fresh folder under the temporary folder, mode 0755 whatever the umask,
// removed with everything in it when the test ends.
struct ScratchFolder {
    fs::path path;
    ScratchFolder() {
        do {
            path = fs::temp_directory_path() / ("ddsswizzle-" + std::to_string(std::random_device{}()));
        } while (!fs::create_directory(path));
        fs::permissions(path, fs::perms(0755));
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        clear();
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    // Everything in the folder and its subfolders (links not followed),
    // sorted: what a run may have left behind.
    std::vector<fs::path> entries() const {
        std::vector<fs::path> names;
        for (const auto& entry : fs::recursive_directory_iterator(path)) names.push_back(entry.path().lexically_relative(path));
        std::sort(names.begin(), names.end());
        return names;
    }
    // Empties the folder, giving back first the write access a test may have
    // taken away (Windows does not remove a read-only file) and the mode.
    void clear() const {
        std::error_code ignored;
        fs::permissions(path, fs::perms(0755), ignored);
        for (const auto& name : entries()) fs::permissions(path / name, fs::perms::owner_write, fs::perm_options::add, ignored);
        for (const auto& name : entries()) fs::remove_all(path / name, ignored);
    }
};

void write_file(const fs::path& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::vector<std::byte> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::byte> bytes;
    std::transform(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), std::back_inserter(bytes),
                   [](char c) { return static_cast<std::byte>(c); });
    return bytes;
}


const std::string banner = "\nPS3 & Xbox360 swizzling tool\nIf any problem, contact the ddsswizzle issue tracker\n"
                           "\nUsage: *.exe unswiz/swiz *.dds [ps3/x360]\n";
const std::string wrong_mode = "\nWRONG MODE\n\n";
const std::string wrong_platform = "\nWRONG PLATFORM\n\n";
const std::string cannot_open = "\nCannot open file\n";
const std::string cannot_write = "\nCannot write file\n";
const std::string truncated = "\nTexture data is truncated\n";
const std::string not_confirmed = "\nConverted, not confirmed on disk\n";  // converted, status 1
const std::string unsupported_info = "Unsupported size: the width is not a power of two, which Morton order needs";

std::string twice(const std::string& verdict) { return "\nswiz: " + verdict + "\nunswiz: " + verdict; }

// What info says of tiled() on the PS3.
const std::string tiled_facts = "\nFormat: BC1_UNORM (DXGI 71)\nTexture: 2D texture, 512 x 256 pixels, 10 levels\nPayload: 87400 "
    "bytes from byte 128\nPS3: 87400 bytes of linear levels, 87400 bytes in console layout";
const std::string info_of_tiled = tiled_facts + twice("converts, the file becomes 87528 bytes") + "\n";

constexpr bool windows = std::is_same_v<fs::path::value_type, wchar_t>;  // Windows alone keeps paths in UTF-16

// DXT1 whose top level (8192 blocks) is tiled: swiz moves bytes all through
// the first 64 KiB of the payload.
std::vector<std::byte> tiled() { return make_texture(dxt_fields("DXT1", 512, 256, 10), stored_payload_size(512, 256, 10, 8, true)); }

struct Case {
    std::string name;
    std::vector<fs::path> args = {"swiz", "t.dds"};  // run in the case's folder
    std::string output = "\n";  // "\n": converted, status 0; none: killed before it could print
    int status = 1;             // of a run that converts nothing; 128 + the signal that killed it
    std::vector<std::byte> texture = tiled();
    std::string setup;             // POSIX shell commands run in the folder first
    std::string wrapper = "exec";  // POSIX shell text that starts the tool: limits, user, environment
    std::size_t left = 0;          // files a run leaves beside the texture: the wrapper's, or a killed run's
    fs::path file = "t.dds";       // where the texture is
    bool held_open = false;        // by this program, as an image viewer might
    fs::path keeps_old;            // another name of the file, which keeps the old contents
    bool prefix_only = false;      // the output begins with `output`
    int error = 0;                 // the system's error that standard error names, after the file given
};

// The one way the tests start the tool, a copy of it in the case's folder
// (where another user may run it too). POSIX: through sh -c, each argument
// in single quotes (no name the tests use holds one). Windows: through cmd /c,
// each argument in double quotes (cmd drops the first and the last quote of
// the line); the arguments reach the tool as UTF-16 whatever the code page.
// Either way standard output comes back byte for byte, standard error apart
// (through a file beside the case's folder), with the exit status the caller
// sees.
struct Run {
    std::string output, errors;
    int status = 0;
    bool operator==(const Run&) const = default;
};

Run run_tool([[maybe_unused]] const Case& c, const std::vector<fs::path>& args) {
    const fs::path program = fs::absolute(fs::path(DDSSWIZZLE_EXECUTABLE).filename());
    const fs::path errors = fs::absolute("..") / (fs::current_path().filename().string() + ".stderr");
#ifdef _WIN32
    std::wstring line = L"\"\"" + program.wstring() + L"\"";
    for (const fs::path& word : args) line += L" \"" + word.wstring() + L"\"";
    FILE* pipe = ::_wpopen((line + L" 2>\"" + errors.wstring() + L"\"\"").c_str(), L"rb");
#else
    std::string line = c.wrapper + " '" + program.string() + "'";
    for (const fs::path& word : args) ((line += " '") += word.string()) += "'";
    FILE* pipe = ::popen((line + " 2>'" + errors.string() + "'").c_str(), "r");
#endif
    if (pipe == nullptr) return {"the tool could not be started", "", -1};
    Run run;
    char buffer[4096];
    for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, got);
#ifdef _WIN32
    run.status = ::_pclose(pipe);
#else
    const int status = ::pclose(pipe);
    run.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
#endif
    const std::vector<std::byte> error_bytes = read_file(errors);
    run.errors.assign(reinterpret_cast<const char*>(error_bytes.data()), error_bytes.size());
    fs::remove(errors);
    return run;
}

// Everything that shows whether a file was changed. A file above 64 MiB (the
// sparse one of the out-of-memory case) is known by all but its bytes.
struct FileState {
    std::vector<std::byte> bytes;
    fs::file_time_type modified;
    fs::perms mode = fs::perms::none;
    std::uintmax_t inode = 0, owner = 0;
    bool operator==(const FileState&) const = default;
};

FileState state_of(const fs::path& path) {
    FileState state{fs::file_size(path) < (64U << 20U) ? read_file(path) : std::vector<std::byte>(),
                    fs::last_write_time(path), fs::status(path).permissions()};
#ifndef _WIN32
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    state.inode = info.st_ino;
    state.owner = (std::uintmax_t{info.st_uid} << 32U) | info.st_gid;
#endif
    return state;
}

// Runs each case in the emptied folder, made the working folder meanwhile.
// Unswiz follows swiz (unless the wrapper leaves files behind each time): it
// restores a converted file, and is refused alike.
void check_all(const std::vector<Case>& cases, const ScratchFolder& folder) {
    const fs::path home = fs::current_path();
    fs::current_path(folder.path);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        folder.clear();
        fs::copy_file(DDSSWIZZLE_EXECUTABLE, fs::path(DDSSWIZZLE_EXECUTABLE).filename());
        fs::create_directories(folder.path / c.file.parent_path());
        write_file(c.file, c.texture);
        EXPECT_EQ(c.setup.empty() ? 0 : std::system(c.setup.c_str()), 0) << c.setup;
        // A platform word that begins with "x360" asks for the Xbox 360 layout.
        const bool x360 = c.args.size() > 2 && c.args[2].string().rfind("x360", 0) == 0;
        const Console console = x360 ? Console::x360 : Console::ps3;
        std::uint64_t swizzled_size = 0;
        static_cast<void>(check_dds(c.texture, c.texture.size(), console, Direction::swizzle, swizzled_size));
        std::vector<std::byte> swizzled(swizzled_size);
        static_cast<void>(convert_dds(c.texture, swizzled, console, Direction::swizzle));
        const FileState before = state_of(c.file);
        const std::vector<fs::path> entries = folder.entries();
        std::ifstream reader(c.held_open ? c.file : fs::path());
        const bool converts = c.output == "\n" || c.output == not_confirmed;
        std::vector<fs::path> args = c.args;
        for (int pass = 0; pass < (args.size() > 1 && args[0] == "swiz" && c.left == 0 ? 2 : 1); ++pass) {
            if (pass == 1) args[0] = "unswiz";
            const auto [output, errors, status] = run_tool(c, args);
            EXPECT_EQ(c.prefix_only ? output.substr(0, c.output.size()) : output, c.output) << "run " << pass + 1;
            EXPECT_EQ(status, c.output == "\n" ? 0 : c.status) << "run " << pass + 1;
            const std::string named = c.error == 0 ? "" : "ddsswizzle: " + args[1].string() + ": " + std::strerror(c.error) + "\n";
            EXPECT_EQ(errors, named) << "run " << pass + 1;
            const FileState after = state_of(c.file);
            const bool kept = after.mode == before.mode && after.owner == before.owner;
            EXPECT_TRUE(converts ? after.bytes == (pass == 0 ? swizzled : c.texture) && kept : after == before)
                << "run " << pass + 1 << (converts ? ": not converted exactly, or mode or owner changed" : ": file changed");
            EXPECT_TRUE(c.keeps_old.empty() || read_file(c.keeps_old) == c.texture) << c.keeps_old;
        }
        const std::vector<fs::path> now = folder.entries();
        EXPECT_TRUE(std::includes(now.begin(), now.end(), entries.begin(), entries.end()));
        EXPECT_EQ(now.size() - entries.size(), c.left);
    }
    fs::current_path(home);
}

// A command line and what it prints.
Case cli(const std::vector<fs::path>& args, const std::string& output, int status = 1) {
    std::string name = "command line";
    for (const fs::path& word : args) name += " '" + word.string() + "'";
    return {.name = name, .args = args, .output = output, .status = status};
}

// Every outcome of the command line, files held open or read-only, and
// every form of a path: a name with
// Cyrillic letters and spaces, in a folder named the same way, of a file
// holding CR, LF and 0x1A bytes, reaches the file system intact, no byte is
// translated, and the file keeps its real name.
TEST(Tool, CommandLineHeadersAndPaths) {
    const ScratchFolder folder;
    const fs::path file = fs::path(u8"папка с пробелами") / u8"текстура 1.dds";
    std::vector<std::byte> bytes = make_texture(rgba_fields(32, 64, 32, 7), stored_payload_size(64, 32, 7, 4, false));
    // The bytes a text-mode file layer would alter (CR, LF, alone and as a pair,
    // and 0x1A, which ends a text file on Windows) in header fields the tool
    // does not read and at the start, middle and end of the payload.
    for (const std::size_t at : {std::size_t{20}, std::size_t{32}, std::size_t{128}, bytes.size() / 2, bytes.size() - 5}) {
        std::memcpy(&bytes[at], "\r\n\x1a\n\r", 5);
    }
    const fs::path absolute = (folder.path / file).make_preferred();
    std::vector<fs::path> forms = {file, "." / file, absolute, u8"папка с пробелами/../папка с пробелами/текстура 1.dds"};
#ifdef _WIN32
    forms.push_back(absolute.root_directory() / absolute.relative_path());  // on the current drive
    forms.push_back(L"\\\\?\\" + absolute.wstring());
    forms.push_back(u8"ПАПКА С ПРОБЕЛАМИ/ТЕКСТУРА 1.DDS");
    fs::create_directory(absolute.parent_path());
    write_file(absolute, bytes);
    std::wstring short_path(MAX_PATH, L'\0');  // 8.3, where the file system makes such names
    short_path.resize(::GetShortPathNameW(absolute.c_str(), short_path.data(), MAX_PATH) % MAX_PATH);
    if (!short_path.empty() && fs::path(short_path).filename() != file.filename()) forms.push_back(short_path);
#endif
    // What info says of a file whose payload fills the Xbox 360 image exactly.
    const std::string info_of_image = "\nFormat: B8G8R8A8_UNORM (DXGI 87)\nTexture: 2D texture, 64 x 64 pixels, 7 levels\n"
        "Payload: 24576 bytes from byte 128\nXbox 360: 21844 bytes of linear levels, 24576 bytes in console layout\nWarning: "
        "the payload is exactly as long as the console image; the file looks converted already\nswiz: converts, the file "
        "becomes 27436 bytes\nunswiz: converts, the file becomes 21972 bytes\n";
    std::vector<Case> cases = {
        // Too few words; extra words are ignored; the mode is checked first, then the platform, then the file.
        // The tool's -1 for too few words: a POSIX caller sees its low 8 bits.
        cli({}, banner, windows ? -1 : 255), cli({"swiz"}, banner, windows ? -1 : 255), cli({"swiz", "t.dds"}, "\n"),
        cli({"swiz", "t.dds", "ps3", "extra"}, "\n"),
        cli({"SWIZ", "t.dds"}, wrong_mode), cli({"", "t.dds", "x360"}, wrong_mode), cli({"swiz2", "t.dds", "xbox"}, wrong_mode),
        cli({"swiz", "missing.dds", "xbox"}, wrong_platform), cli({"info", "t.dds", "360"}, wrong_platform),
        // info describes and changes nothing; --help and --version.
        cli({"info", "t.dds"}, info_of_tiled, 0),
        {.name = "info, refused", .args = {"info", "t.dds"}, .output = "\nFormat: B8G8R8A8_UNORM (DXGI 87)\nTexture: 2D texture, "
         "48 x 64 pixels, 1 level\nPayload: 12288 bytes from byte 128" + twice(unsupported_info) + "\n",
         .texture = make_texture(rgba_fields(32, 48, 64, 1), 12288)},
        {.name = "info, converted already", .args = {"info", "t.dds", "x360"}, .output = info_of_image, .status = 0,
         .texture = make_texture(rgba_fields(32, 64, 64, 7), 24576)},
        cli({"--version"}, "\nddsswizzle " + std::string(version()) + "\n", 0),
        {.name = "--help", .args = {"--help", "t.dds"}, .output = banner, .status = 0, .prefix_only = true},
        {.name = "-h", .args = {"-h"}, .output = banner, .status = 0, .prefix_only = true},
        {.name = "4 MiB, above the size of a huge page", .texture = make_texture(rgba_fields(32, 1024, 1024, 1), 4 << 20U)},
        // Windows does not replace a file another program holds open without
        // delete sharing (as the C runtime opens files); POSIX does.
        {.name = "held open", .output = windows ? cannot_write : "\n", .held_open = true, .error = windows ? EACCES : 0},
#ifdef _WIN32
        {.name = "read-only attribute", .output = cannot_open, .setup = "attrib +r t.dds", .error = EACCES},
#endif
    };
    // The platform word: none, ps3 in any letter case, or a word that begins with x360; any other is refused, the
    // file untouched, where it used to select the PS3.
    for (const auto& [word, output] : {std::pair{"ps3", "\n"}, {"PS3", "\n"}, {"pS3", "\n"}, {"x360", "\n"}, {"x3600", "\n"},
                                       {"X360", ""}, {"xbox360", ""}, {"360", ""}, {"0", ""}, {"x36", ""}, {"ps", ""},
                                       {"ps3 ", ""}, {"", ""}, {"b.dds", ""}}) {
        cases.push_back(cli({"swiz", "t.dds", word}, *output == 0 ? wrong_platform : output));
    }
    for (const auto& [name, error] : {std::pair{"missing.dds", ENOENT}, {".", windows ? EACCES : EISDIR}}) {
        for (const char* mode : {"swiz", "info"}) cases.push_back({.name = name, .args = {mode, name}, .output = cannot_open, .error = error});
    }
    for (const fs::path& form : forms) {
        cases.push_back({.name = "path " + std::to_string(&form - forms.data()), .args = {"swiz", form},
                         .texture = bytes, .file = file});
    }
    check_all(cases, folder);
}

// Killed or failing writes, failing system calls and allocations, taken
// temporary names, names at the length limit, links, what is not a file.
TEST(Tool, FaultsInjectedFromOutside) {
#ifdef _WIN32
    GTEST_SKIP() << "needs prlimit, trap, strace, ln and mkfifo around the executable; on Windows the read-only "
                    "and held-open cases of Tool.CommandLineHeadersAndPaths refuse the file";
#else
    // Fails the calls a rule picks, by strace's system-call injection: which
    // call of those on `path` (%d: the tool's process id, which -D keeps), by
    // either of its threads, and how. A run whose rule never hit says so, so a fault that did not happen
    // is seen. (LeakSanitizer cannot run under a tracer.)
    const auto failing = [](const char* path, const std::string& rule, const std::string& output, int error = 0) {
        const std::string strace =
            "f() { ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" sh -c 'r=$1; shift; exec strace -f -D -qq "
            "-o s.log -P \"$(realpath -m \"$(printf \"$0\" $$)\")\" -e inject=\"$r\" \"$@\"' \"$@\"; s=$?; "
            "grep -qs INJECTED s.log || echo no fault injected; rm -f s.log; return $s; }; f '";
        return Case{.name = rule + " on " + path, .output = output, .wrapper = strace + path + "' '" + rule + "'", .error = error};
    };
    const char *temporary = "t.dds.ddsswizzle-%d-0.tmp", *texture = "t.dds", *folder = ".";
    // Takes the first n temporary names (texture name, ".ddsswizzle-", process
    // id, "-", attempt, ".tmp"), then the tool starts with the shell's process id.
    const auto names_taken = [](std::size_t n) {
        const std::string loop =
            "i=0; while [ $i -lt " + std::to_string(n) + " ]; do : >t.dds.ddsswizzle-$$-$i.tmp; i=$((i+1)); done";
        return Case{.name = loop, .output = n < 100 ? "\n" : cannot_write, .wrapper = loop + "; exec", .left = n,
                    .error = n < 100 ? 0 : EEXIST};
    };
    // A file-size limit: the kernel kills the tool there (which leaves its
    // temporary file, holding what the limit let through), or fails the write
    // with EFBIG when SIGXFSZ is ignored.
    const auto size_limit = [](std::size_t limit, bool ignored) {
        const std::string wrapper =
            std::string(ignored ? "trap '' XFSZ; " : "") + "exec prlimit --core=0 --fsize=" + std::to_string(limit);
        const bool enough = limit == tiled().size();
        return Case{.name = wrapper, .output = enough ? "\n" : ignored ? cannot_write : "",
                    .status = ignored ? 1 : 128 + SIGXFSZ, .wrapper = wrapper, .left = enough || ignored ? 0U : 1U,
                    .error = ignored && !enough && limit > 0 ? EFBIG : 0};  // the limit holds standard error too
    };
    const auto in_folder = [](const char* setup, const char* name, const std::string& output, int error = 0) {
        return Case{.name = setup, .args = {"swiz", name}, .output = output, .setup = setup, .file = "d/t.dds", .error = error};
    };
    const std::size_t size = tiled().size();
    // A file of 6 GiB with 4 GiB for buffers: a refused one is not even read.
    const auto huge = [](const TextureFields& fields, const std::string& output) {
        return Case{.name = "6 GiB, " + output, .output = output, .texture = make_texture(fields, 1024), .setup = "truncate -s 6G t.dds",
#ifdef __SANITIZE_ADDRESS__  // which reserves more address space than that: its allocator is limited, and quiet
                    .wrapper = "exec env ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=4096 sh -c "
                               "'exec \"$0\" \"$@\" 2>/dev/null'"};
#else
                    .wrapper = "exec prlimit --as=4294967296"};
#endif
    };
    std::vector<Case> cases = {
        huge(rgba_fields(32, 16, 16, 1), "\nOut of memory\n"), huge({16, 16, 1, {}, 0x40, 24}, "\nUnknown format\n"),
        in_folder("chmod 640 d/t.dds; ln -s d/t.dds a.dds", "a.dds", "\n"),
        in_folder("ln -s $PWD/d/t.dds a.dds", "a.dds", "\n"), in_folder("ln -s d/t.dds a.dds; ln -s a.dds b.dds", "b.dds", "\n"),
        in_folder("mkfifo x.dds", "x.dds", cannot_open, EINVAL), in_folder("ln -s missing.dds x.dds", "x.dds", cannot_open, ENOENT),
        in_folder("ln -s d x.dds", "x.dds", cannot_open, EISDIR), in_folder("ln -s x.dds x.dds", "x.dds", cannot_open, ELOOP),
        names_taken(1), names_taken(99), names_taken(100),
        size_limit(0, false), size_limit(size - 1, false), size_limit(size, false),
        size_limit(0, true), size_limit(size - 1, true), size_limit(size, true),
        failing(temporary, "write:error=EIO", cannot_write, EIO), failing(temporary, "fchmod:error=EPERM", cannot_write, EPERM),
        failing(texture, "read:error=EIO:when=1", cannot_open, EIO), failing(texture, "read:error=EIO:when=2", cannot_open, EIO),
        failing(texture, "read:retval=0:when=2", truncated), failing(texture, "read:error=EINTR:when=1..2", "\n"),
        failing(temporary, "fsync:error=EIO", cannot_write, EIO), failing(temporary, "rename:error=EXDEV", cannot_write, EXDEV),
        failing(temporary, "close:error=EIO", cannot_write, EIO), failing(texture, "close:error=EIO", "\n"),
        // The folder is flushed after the rename: where it cannot be, the file is converted all the same.
        failing(folder, "fsync:error=EIO", not_confirmed, EIO), failing(folder, "fsync:error=EINVAL", "\n"),
        failing(folder, "fsync:error=EOPNOTSUPP", "\n"), failing(folder, "fsync:error=EINTR:when=1", "\n"),
        // Renamed under the name given; its other names keep the old file, as sed -i leaves them.
        {.name = "hard link", .setup = "ln t.dds h.dds", .keeps_old = "h.dds"},
    };
    // A texture written in four pieces of 1 MiB: faults in the middle of the
    // staged write, the file-size limit reached there, and a file that
    // seems to grow once read (one more byte where it should end) refused.
    const std::vector<std::byte> four_pieces = make_texture(rgba_fields(32, 1024, 1024, 1), 4 << 20U);
    for (Case c : {failing(temporary, "write:error=ENOSPC:when=3", cannot_write, ENOSPC), failing(temporary, "write:retval=0:when=2", cannot_write, ENOSPC),
                   failing(temporary, "write:error=EINTR:when=2..4", "\n"), failing(texture, "read:retval=1:when=3", cannot_open, EAGAIN),
                   Case{.name = "limit at 2 MiB", .output = cannot_write, .wrapper = "trap '' XFSZ; exec prlimit --fsize=2097152", .error = EFBIG},
                   Case{.name = "killed at 2 MiB", .output = "", .status = 128 + SIGXFSZ, .wrapper = "exec prlimit --core=0 --fsize=2097152", .left = 1}}) {
        c.texture = four_pieces;
        cases.push_back(c);
    }
    for (const std::size_t length : {200, 240, 255}) {  // from 240 on no room for the temporary suffix
        const std::string name = std::string(length - 4, 'n') + ".dds";
        cases.push_back({.name = name, .args = {"swiz", name}, .file = name});
    }
    check_all(cases, ScratchFolder());
#endif
}

// Files and folders the tool may not change, which as root it could: it runs
// as the user nobody; and the mode and owner a rewrite keeps.
TEST(Tool, FilesOfOtherUsers) {
#ifdef _WIN32
    GTEST_SKIP() << "needs chown and setpriv around the executable";
#else
    if (::geteuid() != 0) GTEST_SKIP() << "giving files to other users and running as one of them needs root";
    // swiz, then info, which foretells the refusal without the system's line.
    std::vector<Case> cases;
    for (const auto& [setup, output, error] : {
             std::tuple{"chown 65534:65534 t.dds", cannot_write, EACCES},     // the folder is root's
             {"chmod 1777 .; chmod 666 t.dds", cannot_write, EPERM},          // sticky: only the owner may replace a file
             {"chmod 666 t.dds; chmod 333 .", cannot_write, EACCES},          // a folder it cannot open to flush
             {"chmod 664 t.dds", cannot_open, EACCES}}) {                     // readable, not writable: refused before it is read
        for (const char* mode : {"swiz", "info"}) {
            const std::string verdict = output.substr(1, output.size() - 2) + ": " + std::strerror(error);
            cases.push_back({.name = setup, .args = {mode, "t.dds"},
                             .output = *mode == 's' ? output : tiled_facts + twice(verdict) + "\n", .setup = setup,
                             .wrapper = "exec setpriv --reuid=65534 --regid=65534 --clear-groups", .error = *mode == 's' ? error : 0});
        }
    }
    // Another user's file in a folder open to all, not sticky: info says it converts.
    cases.push_back({.name = "open folder", .args = {"info", "t.dds"}, .output = info_of_tiled, .status = 0,
                     .setup = "chmod 777 .; chmod 666 t.dds", .wrapper = "exec setpriv --reuid=65534 --regid=65534 --clear-groups"});
    for (const std::string mode : {"644", "600", "755", "444", "4755"}) {
        cases.push_back({.name = mode, .setup = "chown 1234:5678 t.dds; chmod " + mode + " t.dds"});
    }
    check_all(cases, ScratchFolder());
#endif
}

// ddsswizzle_convert_file refusing a file leaves it as it was with nothing
// beside it, and names the system's reason in errno; a refusal of the texture
// or a success leaves errno as it was. (A file the caller may not write is
// refused as the tool refuses it, in Tool.FilesOfOtherUsers.)
TEST(ConvertFile, RefusalsLeaveTheFileAndGiveTheSystemsError) {
    const ScratchFolder folder;
    const fs::path texture = folder.path / "t.dds", not_dds = folder.path / "n.dds";
    write_file(texture, tiled());
    write_file(not_dds, random_bytes(200, 1));
    const auto call = [](const fs::path& path) {
        Reason reason = DDSSWIZZLE_REASON_NONE;
        errno = EDOM;
        const Status status = convert_file(path, Console::ps3, Direction::swizzle, &reason);
        return std::tuple(status, reason, errno);
    };
    const std::tuple<fs::path, Status, Reason, int> rows[] = {
        {folder.path / "missing.dds", Status::cannot_open_file, DDSSWIZZLE_REASON_FILE_NOT_OPENED, ENOENT},
        {folder.path, Status::cannot_open_file, DDSSWIZZLE_REASON_FILE_NOT_OPENED, windows ? EACCES : EISDIR},
        {not_dds, Status::not_a_dds_texture, DDSSWIZZLE_REASON_NO_SIGNATURE, EDOM},
        {texture, Status::ok, DDSSWIZZLE_REASON_NONE, EDOM},
    };
    const std::vector<fs::path> entries = folder.entries();
    for (const auto& [path, status, reason, error] : rows) {
        const FileState before = fs::is_regular_file(path) ? state_of(path) : FileState{};
        EXPECT_EQ(call(path), std::tuple(status, reason, error)) << path;
        EXPECT_TRUE(status == Status::ok || !fs::is_regular_file(path) || state_of(path) == before) << path;
        EXPECT_EQ(folder.entries(), entries);
    }
    EXPECT_EQ(convert_file(static_cast<const char*>(nullptr), Console::ps3, Direction::swizzle), Status::invalid_argument);
    EXPECT_EQ(convert_file(texture, static_cast<Console>(2), Direction::swizzle), Status::invalid_argument);
    EXPECT_EQ(convert_file(texture, Console::ps3, static_cast<Direction>(-1)), Status::invalid_argument);
}

// The rewrite closes every descriptor it opens, on success and on failure
// (the library of a batch converter calls it a million times), and a buffer
// of at least two huge pages is rounded up to whole ones, never down.
TEST(ToolFiles, DescriptorsClosedAndBuffersRounded) {
#ifdef __linux__
    const ScratchFolder folder;
    const auto open_descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
    write_file(folder.path / "t.dds", tiled());
    const long before = open_descriptors();
    for (const bool names_taken : {false, true}) {
        file::OpenedFile file;
        ASSERT_EQ(file::open_for_rewrite((folder.path / "t.dds").c_str(), file), file::FileStatus::ok);
        ASSERT_TRUE(file.descriptor.close());
        for (int i = 0; names_taken && i < 100; ++i) {
            write_file(folder.path / ("t.dds.ddsswizzle-" + std::to_string(::getpid()) + "-" + std::to_string(i) + ".tmp"), {});
        }
        EXPECT_EQ(file::replace_file_contents(file, tiled()), names_taken ? file::FileStatus::cannot_write : file::FileStatus::ok);
        EXPECT_EQ(open_descriptors(), before);
    }
    constexpr std::size_t huge = std::size_t{2} << 20U;
    for (const auto& [size, capacity] : {std::pair{std::size_t{0}, std::size_t{1}}, {2 * huge - 1, 2 * huge - 1},
                                         {2 * huge, 2 * huge}, {2 * huge + 1, 3 * huge}, {5 * huge - 1, 5 * huge}}) {
        EXPECT_EQ(file::payload_buffer_capacity(size), capacity) << size;
    }
#else
    GTEST_SKIP() << "counts the descriptors in /proc/self/fd and the huge pages of Linux";
#endif
}

// The staged write: contents of one piece, of two, and of many cut after a
// header (the last of them one byte) are the maker's bytes in order, every
// piece after the first starting a whole number of MiB after the header; a
// maker that fails stops the writing, and the unfinished replacement leaves
// the target as it was with nothing beside it.
TEST(ToolFiles, PiecesMadeAndWrittenInOrder) {
    const ScratchFolder folder;
    const fs::path target = folder.path / "t.bin";
    constexpr std::size_t mib = std::size_t{1} << 20U;
    const std::tuple<std::size_t, std::size_t, int> cases[] = {{1000, 128, -1}, {2 * mib, 148, -1}, {2 * mib + 1, 148, -1},
                                                               {20 * mib + 149, 148, -1}, {20 * mib + 7, 148, 3}, {9 * mib, 0, 0}};
    for (const auto& [length, first, failing] : cases) {
        const std::vector<std::byte> old = random_bytes(100, 1), contents = random_bytes(length, std::uint32_t(length));
        write_file(target, old);
        file::Staging staging;
        ASSERT_TRUE(file::prepare_staging(length, first, staging));
        struct Maker { const std::vector<std::byte>* contents; std::size_t first; int failing; mutable int calls = 0; mutable bool cut_right = true; } m{&contents, first, failing};
        const file::PieceMaker maker{[](const void* context, std::uint64_t begin, std::span<std::byte> piece) noexcept {
            const auto& made = *static_cast<const Maker*>(context);
            made.cut_right = made.cut_right && (begin == 0 || (begin - made.first) % mib == 0) && piece.size() <= 4 * mib + made.first;
            std::copy_n(made.contents->begin() + std::ptrdiff_t(begin), piece.size(), piece.begin());
            return made.calls++ != made.failing;
        }, &m};
        {
            file::OpenedFile file;
            ASSERT_EQ(file::open_for_rewrite(target.c_str(), file), file::FileStatus::ok);
            file::Replacement replacement;
            ASSERT_EQ(file::start_replacement(file, replacement), file::FileStatus::ok);
            // Read from no more, as in a conversion: Windows renames nothing over an open file.
            static_cast<void>(file.descriptor.close());
            const file::PiecesStatus status = file::write_pieces(replacement, staging, maker);
            EXPECT_EQ(status, failing < 0 ? file::PiecesStatus::written : file::PiecesStatus::not_made) << length;
            if (status == file::PiecesStatus::written) {
                EXPECT_EQ(file::finish_replacement(replacement), file::FileStatus::ok);
            }
        }
        EXPECT_EQ(m.calls, failing < 0 ? int(staging.pieces) : failing + 1) << length;
        EXPECT_TRUE(m.cut_right && read_file(target) == (failing < 0 ? contents : old)) << length;
        EXPECT_EQ(folder.entries().size(), 1U);
    }
}

// The loop under every read and write, fed calls that move part of what is
// asked (a pipe, a signal, a full disk), are interrupted (EINTR), fail, or
// move nothing. A script entry n > 0 moves at most n bytes, 0 nothing, and
// -n fails with error n; the last entry stands for every later call.
TEST(ToolFiles, TransfersFinishShortAndInterruptedCalls) {
    using enum file::FileStatus;
    const std::pair<std::vector<long>, file::FileStatus> scripts[] = {{{300}, ok}, {{500, -ENOSPC}, cannot_write},
        {{-EINTR, -EINTR, 2000}, ok}, {{1, -EINTR, 0}, short_read}, {{0}, short_read}, {{-EIO}, cannot_write}};
    const std::vector<std::byte> source = random_bytes(1001, 3);
    for (const auto& [script, status] : scripts) {
        std::vector<std::byte> target(source.size());
        std::size_t call = 0;
        const auto move = [&](std::byte* data, std::size_t size) -> long {
            const long n = script[std::min(call++, script.size() - 1)];
            if (n < 0) errno = int(-n);  // left as it was by a call that succeeds, as the system leaves it
            const std::size_t moved = std::min(size, std::size_t(std::max(n, 0L)));
            std::copy_n(source.begin() + (data - target.data()), moved, data);
            return n < 0 ? -1 : long(moved);
        };
        EXPECT_EQ(file::detail::transfer_all(std::span(target), cannot_write, short_read, move), status) << &script - &scripts[0].first;
        EXPECT_EQ(target == source, status == ok);
    }
}

// ---- The container words ---------------------------------------------------

// list, extract and replace on built containers, run in a scratch folder: a
// GTF of three textures, the second with a format no DDS file holds, and an
// XPR2 of a tiled texture and a resource that is no texture. extract writes
// the texture's linear levels after a DDS header; replace with them gives
// the container back byte for byte; a refused or failing replace leaves it,
// and a DDS file that could not be flushed is removed again.
TEST(ToolContainers, ListExtractReplace) {
    const ScratchFolder folder;
    const fs::path home = fs::current_path();
    fs::current_path(folder.path);
    fs::copy_file(DDSSWIZZLE_EXECUTABLE, fs::path(DDSSWIZZLE_EXECUTABLE).filename());
    std::vector<GtfTexture> gtf = {{.format = 0x85, .levels = 2}, {.format = 0x85, .seed = 2},
                                   {.format = 0x86, .width = 16, .height = 16, .levels = 3, .seed = 3},
                                   {.format = 0x85, .width = 4, .height = 4, .depth = 4, .dimension = 3, .seed = 4}};
    std::vector<std::byte> g = build_gtf(gtf);
    g[12 + 36 + 12] = std::byte{0xAD};  // record 1's format: B8R8_G8R8, refused
    std::vector<XprTexture> xpr = {{.format = 0x12, .endian = 1, .swizzle = 0x688, .levels = 7, .name = "tex0"},
                                   {.name = "data", .fourcc = 0x55534552}};
    const std::vector<std::byte> x = build_xpr2(xpr);
    const Built y_levels = xpr[0].built;
    xpr[0].seed = 9;
    const std::vector<std::byte> other = build_xpr2(xpr);  // the same texture's place, other levels
    fs::create_directory("out");
    write_file("c.gtf", g);
    write_file("x.xpr", other);
    write_file("y.xpr", x);
    const auto linear_tail = [](const fs::path& dds, const Built& b) {
        const std::vector<std::byte> bytes = read_file(dds);
        return bytes.size() >= b.linear.size() + 128 && std::equal(b.linear.begin(), b.linear.end(), bytes.end() - std::ptrdiff_t(b.linear.size()));
    };
    const std::string refused = "Unknown format: the descriptor's format is none this library converts to a DDS format";
    const std::string not_container = "\nNot a texture container: the record or entry table runs past the end of the file or of the header block\n";
    const auto error = [](const fs::path& path, int e) { return "ddsswizzle: " + path.string() + ": " + std::strerror(e) + "\n"; };
    const fs::path out0 = fs::path("out") / "c.0.dds", out2 = fs::path("out") / "c.2.dds", out3 = fs::path("out") / "c.3.dds";
    const auto in = [](const char* folder, const char* name) { return fs::path(folder) / name; };
    // The arguments, what the run gives, and whether the rename over the container fails.
    struct Row {
        std::vector<fs::path> args;
        ddsswizzle::Run expected;
        bool fault = false;
    };
    const Row rows[] = {
        {{"list", "c.gtf"}, {"\nPS3 GTF container, 4 entries\n0  id 0  B8G8R8A8_UNORM  8 x 8  2 levels  2D  swizzled  "
                             "converts\n1  id 1  " + refused + "\n2  id 2  BC1_UNORM  16 x 16  3 levels  2D  linear  converts\n3  id 3  B8G8R8A8_UNORM  4 x 4 x 4  1 level  volume  swizzled  converts\n", "", 0}},
        {{"list", "x.xpr"}, {"\nXbox 360 XPR2 container, 2 entries\n0  tex0  BC1_UNORM  64 x 64  7 levels  2D  tiled, packed "
                             "tail  converts\n1  data  no texture\n", "", 0}},
        {{"extract", "c.gtf", "out"}, {"\n0: wrote c.0.dds\n1: " + refused + "\n2: wrote c.2.dds\n3: wrote c.3.dds\n", "", 1}},
        {{"extract", "c.gtf", "out"}, {"\n0: File exists\n1: " + refused + "\n2: File exists\n3: File exists\n",
                                       error(out0, EEXIST) + error(out2, EEXIST) + error(out3, EEXIST), 1}},
        {{"extract", "y.xpr"}, {"\n0: wrote y.0.dds\n", "", 0}},
        {{"extract", "c.gtf", "missing"}, {"\n0: Cannot write file\n1: " + refused + "\n2: Cannot write file\n3: Cannot write file\n",
                                           error(in("missing", "c.0.dds"), ENOENT) + error(in("missing", "c.2.dds"), ENOENT) +
                                               error(in("missing", "c.3.dds"), ENOENT), 1}},
        // Refused: the files stay as they are.
        {{"replace", "x.xpr", "0", out0}, {"\nUnknown format: the DDS texture's format is not stored as the container texture's\n", "", 1}},
        {{"replace", "x.xpr", "2", "y.0.dds"}, {"\nInvalid argument: no entry of the container has that index\n", "", 1}},
        {{"replace", "x.xpr", "1", "y.0.dds"}, {"\nInvalid argument: the entry is an XPR2 resource that is no texture\n", "", 1}},
        {{"replace", "x.xpr", "-0", "y.0.dds"}, {"\nWRONG INDEX\n\n", "", 1}},
        {{"replace", "x.xpr", "0", "none.dds"}, {cannot_open, error("none.dds", ENOENT), 1}},
        {{"replace", "none.xpr", "0", "y.0.dds"}, {cannot_open, error("none.xpr", ENOENT), 1}},
        {{"replace", "y.0.dds", "0", "y.0.dds"}, {not_container, "", 1}},
        {{"list", "y.0.dds"}, {not_container, "", 1}},
        {{"replace", "x.xpr", "0"}, {banner, "", windows ? -1 : 255}},
        {{"info", "x.xpr"}, {"\nNot a DDS texture: the file does not begin with \"DDS \" and the header size 124\nXbox 360 XPR2 "
                             "container, 2 entries; ddsswizzle list, extract and replace read it\n", "", 1}},
#ifndef _WIN32
        // The rename over the container fails: it keeps its bytes, nothing is left beside it.
        {{"replace", "x.xpr", "0", "y.0.dds"}, {cannot_write, error("x.xpr", EIO), 1}, true},
        // The flush of each new file fails: each is removed.
        {{"extract", "c.gtf", "."}, {"\n0: Cannot write file\n1: " + refused + "\n2: Cannot write file\n3: Cannot write file\n",
                                     error(in(".", "c.0.dds"), EIO) + error(in(".", "c.2.dds"), EIO) + error(in(".", "c.3.dds"), EIO), 1}, true},
#endif
        {{"replace", "x.xpr", "0", "y.0.dds"}, {"\n", "", 0}},
    };
    for (const auto& [args, expected, fault] : rows) {
        Case c;
        const std::string call = args[0] == "replace" ? "rename" : "fsync";
        if (fault) c.wrapper = "ASAN_OPTIONS=detect_leaks=0 exec strace -qq -o /dev/null -e inject=" + call + ":error=EIO";
        const FileState before = state_of("x.xpr");
        const std::vector<fs::path> entries = folder.entries();
        const ddsswizzle::Run run = run_tool(c, args);
        EXPECT_EQ(std::tie(run.output, run.errors, run.status), std::tie(expected.output, expected.errors, expected.status))
            << args[0] << " " << args[1];
        EXPECT_TRUE(args[0] != "replace" || expected.status == 0 || state_of("x.xpr") == before) << "x.xpr changed";
        EXPECT_TRUE((args[0] == "extract" && !fault) || folder.entries() == entries) << "files left";
    }
    EXPECT_TRUE(linear_tail(out0, gtf[0].built) && linear_tail(out2, gtf[2].built) && linear_tail(out3, gtf[3].built) &&
                linear_tail("y.0.dds", y_levels));
    EXPECT_TRUE(read_file("x.xpr") == x);  // the other levels replaced by y's: y byte for byte
    EXPECT_FALSE(fs::exists("c.1.dds") || fs::exists(fs::path("out") / "c.1.dds"));
    fs::current_path(home);
}

}  // namespace
}  // namespace ddsswizzle
