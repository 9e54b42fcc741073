// A library the fault-injection tests preload into the real executable
// (LD_PRELOAD) to make chosen system calls fail. It stands in front of the C
// library's read, write, fsync, close, rename and fchmod and passes every
// call through, except those its rules pick.
//
// Rules come from the variable DDSSWIZZLE_FAULT, which only these tests set:
// rules separated by ';', each "function:action:call", where
//   function  read, write, fsync, close, rename or fchmod;
//   action    an errno name (EIO, ENOSPC, EINTR, EPERM, EXDEV), which makes
//             the call fail with it without doing anything (close still
//             closes, as the kernel does), or "short" (read or write: move
//             half the bytes asked, at least one), or "zero" (read or write:
//             move nothing and return 0);
//   call      which call of that function the rule hits, counting from 1;
//             0 for every call.
// Only calls on regular files are counted (the tool's output goes to a pipe
// and is left alone); rename calls are all counted. Each fault injected is
// recorded as a line "function:action:call" in the file named by
// DDSSWIZZLE_FAULT_LOG, so a test can check that its fault really happened.
//
// This is test code only, written in the plain C subset of C++ because it
// runs inside another program before and around its own start-up.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Function { fn_read, fn_write, fn_fsync, fn_close, fn_rename, fn_fchmod, fn_count };
const char* const function_names[fn_count] = {"read", "write", "fsync", "close", "rename", "fchmod"};

enum Action { act_errno, act_short, act_zero };

struct Rule {
    Function function;
    Action action;
    int error;
    long call;
    const char* text;  // for the log
};

constexpr int max_rules = 8;

struct Shim {
    bool loaded = false;
    Rule rules[max_rules];
    int rule_count = 0;
    long calls[fn_count] = {};
    char rule_text[max_rules][64] = {};
    const char* log_path = nullptr;

    ssize_t (*real_read)(int, void*, size_t) = nullptr;
    ssize_t (*real_write)(int, const void*, size_t) = nullptr;
    int (*real_fsync)(int) = nullptr;
    int (*real_close)(int) = nullptr;
    int (*real_rename)(const char*, const char*) = nullptr;
    int (*real_fchmod)(int, mode_t) = nullptr;
};

Shim shim;

template <typename F>
F next_symbol(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

int errno_named(const char* name) {
    if (std::strcmp(name, "EIO") == 0) return EIO;
    if (std::strcmp(name, "ENOSPC") == 0) return ENOSPC;
    if (std::strcmp(name, "EINTR") == 0) return EINTR;
    if (std::strcmp(name, "EPERM") == 0) return EPERM;
    if (std::strcmp(name, "EXDEV") == 0) return EXDEV;
    return 0;
}

void parse_rule(const char* text, std::size_t length) {
    if (shim.rule_count >= max_rules || length >= sizeof shim.rule_text[0]) return;
    char* copy = shim.rule_text[shim.rule_count];
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    char function[16] = {};
    char action[16] = {};
    long call = 0;
    if (std::sscanf(copy, "%15[a-z]:%15[A-Za-z]:%ld", function, action, &call) != 3) return;
    Rule rule{fn_count, act_errno, 0, call, copy};
    for (int f = 0; f < fn_count; ++f) {
        if (std::strcmp(function, function_names[f]) == 0) rule.function = static_cast<Function>(f);
    }
    if (std::strcmp(action, "short") == 0) {
        rule.action = act_short;
    } else if (std::strcmp(action, "zero") == 0) {
        rule.action = act_zero;
    } else {
        rule.error = errno_named(action);
        if (rule.error == 0) return;
    }
    if (rule.function == fn_count) return;
    shim.rules[shim.rule_count++] = rule;
}

void load() {
    if (shim.loaded) return;
    shim.loaded = true;
    shim.real_read = next_symbol<decltype(shim.real_read)>("read");
    shim.real_write = next_symbol<decltype(shim.real_write)>("write");
    shim.real_fsync = next_symbol<decltype(shim.real_fsync)>("fsync");
    shim.real_close = next_symbol<decltype(shim.real_close)>("close");
    shim.real_rename = next_symbol<decltype(shim.real_rename)>("rename");
    shim.real_fchmod = next_symbol<decltype(shim.real_fchmod)>("fchmod");
    shim.log_path = std::getenv("DDSSWIZZLE_FAULT_LOG");
    const char* rules = std::getenv("DDSSWIZZLE_FAULT");
    while (rules != nullptr && *rules != '\0') {
        const char* end = std::strchr(rules, ';');
        const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - rules) : std::strlen(rules);
        parse_rule(rules, length);
        rules = end != nullptr ? end + 1 : nullptr;
    }
}

bool is_regular_file(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

void record(const Rule& rule) {
    if (shim.log_path == nullptr) return;
    const int saved_errno = errno;
    const int fd = ::open(shim.log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        shim.real_write(fd, rule.text, std::strlen(rule.text));
        shim.real_write(fd, "\n", 1);
        shim.real_close(fd);
    }
    errno = saved_errno;
}

// Counts the call and returns the rule that hits it, if any.
const Rule* rule_for(Function function, bool counted) {
    load();
    if (!counted) return nullptr;
    const long call = ++shim.calls[function];
    for (int i = 0; i < shim.rule_count; ++i) {
        const Rule& rule = shim.rules[i];
        if (rule.function == function && (rule.call == 0 || rule.call == call)) {
            record(rule);
            return &rule;
        }
    }
    return nullptr;
}

std::size_t shortened(std::size_t count) { return count > 1 ? count / 2 : count; }

}  // namespace

extern "C" {

ssize_t read(int fd, void* buffer, size_t count) {
    load();
    const Rule* rule = rule_for(fn_read, is_regular_file(fd));
    if (rule == nullptr) return shim.real_read(fd, buffer, count);
    if (rule->action == act_short) return shim.real_read(fd, buffer, shortened(count));
    if (rule->action == act_zero) return 0;
    errno = rule->error;
    return -1;
}

ssize_t write(int fd, const void* buffer, size_t count) {
    load();
    const Rule* rule = rule_for(fn_write, is_regular_file(fd));
    if (rule == nullptr) return shim.real_write(fd, buffer, count);
    if (rule->action == act_short) return shim.real_write(fd, buffer, shortened(count));
    if (rule->action == act_zero) return 0;
    errno = rule->error;
    return -1;
}

int fsync(int fd) {
    load();
    const Rule* rule = rule_for(fn_fsync, is_regular_file(fd));
    if (rule == nullptr) return shim.real_fsync(fd);
    errno = rule->error;
    return -1;
}

int close(int fd) {
    load();
    const Rule* rule = rule_for(fn_close, is_regular_file(fd));
    const int result = shim.real_close(fd);
    if (rule == nullptr) return result;
    errno = rule->error;
    return -1;
}

int rename(const char* from, const char* to) {
    load();
    const Rule* rule = rule_for(fn_rename, true);
    if (rule == nullptr) return shim.real_rename(from, to);
    errno = rule->error;
    return -1;
}

int fchmod(int fd, mode_t mode) {
    load();
    const Rule* rule = rule_for(fn_fchmod, is_regular_file(fd));
    if (rule == nullptr) return shim.real_fchmod(fd, mode);
    errno = rule->error;
    return -1;
}

}  // extern "C"
