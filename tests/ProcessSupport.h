// Running a program of the build as a real process in a sandbox of the test's own.
//
// No <windows.h> here, for the reason given in TestSupport.h.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/types.h>
#endif

namespace kestrow_test {

// The program `name` of this build (app/kestrow, or app/kestrow.exe on Windows), found
// from the test program's own place in the build tree.
std::filesystem::path BuiltProgram(const std::string& name);

// Runs program with the arguments and `temporary` as its temporary folder (TMPDIR on
// Linux, TMP and TEMP on Windows; the rest of the environment is inherited, but for
// DISPLAY on Linux, so that the dialog shows on the terminal, where a run without input
// ends by itself), its output going to the file `output`. The exit status, or -1 when it
// could not be run or did not end within a minute.
int RunWithTemporaryFolder(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                           const std::filesystem::path& temporary, const std::filesystem::path& output);

#if !defined(_WIN32)
// Linux: a program started with the environment changed as given (a variable without
// "=" is removed), no input, and its output and errors going to the file output.
class ChildProcess {
public:
    ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, const std::filesystem::path& output);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    // The exit status when it has ended (-1 when not normally), without waiting.
    std::optional<int> Poll();
    // The exit status once it has ended within timeout; -1 when it did not (it is then
    // killed) or did not end normally.
    int Wait(std::chrono::milliseconds timeout);
    // Asks it to end (SIGTERM) and waits until it has.
    void Terminate();

private:
    pid_t m_pid = -1;
};
#endif

}  // namespace kestrow_test
