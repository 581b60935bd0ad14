#include "ProcessSupport.h"

#include "platform/PlatformFolders.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

extern char** environ;
#endif

namespace fs = std::filesystem;

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
    std::vector<std::string> texts{program.string()};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    // The inherited environment with TMPDIR replaced and without DISPLAY: the program
    // shows its dialog on the terminal, where a run without input ends by itself.
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "TMPDIR=", 7) != 0 && std::strncmp(*entry, "DISPLAY=", 8) != 0)
            variables.emplace_back(*entry);
    }
    variables.push_back("TMPDIR=" + temporary.string());
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
#endif

}  // namespace kestrow_test
