#include "ProcessSupport.h"

#include "platform/PlatformFolders.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <thread>

extern char** environ;
#endif

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace kestrow_test {

fs::path BuiltProgram(const std::string& name)
{
    XpPlatformString self;
    if (!XpPlatformGetModulePath(self)) return fs::path();
#if defined(_WIN32)
    const std::string file = name + ".exe";
#else
    const std::string& file = name;
#endif
    return fs::path(self).parent_path().parent_path() / "app" / file;
}

#if defined(_WIN32)
int RunWithTemporaryFolder(const fs::path& program, const std::vector<std::string>& arguments,
                           const fs::path& temporary, const fs::path& output)
{
    std::wstring command = L"\"" + program.wstring() + L"\"";
    for (const std::string& argument : arguments) command += L" \"" + fs::path(argument).wstring() + L"\"";

    // The inherited environment with TMP and TEMP replaced.
    std::wstring environment;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != 0; entry += wcslen(entry) + 1) {
            const std::wstring text(entry);
            if (_wcsnicmp(entry, L"TMP=", 4) != 0 && _wcsnicmp(entry, L"TEMP=", 5) != 0) environment += text + L'\0';
        }
        FreeEnvironmentStringsW(block);
    }
    for (const wchar_t* name : {L"TMP=", L"TEMP="}) environment += name + temporary.wstring() + L'\0';
    environment += L'\0';

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE out = CreateFileW(output.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return -1;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(program.wstring().c_str(), command.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup, &info);
    CloseHandle(out);
    if (!started) return -1;
    DWORD status = static_cast<DWORD>(-1);
    if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(info.hProcess, &status))
        status = static_cast<DWORD>(-1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return static_cast<int>(status);
}
#else
int RunWithTemporaryFolder(const fs::path& program, const std::vector<std::string>& arguments,
                           const fs::path& temporary, const fs::path& output)
{
    ChildProcess child(program, arguments, {"TMPDIR=" + temporary.string(), "DISPLAY"}, output);
    return child.Wait(std::chrono::seconds(60));
}

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment, const std::filesystem::path& output)
{
    std::vector<std::string> texts{program.string()};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    // The inherited environment without the variables named, then those given a value.
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable(*entry);
        bool replaced = false;
        for (const std::string& change : environment) {
            const std::string name = change.substr(0, change.find('='));
            replaced = replaced || variable.compare(0, name.size() + 1, name + "=") == 0;
        }
        if (!replaced) variables.push_back(variable);
    }
    for (const std::string& change : environment)
        if (change.find('=') != std::string::npos) variables.push_back(change);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess()
{
    Wait(0ms);
}

std::optional<int> ChildProcess::Poll()
{
    if (m_pid <= 0) return -1;
    int status = 0;
    const pid_t ended = waitpid(m_pid, &status, WNOHANG);
    if (ended == 0) return std::nullopt;
    m_pid = -1;
    return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::Terminate()
{
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout)
{
    if (m_pid <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    pid_t ended = waitpid(m_pid, &status, WNOHANG);
    while (ended == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
        ended = waitpid(m_pid, &status, WNOHANG);
    }
    if (ended == 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return -1;
    }
    m_pid = -1;
    return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

}  // namespace kestrow_test
