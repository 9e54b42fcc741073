// Runs the real ddsswizzle executable the way a script does: with a list of
// arguments, collecting every byte it writes to standard output and its exit
// status as the calling process sees it.
//
// POSIX: through the shell (popen), each argument in single quotes.
// Windows: CreateProcessW with a command line quoted for the C runtime's
// argument parser, standard output through a pipe, GetExitCodeProcess. No
// shell is involved, so spaces and non-ASCII names need nothing special.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>

#include <cstdio>
#endif

namespace ddsswizzle::testing {

struct ToolRun {
    bool finished = false;  // the program ran and its exit status is known
    int status = -1;        // exit status as the parent sees it
    std::string output;     // standard output, byte for byte
};

#ifdef _WIN32

// Quotes one argument so that the child's C runtime hands it over unchanged:
// inside double quotes, backslashes are literal except before a double quote
// or the closing quote, where they are doubled, and a double quote is escaped
// with a backslash.
inline std::wstring quote_argument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

inline ToolRun run_tool(const std::filesystem::path& program, const std::vector<std::filesystem::path>& arguments) {
    ToolRun run;
    const std::wstring application = std::filesystem::absolute(program).wstring();
    std::wstring command_line = quote_argument(application);
    for (const std::filesystem::path& argument : arguments) {
        command_line += L' ';
        command_line += quote_argument(argument.wstring());
    }

    // The child inherits only the write end of the pipe (and this process's
    // standard input and error); the parent keeps the read end to itself.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!::CreatePipe(&read_end, &write_end, &inheritable, 0)) return run;
    ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL created = ::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &startup, &process);
    // Closed here so that the read below ends when the child exits.
    ::CloseHandle(write_end);
    if (created) {
        char buffer[256];
        DWORD got = 0;
        while (::ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
        DWORD code = 0;
        if (::WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
            ::GetExitCodeProcess(process.hProcess, &code)) {
            run.finished = true;
            run.status = static_cast<int>(code);  // -1 arrives as 0xFFFFFFFF
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(read_end);
    return run;
}

#else

// Single quotes keep everything literal in the shell; a single quote itself
// is closed, escaped and reopened.
inline std::string quote_argument(const std::string& argument) {
    std::string quoted = "'";
    for (const char c : argument) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted.push_back(c);
        }
    }
    quoted.push_back('\'');
    return quoted;
}

inline ToolRun run_tool(const std::filesystem::path& program, const std::vector<std::filesystem::path>& arguments) {
    ToolRun run;
    std::string command = quote_argument(program.string());
    for (const std::filesystem::path& argument : arguments) {
        command += ' ';
        command += quote_argument(argument.string());
    }
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[256];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    if (status != -1 && WIFEXITED(status)) {
        run.finished = true;
        run.status = WEXITSTATUS(status);  // only the low 8 bits: -1 arrives as 255
    }
    return run;
}

#endif

}  // namespace ddsswizzle::testing
