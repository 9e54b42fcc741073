// Faults injected around the real executable: the process killed or its
// writes failing part way through the rewrite, folders and files it may not
// change, links, files that are not regular, and headers that lie about the
// data. Every case checks the exact output, the exit status, and that the
// file is either exactly as it was (same bytes, same inode, same time stamp)
// or converted as the layout rules say, with no temporary file left behind
// after a reported failure.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/files.h"
#include "support/oracles.h"
#include "support/processes.h"
#include "support/texture_builder.h"

// GCC says it builds with AddressSanitizer by one macro, Clang by a feature test.
#if defined(__SANITIZE_ADDRESS__)
#define DDSSWIZZLE_FAULT_TESTS_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DDSSWIZZLE_FAULT_TESTS_UNDER_ASAN 1
#endif
#endif

namespace ddsswizzle {
namespace {

namespace fs = std::filesystem;
using testing::dxt_fields;
using testing::make_header;
using testing::make_texture;
using testing::read_file;
using testing::rgba_fields;
using testing::ScratchFolder;
using testing::stored_payload_size;
using testing::TextureFields;
using testing::write_file;

constexpr int exit_killed = -1;  // ToolRun::exit_status when a signal ended the process

// What the process printed and how it ended.
struct ToolRun {
    int exit_status = exit_killed;
    int signal = 0;  // the signal that ended it, if one did
    std::string output;
    std::string errors;
};

// How the child is set up before it becomes the tool.
struct ChildSetup {
    bool unprivileged = false;  // drop root privileges (as the user "nobody")
    std::optional<rlim_t> file_size_limit;
    bool ignore_file_size_signal = false;  // SIGXFSZ ignored: writes past the limit fail with EFBIG
    std::optional<rlim_t> address_space_limit;
    // Runs in the parent with the child's process id while the child waits
    // just before exec.
    std::function<void(pid_t)> before_exec;
    // Variables added to (or replacing those in) the child's environment.
    std::vector<std::string> environment;
};

// The environment of this process with the given NAME=value entries set.
std::vector<std::string> environment_with(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& e) {
            return text.substr(0, text.find('=') + 1) == std::string_view(e).substr(0, e.find('=') + 1);
        });
        if (!replaced) entries.emplace_back(text);
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

// Longest a run of the tool may take; a run that hangs (blocked opening a
// FIFO, say) is killed and reported instead of stalling the whole suite.
constexpr auto run_time_limit = std::chrono::seconds(60);

// Reads both pipes to their end, whichever the child writes first. Kills the
// child if it is still running after run_time_limit.
void drain(pid_t pid, int out_fd, int err_fd, std::string& out, std::string& err) {
    const auto deadline = std::chrono::steady_clock::now() + run_time_limit;
    bool killed = false;
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(fds, 2, killed ? -1 : static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (ready == 0) {
            ADD_FAILURE() << "the tool ran longer than " << run_time_limit.count() << " s and was killed";
            ::kill(pid, SIGKILL);
            killed = true;
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) ::close(fd.fd);
    }
}

// Runs executable with the arguments in a child set up as asked, capturing
// standard output and standard error separately.
ToolRun run_tool(const fs::path& executable, const std::vector<std::string>& arguments,
                 const ChildSetup& setup = {}) {
    ToolRun run;
    // Everything the child needs is prepared before fork: between fork and
    // exec it makes system calls only.
    const std::string program = executable.string();
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = environment_with(setup.environment);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    int out_pipe[2];
    int err_pipe[2];
    int go_pipe[2];
    if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0 || ::pipe(go_pipe) != 0) return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_pipe[1], STDOUT_FILENO);
        ::dup2(err_pipe[1], STDERR_FILENO);
        ::close(out_pipe[0]);
        ::close(out_pipe[1]);
        ::close(err_pipe[0]);
        ::close(err_pipe[1]);
        ::close(go_pipe[1]);
        // No core files: a process killed by SIGXFSZ would otherwise dump one.
        bool ready = testing::limit_resource(RLIMIT_CORE, 0);
        ready = ready && std::signal(SIGXFSZ, setup.ignore_file_size_signal ? SIG_IGN : SIG_DFL) != SIG_ERR;
        if (setup.file_size_limit) ready = ready && testing::limit_resource(RLIMIT_FSIZE, *setup.file_size_limit);
        if (setup.address_space_limit) ready = ready && testing::limit_resource(RLIMIT_AS, *setup.address_space_limit);
        if (setup.unprivileged) ready = ready && testing::drop_privileges();
        char go = 0;
        if (!ready || ::read(go_pipe[0], &go, 1) != 1) ::_exit(125);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    ::close(go_pipe[0]);
    if (pid > 0 && setup.before_exec) setup.before_exec(pid);
    const char go = 1;
    const bool released = ::write(go_pipe[1], &go, 1) == 1;
    ::close(go_pipe[1]);
    if (pid > 0) {
        drain(pid, out_pipe[0], err_pipe[0], run.output, run.errors);
    } else {
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !released) return run;
    if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
}

ToolRun run_tool(const std::vector<std::string>& arguments, const ChildSetup& setup = {}) {
    return run_tool(DDSSWIZZLE_EXECUTABLE, arguments, setup);
}

// The unprivileged user may not be able to reach the build folder (a
// checkout inside a home folder of mode 0700, say), so privilege-dropped runs
// use a byte-for-byte copy of the executable in a folder everybody can read.
class UnprivilegedTool {
public:
    UnprivilegedTool() {
        make_traversable(folder_);
        fs::copy_file(DDSSWIZZLE_EXECUTABLE, path());
        fs::permissions(path(), fs::perms(0755));
    }
    fs::path path() const { return folder_ / "ddsswizzle"; }
    ToolRun run(const std::vector<std::string>& arguments, ChildSetup setup = {}) const {
        setup.unprivileged = true;
        return run_tool(path(), arguments, setup);
    }

    // Scratch folders are created under the temporary folder by root; the
    // unprivileged user needs to pass through them and their parent.
    static void make_traversable(const ScratchFolder& folder) {
        fs::permissions(folder.path(), fs::perms(0755));
        fs::permissions(folder.path().parent_path(), fs::perms::others_exec, fs::perm_options::add);
    }

private:
    ScratchFolder folder_;
};

// Everything that shows whether a file was changed in any way.
struct FileState {
    std::vector<std::byte> bytes;
    ino_t inode = 0;
    std::int64_t modified_ns = 0;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

FileState file_state(const fs::path& path) {
    FileState state;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return state;
    state.bytes = read_file(path);
    state.inode = info.st_ino;
    state.modified_ns = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    state.mode = info.st_mode & 07777;
    state.owner = info.st_uid;
    state.group = info.st_gid;
    return state;
}

void expect_untouched(const fs::path& path, const FileState& before, const std::string& what) {
    const FileState after = file_state(path);
    EXPECT_EQ(after.bytes, before.bytes) << what;
    EXPECT_EQ(after.inode, before.inode) << what << ": the file was replaced";
    EXPECT_EQ(after.modified_ns, before.modified_ns) << what;
    EXPECT_EQ(after.mode, before.mode) << what;
    EXPECT_EQ(after.owner, before.owner) << what;
    EXPECT_EQ(after.group, before.group) << what;
}

std::vector<fs::path> sorted_entries(const ScratchFolder& folder) {
    std::vector<fs::path> names = folder.entries();
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<fs::path> only(const char* name) { return {fs::path(name)}; }

// A DXT1 texture whose top level (8192 blocks) is tiled, so that swiz moves
// bytes all through the first 64 KiB of the payload.
std::vector<std::byte> tiled_texture() {
    return make_texture(dxt_fields("DXT1", 512, 256, 10), stored_payload_size(512, 256, 10, 8, true), 31);
}

// The payload converted by the bit-by-bit form of the layout rules.
std::vector<std::byte> oracle_conversion(const std::vector<std::byte>& file, bool blocks, std::size_t element,
                                         LevelChain chain, Direction direction) {
    const std::vector<std::byte> payload(file.begin() + 128, file.end());
    const std::vector<std::byte> converted =
        blocks ? testing::oracle_block_levels(element, chain, payload, direction)
               : testing::oracle_pixel_levels(element, chain, payload, direction);
    std::vector<std::byte> whole = file;
    std::copy(converted.begin(), converted.end(), whole.begin() + 128);
    return whole;
}

const std::string cannot_open = "\nCannot open file\n";
const std::string cannot_write = "\nCannot write file\n";

// ---------------------------------------------------------------------------
// The process killed, or its writes failing, part way through the rewrite.

// Limits on the size of files the process may write, around the points where
// the rewrite writes: nothing, the first byte, the header, inside the payload,
// one byte short of the whole file.
std::vector<rlim_t> file_size_limits(std::size_t file_size) {
    return {0, 1, 127, 128, 4096, file_size / 2, file_size - 1};
}

TEST(FaultInjection, KilledWhileWritingLeavesTheOriginal) {
    const std::vector<std::byte> original = tiled_texture();
    const std::vector<std::byte> converted_file = oracle_conversion(original, true, 8, {512, 256, 10}, Direction::swizzle);
    for (const rlim_t limit : file_size_limits(original.size())) {
        const std::string what = "file size limit " + std::to_string(limit);
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, original);
        const FileState before = file_state(path);
        ChildSetup setup;
        setup.file_size_limit = limit;  // SIGXFSZ at its default action: the kernel kills the process
        const ToolRun run = run_tool({"swiz", path.string()}, setup);
        EXPECT_EQ(run.signal, SIGXFSZ) << what;
        EXPECT_EQ(run.output, "") << what;  // killed before it printed anything
        EXPECT_EQ(run.errors, "") << what;
        expect_untouched(path, before, what);
        // The kernel ends the process in the middle of a write, so nothing
        // gets the chance to remove the temporary file: it may remain beside
        // the texture. It holds no more than the limit allows and only the
        // beginning of the new contents, and the original is what counts.
        for (const fs::path& name : folder.entries()) {
            if (name == "texture.dds") continue;
            EXPECT_TRUE(name.string().starts_with("texture.dds.") && name.extension() == ".tmp") << what << name;
            const std::vector<std::byte> left = read_file(folder / name);
            EXPECT_LE(left.size(), limit) << what;
            EXPECT_TRUE(std::equal(left.begin(), left.end(), converted_file.begin())) << what;
        }
    }
}

TEST(FaultInjection, WriteFailingPastTheSizeLimitIsReported) {
    const std::vector<std::byte> original = tiled_texture();
    for (const rlim_t limit : file_size_limits(original.size())) {
        const std::string what = "file size limit " + std::to_string(limit);
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, original);
        const FileState before = file_state(path);
        ChildSetup setup;
        setup.file_size_limit = limit;
        setup.ignore_file_size_signal = true;  // the write fails with EFBIG instead
        const ToolRun run = run_tool({"swiz", path.string()}, setup);
        EXPECT_EQ(run.exit_status, 1) << what;
        EXPECT_EQ(run.output, cannot_write) << what;
        EXPECT_EQ(run.errors, "") << what;
        expect_untouched(path, before, what);
        EXPECT_EQ(folder.entries(), only("texture.dds")) << what;
    }
}

TEST(FaultInjection, SizeLimitOfExactlyTheFileIsEnough) {
    const std::vector<std::byte> original = tiled_texture();
    for (const bool ignore_signal : {false, true}) {
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, original);
        ChildSetup setup;
        setup.file_size_limit = original.size();
        setup.ignore_file_size_signal = ignore_signal;
        const ToolRun run = run_tool({"swiz", path.string()}, setup);
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(run.output, "\n");
        EXPECT_EQ(read_file(path), oracle_conversion(original, true, 8, {512, 256, 10}, Direction::swizzle));
        EXPECT_EQ(folder.entries(), only("texture.dds"));
    }
}

TEST(FaultInjection, OutOfMemoryIsReportedAndUntouched) {
#ifdef DDSSWIZZLE_FAULT_TESTS_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit this test sets";
#else
    ScratchFolder folder;
    const fs::path path = folder / "texture.dds";
    // A sparse 6 GiB file: a valid 16 x 16 texture with a very long tail, so
    // the two 6 GiB buffers cannot fit under a 4 GiB address-space limit.
    write_file(path, make_texture(rgba_fields(32, 16, 16, 1), 1024));
    fs::resize_file(path, std::uint64_t{6} << 30U);
    const FileState before = [&] {
        FileState state;
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0);
        state.inode = info.st_ino;
        state.modified_ns = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
        return state;
    }();
    ChildSetup setup;
    setup.address_space_limit = std::uint64_t{4} << 30U;
    const ToolRun run = run_tool({"swiz", path.string()}, setup);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.output, "\nOut of memory\n");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, std::int64_t{6} << 30U);
    EXPECT_EQ(after.st_ino, before.inode);
    EXPECT_EQ(std::int64_t{after.st_mtim.tv_sec} * 1'000'000'000 + after.st_mtim.tv_nsec, before.modified_ns);
    EXPECT_EQ(folder.entries(), only("texture.dds"));
#endif
}

// The temporary name is the texture's name, ".ddsswizzle-", the process id,
// "-", an attempt number from 0 to 99, and ".tmp". Files already there under
// those names belong to somebody else: they are skipped, never overwritten
// or removed.
TEST(FaultInjection, TemporaryNamesAlreadyTakenAreSkippedNotClobbered) {
    const std::vector<std::byte> original = tiled_texture();
    for (const int taken : {1, 99, 100}) {
        const std::string what = std::to_string(taken) + " names taken";
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, original);
        const FileState before = file_state(path);
        std::vector<fs::path> decoys;
        ChildSetup setup;
        setup.before_exec = [&](pid_t pid) {
            for (int attempt = 0; attempt < taken; ++attempt) {
                decoys.push_back(folder / ("texture.dds.ddsswizzle-" + std::to_string(pid) + "-" +
                                           std::to_string(attempt) + ".tmp"));
                write_file(decoys.back(), {std::byte{0x42}});
            }
        };
        const ToolRun run = run_tool({"swiz", path.string()}, setup);
        ASSERT_EQ(decoys.size(), static_cast<std::size_t>(taken));
        for (const fs::path& decoy : decoys) EXPECT_EQ(read_file(decoy), std::vector<std::byte>{std::byte{0x42}}) << what;
        EXPECT_EQ(folder.entries().size(), decoys.size() + 1) << what;
        if (taken < 100) {
            EXPECT_EQ(run.exit_status, 0) << what;
            EXPECT_EQ(run.output, "\n") << what;
            EXPECT_EQ(read_file(path), oracle_conversion(original, true, 8, {512, 256, 10}, Direction::swizzle)) << what;
        } else {
            EXPECT_EQ(run.exit_status, 1) << what;
            EXPECT_EQ(run.output, cannot_write) << what;
            expect_untouched(path, before, what);
        }
    }
}

// A name near the file system's limit (255 bytes) leaves no room to add the
// temporary suffix (".ddsswizzle-", process id, attempt, ".tmp") to it; the
// texture must still be converted.
TEST(FaultInjection, TextureWithTheLongestNameIsConverted) {
    const std::vector<std::byte> original = tiled_texture();
    const std::vector<std::byte> expected = oracle_conversion(original, true, 8, {512, 256, 10}, Direction::swizzle);
    for (const std::size_t length : {std::size_t{200}, std::size_t{240}, std::size_t{255}}) {
        const std::string name = std::string(length - 4, 'n') + ".dds";
        ScratchFolder folder;
        const fs::path path = folder / name;
        write_file(path, original);
        ToolRun run = run_tool({"swiz", path.string()});
        EXPECT_EQ(run.exit_status, 0) << length;
        EXPECT_EQ(run.output, "\n") << length;
        EXPECT_EQ(read_file(path), expected) << length;
        EXPECT_EQ(folder.entries(), std::vector<fs::path>{name}) << length;
        run = run_tool({"unswiz", path.string()});
        EXPECT_EQ(run.exit_status, 0) << length;
        EXPECT_EQ(read_file(path), original) << length;
    }
}

// ---------------------------------------------------------------------------
// Files and folders the user may not change. Root may write any file, so
// these run unprivileged: as the user "nobody" when the tests run as root.

TEST(FaultInjection, FileTheUserMayNotWriteIsRefused) {
    struct Case {
        fs::perms mode;
        bool owned_by_user;  // owned by the unprivileged user (when running as root)
        const char* what;
    };
    const Case cases[] = {
        {fs::perms(0444), true, "read-only for everyone"},
        {fs::perms(0400), true, "read-only for the owner"},
        {fs::perms(0200), true, "write-only: cannot be read"},
        {fs::perms(0000), true, "no access at all"},
        {fs::perms(0644), false, "somebody else's file, readable by all"},
        {fs::perms(0664), false, "somebody else's file, group-writable"},
    };
    const UnprivilegedTool tool;
    for (const Case& c : cases) {
        if (!c.owned_by_user && !testing::running_as_root()) continue;  // needs a second user
        ScratchFolder folder;
        UnprivilegedTool::make_traversable(folder);
        const fs::path path = folder / "texture.dds";
        write_file(path, tiled_texture());
        if (c.owned_by_user && testing::running_as_root()) {
            ASSERT_EQ(::chown(path.c_str(), testing::unprivileged_user, testing::unprivileged_group), 0);
        }
        fs::permissions(path, c.mode);
        const FileState before = file_state(path);
        for (const char* mode : {"swiz", "unswiz"}) {
            const ToolRun run = tool.run({mode, path.string()});
            EXPECT_EQ(run.exit_status, 1) << c.what;
            EXPECT_EQ(run.output, cannot_open) << c.what;
            EXPECT_EQ(run.errors, "") << c.what;
            expect_untouched(path, before, c.what);
            EXPECT_EQ(folder.entries(), only("texture.dds")) << c.what;
        }
    }
}

TEST(FaultInjection, FolderWhereNoFileCanBeCreatedIsRefused) {
    const UnprivilegedTool tool;
    ScratchFolder folder;
    UnprivilegedTool::make_traversable(folder);
    const fs::path path = folder / "texture.dds";
    write_file(path, tiled_texture());
    if (testing::running_as_root()) {
        // The file is the user's, the folder root's (mode 0755).
        ASSERT_EQ(::chown(path.c_str(), testing::unprivileged_user, testing::unprivileged_group), 0);
    } else {
        fs::permissions(folder.path(), fs::perms(0555));
    }
    const FileState before = file_state(path);
    const ToolRun run = tool.run({"swiz", path.string()});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.output, cannot_write);
    EXPECT_EQ(run.errors, "");
    expect_untouched(path, before, "folder not writable");
    EXPECT_EQ(folder.entries(), only("texture.dds"));
}

// In a sticky folder such as /tmp anyone may create files, but only a file's
// owner may replace it: the rename fails after the new file was written.
TEST(FaultInjection, RenameRefusedInStickyFolderIsReported) {
    if (!testing::running_as_root()) GTEST_SKIP() << "needs a file owned by another user";
    const UnprivilegedTool tool;
    ScratchFolder folder;
    UnprivilegedTool::make_traversable(folder);
    fs::permissions(folder.path(), fs::perms(01777));
    const fs::path path = folder / "texture.dds";
    write_file(path, tiled_texture());
    fs::permissions(path, fs::perms(0666));  // root's file, writable by everyone
    const FileState before = file_state(path);
    const ToolRun run = tool.run({"swiz", path.string()});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.output, cannot_write);
    expect_untouched(path, before, "sticky folder");
    EXPECT_EQ(folder.entries(), only("texture.dds"));
}

// Permission bits and owner survive the rewrite. As root this includes a
// file nobody may write, which root's permissions do not stop.
TEST(FaultInjection, PermissionBitsAndOwnerAreKept) {
    std::vector<fs::perms> modes{fs::perms(0644), fs::perms(0600), fs::perms(0640), fs::perms(0755),
                                 fs::perms(0666), fs::perms(0660)};
    if (testing::running_as_root()) modes.push_back(fs::perms(0444));
    const std::vector<std::byte> original = tiled_texture();
    const std::vector<std::byte> expected = oracle_conversion(original, true, 8, {512, 256, 10}, Direction::swizzle);
    for (const fs::perms mode : modes) {
        const std::string what = "mode " + std::to_string(static_cast<int>(mode));
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, original);
        if (testing::running_as_root()) {
            ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
        }
        fs::permissions(path, mode);
        const FileState before = file_state(path);
        const ToolRun run = run_tool({"swiz", path.string()});
        EXPECT_EQ(run.exit_status, 0) << what;
        EXPECT_EQ(run.output, "\n") << what;
        const FileState after = file_state(path);
        EXPECT_EQ(after.bytes, expected) << what;
        EXPECT_EQ(after.mode, before.mode) << what;
        EXPECT_EQ(after.owner, before.owner) << what;
        EXPECT_EQ(after.group, before.group) << what;
        EXPECT_EQ(folder.entries(), only("texture.dds")) << what;
    }
}

// ---------------------------------------------------------------------------
// Links and things that are not regular files.

TEST(FaultInjection, SymbolicLinkStaysALinkAndItsTargetIsConverted) {
    const std::vector<std::byte> original = tiled_texture();
    const std::vector<std::byte> expected = oracle_conversion(original, true, 8, {512, 256, 10}, Direction::swizzle);
    ScratchFolder folder;
    fs::create_directory(folder / "real");
    const fs::path target = folder / "real" / "texture.dds";
    write_file(target, original);
    fs::permissions(target, fs::perms(0640));
    fs::create_symlink(fs::path("real") / "texture.dds", folder / "link.dds");
    fs::create_symlink("link.dds", folder / "link-to-link.dds");
    fs::create_symlink(target, folder / "absolute.dds");

    ToolRun run = run_tool({"swiz", (folder / "link.dds").string()});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.output, "\n");
    EXPECT_EQ(read_file(target), expected);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "link.dds")));
    EXPECT_EQ(fs::read_symlink(folder / "link.dds"), fs::path("real") / "texture.dds");
    // The new file was made beside the target, not beside the link.
    EXPECT_EQ(sorted_entries(folder), (std::vector<fs::path>{"absolute.dds", "link-to-link.dds", "link.dds", "real"}));
    EXPECT_EQ(fs::directory_iterator(folder / "real")->path().filename(), "texture.dds");

    run = run_tool({"unswiz", (folder / "link-to-link.dds").string()});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(read_file(target), original);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "link-to-link.dds")));

    run = run_tool({"swiz", (folder / "absolute.dds").string()});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(read_file(target), expected);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "absolute.dds")));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
}

TEST(FaultInjection, WhatIsNotARegularFileCannotBeOpened) {
    ScratchFolder folder;
    fs::create_directory(folder / "folder.dds");
    ASSERT_EQ(::mkfifo((folder / "fifo.dds").c_str(), 0666), 0);
    fs::create_symlink("missing.dds", folder / "dangling.dds");
    fs::create_symlink("folder.dds", folder / "link-to-folder.dds");
    fs::create_symlink("loop.dds", folder / "loop.dds");
    const char* names[] = {"missing.dds", "folder.dds", "fifo.dds", "dangling.dds", "link-to-folder.dds", "loop.dds"};
    const std::vector<fs::path> entries_before = sorted_entries(folder);
    for (const char* name : names) {
        for (const char* mode : {"swiz", "unswiz"}) {
            const ToolRun run = run_tool({mode, (folder / name).string()});
            EXPECT_EQ(run.exit_status, 1) << name;
            EXPECT_EQ(run.output, cannot_open) << name;
            EXPECT_EQ(run.errors, "") << name;
        }
    }
    EXPECT_EQ(sorted_entries(folder), entries_before);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(folder / "fifo.dds")));
    EXPECT_TRUE(fs::is_empty(folder / "folder.dds"));
}

// ---------------------------------------------------------------------------
// Headers that lie about the data, and files too short to be textures.

TextureFields with_mip_count(std::uint32_t mip_count) { return rgba_fields(32, 64, 64, mip_count); }

std::vector<std::byte> header_only(const TextureFields& fields, std::size_t keep) {
    std::vector<std::byte> bytes = make_header(fields);
    bytes.resize(keep);
    return bytes;
}

TEST(FaultInjection, RefusedHeadersLeaveTheFileUntouched) {
    struct Case {
        std::vector<std::byte> bytes;
        std::string output;
        const char* what;
    };
    const std::string not_a_texture = "\nNot a DDS texture\n";
    const std::string unsupported = "\nUnsupported size\n";
    const std::string truncated = "\nTexture data is truncated\n";
    const std::size_t full_chain = stored_payload_size(64, 64, 7, 4, false);  // 21844 bytes
    std::vector<std::byte> wrong_size_field = make_texture(rgba_fields(32, 4, 4, 1), 64);
    testing::put_u32(wrong_size_field, 4, 128);
    const Case cases[] = {
        {{}, not_a_texture, "0 bytes"},
        {header_only(rgba_fields(32, 4, 4, 1), 127), not_a_texture, "127 bytes of a valid header"},
        {header_only(rgba_fields(32, 4, 4, 1), 4), not_a_texture, "only the magic"},
        {wrong_size_field, not_a_texture, "header size field not 124"},
        {make_texture({64, 64, 1, {}, 0x40, 24}, 12288), "\nUnknown format\n", "24-bit RGB"},
        {make_texture({64, 64, 1, "DXT2", 0x4, 0}, 16384), "\nUnknown format\n", "other FourCC"},
        {header_only(rgba_fields(32, 1, 1, 1), 128), truncated, "header only, one pixel claimed"},
        {make_texture(rgba_fields(32, 64, 64, 1), 16383), truncated, "top level one byte short"},
        {make_texture(with_mip_count(7), full_chain - 1), truncated, "7 levels, last byte missing"},
        {make_texture(with_mip_count(127), full_chain - 1), truncated, "mip count 127, last byte missing"},
        {make_texture(dxt_fields("DXT1", 512, 256, 10), 65535), truncated, "tiled level one byte short"},
        {make_texture(dxt_fields("DXT5", 4096, 4096, 1), 4096), truncated, "16 MiB claimed, 4 KiB held"},
        {make_texture(rgba_fields(32, -64, 64, 1), 16384), unsupported, "negative width"},
        {make_texture(rgba_fields(32, 64, -64, 1), 16384), unsupported, "negative height"},
        {make_texture(dxt_fields("DXT1", -512, -256, 1), 65536), unsupported, "both negative"},
        {make_texture(dxt_fields("DXT1", INT_MIN, 4, 1), 1024), unsupported, "width INT_MIN"},
        {make_texture(rgba_fields(32, 0, 64, 1), 1024), unsupported, "width 0"},
        {make_texture(dxt_fields("DXT5", 4, 0, 1), 1024), unsupported, "height 0"},
        {make_texture(rgba_fields(32, 65536, 65536, 1), 1024), unsupported, "16 GiB top level"},
        {make_texture(dxt_fields("DXT5", INT_MAX, INT_MAX, 1), 1024), unsupported, "largest sides"},
        {make_texture(rgba_fields(32, 16384, 32768, 1), 1024), unsupported, "top level of exactly 2 GiB"},
        {make_texture(rgba_fields(16, 48, 64, 1), 6144), unsupported, "side not a power of two"},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, c.bytes);
        const FileState before = file_state(path);
        for (const char* mode : {"swiz", "unswiz"}) {
            const ToolRun run = run_tool({mode, path.string()});
            EXPECT_EQ(run.exit_status, 1) << c.what;
            EXPECT_EQ(run.output, c.output) << c.what;
            EXPECT_EQ(run.errors, "") << c.what;
            expect_untouched(path, before, c.what);
            EXPECT_EQ(folder.entries(), only("texture.dds")) << c.what;
        }
    }
}

// The level count is the low byte of the mip-map count as a signed number,
// 1 for 0 or less: 0, 128 and 255 mean one level; 127 means 127 levels,
// which for 64 x 64 reach a side of 0 after 7 and convert like 7.
TEST(FaultInjection, MipCountByteDecidesTheLevelsConverted) {
    struct Case {
        std::uint32_t mip_count;
        std::size_t payload;
        std::int32_t levels_converted;
    };
    const std::size_t top = 64 * 64 * 4;
    const std::size_t full_chain = stored_payload_size(64, 64, 7, 4, false);
    const Case cases[] = {
        {0, top, 1},          {128, top, 1},          {255, top, 1},         {0x100, top, 1},
        {0, full_chain, 1},   {128, full_chain, 1},   {255, full_chain, 1},  {1, full_chain, 1},
        {127, full_chain, 7}, {7, full_chain, 7},     {127, full_chain + 5, 7}, {0x17F, full_chain, 7},
    };
    for (const Case& c : cases) {
        const std::string what = "mip count " + std::to_string(c.mip_count) + ", payload " + std::to_string(c.payload);
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        const std::vector<std::byte> original = make_texture(with_mip_count(c.mip_count), c.payload, c.mip_count + 3);
        write_file(path, original);
        const std::vector<std::byte> expected =
            oracle_conversion(original, false, 4, {64, 64, c.levels_converted}, Direction::swizzle);
        ToolRun run = run_tool({"swiz", path.string()});
        EXPECT_EQ(run.exit_status, 0) << what;
        EXPECT_EQ(run.output, "\n") << what;
        EXPECT_EQ(read_file(path), expected) << what;
        run = run_tool({"unswiz", path.string()});
        EXPECT_EQ(run.exit_status, 0) << what;
        EXPECT_EQ(read_file(path), original) << what;
        EXPECT_EQ(folder.entries(), only("texture.dds")) << what;
    }
}

// ---------------------------------------------------------------------------
// System calls failing inside the tool (tests/fault_shim.cpp, preloaded):
// the disk filling up, read and write errors, interrupted and partial
// transfers, and failures of the steps that commit the new file.

TEST(FaultInjection, FailingSystemCallsAreReportedOrRetried) {
    enum class Outcome { converted, untouched };
    struct Case {
        const char* rules;
        std::string output;
        Outcome outcome;
        const char* what;
    };
    const std::string truncated = "\nTexture data is truncated\n";
    const Case cases[] = {
        {"write:ENOSPC:1", cannot_write, Outcome::untouched, "disk full"},
        {"write:EIO:1", cannot_write, Outcome::untouched, "write error"},
        {"write:short:1;write:ENOSPC:2", cannot_write, Outcome::untouched, "disk full half way"},
        {"write:zero:1", cannot_write, Outcome::untouched, "write moving nothing"},
        {"write:EINTR:1", "\n", Outcome::converted, "interrupted write is retried"},
        {"write:short:0", "\n", Outcome::converted, "partial writes are continued"},
        {"read:EIO:1", cannot_open, Outcome::untouched, "header read error"},
        {"read:EIO:2", cannot_open, Outcome::untouched, "payload read error"},
        {"read:zero:2", truncated, Outcome::untouched, "file ends before its length"},
        {"read:EINTR:1;read:EINTR:2", "\n", Outcome::converted, "interrupted reads are retried"},
        {"read:short:0", "\n", Outcome::converted, "partial reads are continued"},
        {"fchmod:EPERM:1", cannot_write, Outcome::untouched, "permission bits cannot be set"},
        {"fsync:EIO:1", cannot_write, Outcome::untouched, "new contents cannot be flushed to disk"},
        {"close:EIO:2", cannot_write, Outcome::untouched, "closing the new file fails"},
        {"close:EIO:1", "\n", Outcome::converted, "closing the texture after reading it fails"},
        {"rename:EXDEV:1", cannot_write, Outcome::untouched, "rename refused"},
        {"rename:EIO:1", cannot_write, Outcome::untouched, "rename error"},
    };
    const std::vector<std::byte> original = tiled_texture();
    const std::vector<std::byte> expected = oracle_conversion(original, true, 8, {512, 256, 10}, Direction::swizzle);
    ScratchFolder logs;
    int case_number = 0;
    for (const Case& c : cases) {
        ScratchFolder folder;
        const fs::path path = folder / "texture.dds";
        write_file(path, original);
        const FileState before = file_state(path);
        const fs::path log = logs / ("faults-" + std::to_string(++case_number) + ".log");
        ChildSetup setup;
        std::string asan_options = "verify_asan_link_order=0";  // the library is preloaded ahead of it
        if (const char* inherited = std::getenv("ASAN_OPTIONS")) asan_options = std::string(inherited) + ":" + asan_options;
        setup.environment = {std::string("LD_PRELOAD=") + DDSSWIZZLE_FAULT_SHIM, std::string("DDSSWIZZLE_FAULT=") + c.rules,
                             "DDSSWIZZLE_FAULT_LOG=" + log.string(), "ASAN_OPTIONS=" + asan_options};
        const ToolRun run = run_tool({"swiz", path.string()}, setup);
        EXPECT_EQ(run.output, c.output) << c.what;
        EXPECT_EQ(run.errors, "") << c.what;
        EXPECT_TRUE(fs::exists(log) && !read_file(log).empty()) << c.what << ": no fault was injected";
        if (c.outcome == Outcome::converted) {
            EXPECT_EQ(run.exit_status, 0) << c.what;
            EXPECT_EQ(read_file(path), expected) << c.what;
        } else {
            EXPECT_EQ(run.exit_status, 1) << c.what;
            expect_untouched(path, before, c.what);
        }
        EXPECT_EQ(folder.entries(), only("texture.dds")) << c.what;
    }
}

}  // namespace
}  // namespace ddsswizzle

#endif  // _WIN32
