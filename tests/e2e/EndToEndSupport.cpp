#include "e2e/EndToEndSupport.h"

#include <cstring>
#include <thread>
#include <vector>

#include "ProcessSupport.h"
#include "network/UpdateServer.h"
#include "platform/PlatformRegistry.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace kestrow_test {

namespace {

const XpChar kVimblyKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly");
const XpChar kUpdaterKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly\\Updater");
const XpChar kInstallerKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly\\DemoInstaller");

XpString Text(const std::string& text)
{
    return XpNarrowString(text.c_str()).ToWide();
}

void SetRegistryValue(XpRegKey root, const XpChar* key, const XpChar* name, uint32_t type, const void* data,
                      uint32_t size)
{
    XpRegKey handle = kXpRegNoKey;
    ASSERT_EQ(XpPlatformRegCreateKey(root, key, XpRegAccess::Read | XpRegAccess::Write, &handle), 0u);
    EXPECT_EQ(XpPlatformRegSetValue(handle, name, type, data, size), 0u);
    XpPlatformRegCloseKey(handle);
}

void SetRegistryString(XpRegKey root, const XpChar* key, const XpChar* name, const XpString& text)
{
    SetRegistryValue(root, key, name, XpRegType::Sz, text.GetString(),
                     static_cast<uint32_t>((text.GetLength() + 1) * sizeof(XpChar)));
}

bool QueryRegistry(const XpChar* key, const XpChar* name, uint32_t* type, std::vector<uint8_t>* data)
{
    XpRegKey handle = kXpRegNoKey;
    if (XpPlatformRegOpenKey(XpRegRoot::LocalMachine, key, XpRegAccess::Read, &handle) != 0) return false;
    uint32_t size = 0;
    bool found = XpPlatformRegQueryValue(handle, name, type, nullptr, &size) == 0;
    if (found) {
        data->assign(size, 0);
        found = XpPlatformRegQueryValue(handle, name, type, data->data(), &size) == 0;
        data->resize(size);
    }
    XpPlatformRegCloseKey(handle);
    return found;
}

std::optional<uint32_t> QueryDword(const XpChar* key, const XpChar* name)
{
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!QueryRegistry(key, name, &type, &data) || data.size() != 4) return std::nullopt;
    return static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24);
}

}  // namespace

#if defined(_WIN32)
bool ProgramRun::Start(const fs::path& program, const std::string& argument,
                       const std::map<std::string, std::optional<std::string> >& environment, const fs::path& output,
                       bool typed)
{
    std::wstring command = L"\"" + program.wstring() + L"\" " + fs::path(argument).wstring();
    std::wstring block;
    if (wchar_t* inherited = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = inherited; *entry != 0; entry += wcslen(entry) + 1) {
            const std::wstring text(entry);
            const std::string name = fs::path(text.substr(0, text.find(L'=', 1))).string();
            bool replaced = false;
            for (const auto& [key, value] : environment)
                replaced = replaced || _stricmp(key.c_str(), name.c_str()) == 0;
            if (!replaced) block += text + L'\0';
        }
        FreeEnvironmentStringsW(inherited);
    }
    for (const auto& [key, value] : environment) {
        if (value) block += fs::path(key).wstring() + L"=" + fs::path(*value).wstring() + L'\0';
    }
    block += L'\0';
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE out = CreateFileW(output.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    // The standard input is a pipe: typed to, or at its end at once (the null device would
    // count as a terminal).
    HANDLE in = INVALID_HANDLE_VALUE;
    HANDLE writer = INVALID_HANDLE_VALUE;
    if (CreatePipe(&in, &writer, &inherit, 0)) SetHandleInformation(writer, HANDLE_FLAG_INHERIT, 0);
    if (!typed && writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
        writer = INVALID_HANDLE_VALUE;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(program.wstring().c_str(), command.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &info);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (!started) {
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        return false;
    }
    CloseHandle(info.hThread);
    m_process = reinterpret_cast<std::intptr_t>(info.hProcess);
    if (writer != INVALID_HANDLE_VALUE) m_input = reinterpret_cast<std::intptr_t>(writer);
    return true;
}

bool ProgramRun::Type(const std::string& text)
{
    DWORD written = 0;
    return m_input != -1 &&
           WriteFile(reinterpret_cast<HANDLE>(m_input), text.data(), static_cast<DWORD>(text.size()), &written,
                     nullptr) &&
           written == text.size();
}

void ProgramRun::CloseInput()
{
    if (m_input != -1) CloseHandle(reinterpret_cast<HANDLE>(m_input));
    m_input = -1;
}

std::optional<int> ProgramRun::Wait(std::chrono::milliseconds limit)
{
    if (m_process == -1) return std::nullopt;
    const HANDLE process = reinterpret_cast<HANDLE>(m_process);
    DWORD status = 0;
    if (WaitForSingleObject(process, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process, &status)) {
        return std::nullopt;
    }
    CloseHandle(process);
    m_process = -1;
    return static_cast<int>(status);
}

void ProgramRun::Kill()
{
    if (m_process == -1) return;
    const HANDLE process = reinterpret_cast<HANDLE>(m_process);
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    m_process = -1;
}
#else
bool ProgramRun::Start(const fs::path& program, const std::string& argument,
                       const std::map<std::string, std::optional<std::string> >& environment, const fs::path& output,
                       bool typed)
{
    int pipeEnds[2] = {-1, -1};
    if (typed && pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (environment.count(text.substr(0, text.find('='))) == 0) variables.push_back(text);
    }
    for (const auto& [key, value] : environment) {
        if (value) variables.push_back(key + "=" + *value);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string path = program.string();
    std::string word = argument;
    char* argv[] = {path.data(), word.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (typed)
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (typed) close(pipeEnds[0]);
    if (error != 0) {
        if (typed) close(pipeEnds[1]);
        return false;
    }
    m_process = pid;
    m_input = pipeEnds[1];
    return true;
}

bool ProgramRun::Type(const std::string& text)
{
    return m_input != -1 &&
           write(static_cast<int>(m_input), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ProgramRun::CloseInput()
{
    if (m_input != -1) close(static_cast<int>(m_input));
    m_input = -1;
}

std::optional<int> ProgramRun::Wait(std::chrono::milliseconds limit)
{
    if (m_process == -1) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(static_cast<pid_t>(m_process), &status, WNOHANG);
        if (done == static_cast<pid_t>(m_process)) {
            m_process = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ProgramRun::Kill()
{
    if (m_process == -1) return;
    kill(static_cast<pid_t>(m_process), SIGKILL);
    waitpid(static_cast<pid_t>(m_process), nullptr, 0);
    m_process = -1;
}
#endif

ProgramRun::~ProgramRun()
{
    CloseInput();
    Kill();
}

std::string DemoPackageName()
{
#if defined(_WIN32)
    return "VimblyUpdate.exe";
#else
    return "VimblyUpdate.bin";
#endif
}

fs::path DemoPackage()
{
    // build/<preset>/tools/demo/demo-package, beside the folder of the program.
    return BuiltProgram("kestrow").parent_path().parent_path() / "tools" / "demo" / "demo-package" / DemoPackageName();
}

void EndToEndTest::SetUp()
{
    TempFolderTest::SetUp();
    m_server = UpdateServer::Get();
    ASSERT_NE(m_server, nullptr);
    const std::string package = ReadWholeFile(DemoPackage());
    ASSERT_FALSE(package.empty()) << DemoPackage();
    m_server->WritePackage(DemoPackageName(), package);
    m_server->ClearLog();
    AnswerCheckWith("/packages/");

#if !defined(_WIN32)
    // A typed answer to a program that has ended must fail the write, not end the tests.
    signal(SIGPIPE, SIG_IGN);
    m_registryFolder.Set("NORVALE_REGISTRY_DIR", Native("registry").string());
    m_environment["NORVALE_REGISTRY_DIR"] = Native("registry").string();
    m_environment["KESTROW_MUTEX_DIR"] = Native("locks").string();
    m_environment["XDG_CONFIG_HOME"] = Native("config").string();
    m_environment["XDG_DATA_HOME"] = Native("data").string();
    // The dialog stays on the terminal: GTK is sent to a window system that is not there.
    // The display itself (the test run's own Xvfb, when there is one) stays for the
    // installer's window, which the install stage looks for there.
    m_environment["GDK_BACKEND"] = "wayland";
    m_environment["WAYLAND_DISPLAY"] = std::nullopt;
    MakeDir("locks");
    MakeDir("roots");
    fs::copy_file(DemoPackage().parent_path() / "roots" / "demo-root.pem", Native("roots/demo-root.pem"));
#endif
    m_environment["KESTROW_TERMINAL_INPUT"] = "0";
    UseTemporaryFolder("tmp");

    // Vimbly "installed" in the sandbox at the old version.
    WriteBytes("vimbly/Version.txt", std::string(kOldVersion) + "\r\n");
    XpString location = Path("vimbly");
#if defined(_WIN32)
    location += XP_T("\\");
#else
    location += XP_T("/");
#endif
    SetRegistryString(XpRegRoot::LocalMachine, kVimblyKey, XP_T("InstalledLocation"), location);
    SetRegistryString(XpRegRoot::LocalMachine, kVimblyKey, XP_T("InstalledLanguage"), XpString(XP_T("1033")));
    // The administrator's overrides: the loopback endpoint, the demo root.
    const XpString endpoint = m_server->XpUrl("http", "/updater/check.php");
    SetRegistryString(XpRegRoot::LocalMachine, kUpdaterKey, XP_T("CheckEndpoint"), endpoint);
    SetRegistryString(XpRegRoot::LocalMachine, kUpdaterKey, XP_T("TestCheckEndpoint"), endpoint);
    SetRegistryString(XpRegRoot::LocalMachine, kUpdaterKey, XP_T("TrustedRootsFolder"), Path("roots"));
    SetRegistryString(XpRegRoot::LocalMachine, kInstallerKey, XP_T("NewVersion"), Text(kNewVersion));
    // Short installer runs keep the suite fast.
    SetInstallerSetting(XP_T("RunMs"), 300);
}

void EndToEndTest::TearDown()
{
    m_server->ClearCheckAnswer();
    XpPlatformRegDeleteTree(XpRegRoot::LocalMachine, kVimblyKey);
    TempFolderTest::TearDown();
}

void EndToEndTest::WithoutDisplay()
{
    m_environment["DISPLAY"] = std::nullopt;
}

void EndToEndTest::UseTemporaryFolder(const std::string& relative)
{
    m_temporary = relative;
    MakeDir(relative);
#if defined(_WIN32)
    m_environment["TMP"] = Native(relative).make_preferred().string();
    m_environment["TEMP"] = Native(relative).make_preferred().string();
#else
    m_environment["TMPDIR"] = Native(relative).string();
#endif
}

void EndToEndTest::AnswerCheckWith(const std::string& path, int delayMs)
{
    m_server->SetCheckAnswer(200, "{base}" + path + DemoPackageName(), delayMs);
}

void EndToEndTest::SetInstallerSetting(const XpChar* name, uint32_t value)
{
    SetRegistryValue(XpRegRoot::LocalMachine, kInstallerKey, name, XpRegType::Dword, &value, sizeof value);
}

bool EndToEndTest::StartUpdater(ProgramRun& run, const std::string& output, bool typed)
{
    auto environment = m_environment;
    environment["KESTROW_TERMINAL_INPUT"] = typed ? "1" : "0";
    return run.Start(BuiltProgram("kestrow"), "Vimbly_Kestrow", environment, Native(output), typed);
}

int EndToEndTest::RunUpdater(const std::string& output, std::chrono::milliseconds limit)
{
    ProgramRun run;
    if (!StartUpdater(run, output)) {
        ADD_FAILURE() << "the updater did not start";
        return -1;
    }
    const std::optional<int> status = run.Wait(limit);
    if (!status) ADD_FAILURE() << "the updater did not end in time:\n" << ReadBytes(output);
    return status.value_or(-1);
}

std::string EndToEndTest::InstalledVersion() const
{
    const std::string text = ReadBytes("vimbly/Version.txt");
    return text.substr(0, text.find_first_of("\r\n"));
}

std::optional<uint32_t> EndToEndTest::InstallResult() const
{
    return QueryDword(kVimblyKey, XP_T("InstallResult"));
}

uint32_t EndToEndTest::InstallerRuns() const
{
    return QueryDword(kInstallerKey, XP_T("Runs")).value_or(0);
}

std::string EndToEndTest::InstallerArguments() const
{
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!QueryRegistry(kInstallerKey, XP_T("LastArguments"), &type, &data)) return std::string();
    std::string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        if (data[i] == 0 && data[i + 1] == 0) break;
        text += static_cast<char>(data[i]);
    }
    return text;
}

int EndToEndTest::PackageRequests() const
{
    int count = 0;
    for (const LoggedRequest& request : m_server->Requests()) {
        const std::string suffix = "/" + DemoPackageName();
        if (request.method == "GET" && request.path.size() > suffix.size() &&
            request.path.compare(request.path.size() - suffix.size(), suffix.size(), suffix) == 0)
            ++count;
    }
    return count;
}

}  // namespace kestrow_test
