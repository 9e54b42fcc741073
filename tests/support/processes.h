// Running test code in a child process: as an unprivileged user, or under
// resource limits, so that permission and failure paths can be exercised even
// when the tests themselves run as root.
#pragma once

#ifndef _WIN32

#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <grp.h>
#include <unistd.h>

#include <functional>

namespace ddsswizzle::testing {

// The user and group the unprivileged children run as when the tests run as
// root ("nobody" on Debian).
inline constexpr uid_t unprivileged_user = 65534;
inline constexpr gid_t unprivileged_group = 65534;

inline bool running_as_root() { return ::geteuid() == 0; }

// Runs body in a forked child and returns its exit status (or 128 + signal).
// prepare runs first in the child; a false result makes the child exit 125.
inline int run_in_child(const std::function<bool()>& prepare, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!prepare()) ::_exit(125);
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Drops root privileges for good in the calling (child) process; does nothing
// for an ordinary user.
inline bool drop_privileges() {
    if (!running_as_root()) return true;
    return ::setgroups(0, nullptr) == 0 && ::setgid(unprivileged_group) == 0 && ::setuid(unprivileged_user) == 0;
}

inline bool limit_resource(int resource, rlim_t limit) {
    const rlimit value{limit, limit};
    return ::setrlimit(resource, &value) == 0;
}

}  // namespace ddsswizzle::testing

#endif
