// A library the tool tests preload into the real executable (LD_PRELOAD) to
// make its system calls fail. It stands in front of the C library's read,
// write, fsync, close, rename and fchmod and passes every call through, except
// those the rule in the variable DDSSWIZZLE_FAULT picks:
//   function=action,action,...
// where the n-th action is done instead of the n-th call of that function
// (the tool writes its output last, after every call a rule names), and an
// action ending in '*' for that call and every later one: "-" lets the call
// through; an errno name (EIO, ENOSPC, EINTR, EPERM, EXDEV, EINVAL, ENOTSUP)
// fails it with that error, without doing anything (a failed close leaves the
// descriptor open, which the tool, about to give the file up, never notices);
// "short" moves half the bytes asked (at least one); "zero" moves nothing and
// returns 0. A process whose rule never hit prints "no fault injected" when
// it exits, so a test sees a fault that did not happen.
//
// Test code only, keeping to the C library: it runs inside another program,
// before and around its own start-up.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

long calls = 0;  // of the function the rule names
bool injected = false;

template <typename F>
F real(const char* name) { return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name)); }

// What to do instead of this call of `function`, or nullptr to let it through.
const char* action_for(const char* function) {
    const char* rule = std::getenv("DDSSWIZZLE_FAULT");
    const std::size_t length = std::strlen(function);
    if (rule == nullptr || std::strncmp(rule, function, length) != 0 || rule[length] != '=') return nullptr;
    const char* action = rule + length + 1;
    for (long n = ++calls; n > 1 && action != nullptr; --n) {
        const char* next = std::strchr(action, ',');
        if ((next != nullptr ? next : action + std::strlen(action))[-1] == '*') break;
        action = next != nullptr ? next + 1 : nullptr;
    }
    if (action == nullptr || *action == '-') return nullptr;
    injected = true;
    return action;
}

bool is(const char* action, const char* word) { return std::strncmp(action, word, std::strlen(word)) == 0; }

int fail(const char* action) {
    errno = is(action, "ENOSPC") ? ENOSPC : is(action, "EINTR")   ? EINTR   : is(action, "EPERM") ? EPERM
          : is(action, "EXDEV")  ? EXDEV  : is(action, "EINVAL")  ? EINVAL  : is(action, "ENOTSUP") ? ENOTSUP
          : EIO;
    return -1;
}

// read and write: the real call, on a shortened count for "short".
template <typename Buffer>
ssize_t transfer(const char* function, int fd, Buffer buffer, size_t count) {
    const char* action = action_for(function);
    const auto call = real<ssize_t (*)(int, Buffer, size_t)>(function);
    if (action == nullptr) return call(fd, buffer, count);
    if (is(action, "short")) return call(fd, buffer, count > 1 ? count / 2 : count);
    return is(action, "zero") ? 0 : fail(action);
}

__attribute__((destructor)) void report_a_rule_that_never_hit() {
    if (std::getenv("DDSSWIZZLE_FAULT") == nullptr || injected) return;
    static_cast<void>(real<ssize_t (*)(int, const void*, size_t)>("write")(STDOUT_FILENO, "no fault injected\n", 18));
}

// The other calls: the real one, or a failure.
template <typename... Args>
int pass_or_fail(const char* function, Args... args) {
    const char* action = action_for(function);
    return action == nullptr ? real<int (*)(Args...)>(function)(args...) : fail(action);
}

}  // namespace

extern "C" {

ssize_t read(int fd, void* buffer, size_t count) { return transfer("read", fd, buffer, count); }

ssize_t write(int fd, const void* buffer, size_t count) { return transfer("write", fd, buffer, count); }

int fsync(int fd) { return pass_or_fail("fsync", fd); }

int fchmod(int fd, mode_t mode) { return pass_or_fail("fchmod", fd, mode); }

int rename(const char* from, const char* to) { return pass_or_fail("rename", from, to); }

int close(int fd) { return pass_or_fail("close", fd); }

}  // extern "C"
