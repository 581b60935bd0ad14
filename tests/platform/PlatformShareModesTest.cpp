// Share modes: every access and share mode of a first open against every one of a second
// open, and against a delete, on one expected table. On Windows (under Wine) the table is
// checked against the system itself, on Linux against the library's own share modes. The
// second half runs the first open in another process.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

using kestrow_test::ToPlatform;

namespace {

constexpr uint32_t kRead = XpFileOpen::GenericRead;
constexpr uint32_t kWrite = XpFileOpen::GenericWrite;
constexpr uint32_t kDelete = XpFileOpen::Delete;
constexpr uint32_t kShareRead = XpFileOpen::ShareRead;
constexpr uint32_t kShareWrite = XpFileOpen::ShareWrite;
constexpr uint32_t kShareDelete = XpFileOpen::ShareDelete;
constexpr uint32_t kShareAll = kShareRead | kShareWrite | kShareDelete;
constexpr char kHolderVariable[] = "KESTROW_SHARE_HOLDER";

// Every combination of the three accesses that share modes govern, none included.
const std::vector<uint32_t>& Accesses()
{
    static const std::vector<uint32_t> all = {
        0, kRead, kWrite, kDelete, kRead | kWrite, kRead | kDelete, kWrite | kDelete, kRead | kWrite | kDelete};
    return all;
}

// An access mask in the share-mode bits' terms: read 1, write 2, delete 4.
uint32_t Kinds(uint32_t access)
{
    return ((access & kRead) != 0 ? kShareRead : 0) | ((access & kWrite) != 0 ? kShareWrite : 0) |
           ((access & kDelete) != 0 ? kShareDelete : 0);
}

// Windows' rule: an open that holds none of the three accesses is never checked and
// never stands in the way; otherwise the second open is refused when it asks for what
// the first does not share, or does not share what the first holds.
bool Refused(uint32_t firstAccess, uint32_t firstShare, uint32_t secondAccess, uint32_t secondShare)
{
    const uint32_t first = Kinds(firstAccess), second = Kinds(secondAccess);
    if (first == 0 || second == 0) return false;
    return (second & ~firstShare) != 0 || (first & ~secondShare) != 0;
}

std::string Describe(uint32_t access, uint32_t share)
{
    const uint32_t kinds = Kinds(access);
    std::string text = "access ";
    text += kinds == 0 ? "-" : "";
    if ((kinds & kShareRead) != 0) text += "R";
    if ((kinds & kShareWrite) != 0) text += "W";
    if ((kinds & kShareDelete) != 0) text += "D";
    text += " share ";
    text += share == 0 ? "-" : "";
    if ((share & kShareRead) != 0) text += "R";
    if ((share & kShareWrite) != 0) text += "W";
    if ((share & kShareDelete) != 0) text += "D";
    return text;
}

class PlatformShareModes : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(TempFolderTest::SetUp());
        WriteBytes("shared.bin", "content");
    }

    XpPlatformString File(const std::string& name) const { return ToPlatform(Native(name).make_preferred()); }

    static uint32_t Open(const XpPlatformString& file, uint32_t access, uint32_t share, XpFileHandle* handle)
    {
        return XpPlatformCreateFile(file.c_str(), access, share, XpFileOpen::OpenExisting, XpFileAttr::Normal, handle);
    }

    // Opens a file a second time with every access and share mode while something else
    // holds it as (firstAccess, firstShare); the cases that went against the table.
    static std::vector<std::string> SecondOpens(const XpPlatformString& file, uint32_t firstAccess, uint32_t firstShare)
    {
        std::vector<std::string> wrong;
        for (const uint32_t access : Accesses()) {
            for (uint32_t share = 0; share <= kShareAll; ++share) {
                XpFileHandle handle = kXpInvalidFileHandle;
                const uint32_t rc = Open(file, access, share, &handle);
                const uint32_t expected = Refused(firstAccess, firstShare, access, share) ? XpWinError::SharingViolation
                                                                                          : XpWinError::Success;
                if (rc == XpWinError::Success) XpPlatformCloseFile(handle);
                if (rc != expected)
                    wrong.push_back(Describe(firstAccess, firstShare) + " then " + Describe(access, share) + ": " +
                                    std::to_string(rc));
            }
        }
        return wrong;
    }

    // A delete while something else holds the file as (firstAccess, firstShare): empty
    // when it went as the table says.
    static std::string Delete(const XpPlatformString& file, uint32_t firstAccess, uint32_t firstShare)
    {
        const bool refused = Kinds(firstAccess) != 0 && (firstShare & kShareDelete) == 0;
        const uint32_t rc = XpPlatformDeleteFile(file.c_str());
        if (rc == (refused ? XpWinError::SharingViolation : XpWinError::Success)) return std::string();
        return Describe(firstAccess, firstShare) + " then delete: " + std::to_string(rc);
    }
};

std::string Join(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST(PlatformShareModesRule, TheCasesThatOnceWentWrong)
{
    // A writer that lets others write keeps out a later open that denies writers.
    EXPECT_TRUE(Refused(kWrite, kShareRead | kShareWrite, kRead, kShareRead));
    // A reader that shares nothing keeps out other readers.
    EXPECT_TRUE(Refused(kRead, 0, kRead, kShareAll));
    // Delete is shared like the other two, both ways.
    EXPECT_TRUE(Refused(kRead, kShareRead | kShareWrite, kDelete, kShareAll));
    EXPECT_FALSE(Refused(kRead, kShareRead | kShareDelete, kDelete, kShareAll));
    EXPECT_TRUE(Refused(kDelete, kShareAll, kRead, kShareRead | kShareWrite));
    // Opens without any of the three accesses are left out.
    EXPECT_FALSE(Refused(0, 0, kRead | kWrite, 0));
    EXPECT_FALSE(Refused(kRead, 0, 0, 0));
}

TEST_F(PlatformShareModes, EveryPairOfOpensAndEveryDeleteFollowTheTable)
{
    const XpPlatformString file = File("shared.bin");
    std::vector<std::string> wrong;
    for (const uint32_t access : Accesses()) {
        for (uint32_t share = 0; share <= kShareAll; ++share) {
            XpFileHandle first = kXpInvalidFileHandle;
            ASSERT_EQ(Open(file, access, share, &first), 0u) << Describe(access, share);
            const std::vector<std::string> opens = SecondOpens(file, access, share);
            wrong.insert(wrong.end(), opens.begin(), opens.end());

            const std::string deleted = Delete(file, access, share);
            if (!deleted.empty()) wrong.push_back(deleted);
            ASSERT_EQ(XpPlatformCloseFile(first), 0u);
            // A delete that was let through takes the file with it once the first open
            // is closed (Windows keeps the name until then).
            if (!Exists("shared.bin")) WriteBytes("shared.bin", "content");
        }
    }
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " cases against the table:\n" << Join(wrong);
    EXPECT_EQ(ReadBytes("shared.bin"), "content");
}

TEST_F(PlatformShareModes, OpensThatArriveTogetherNeverBothGetIn)
{
    // Two threads open the file at the same moment, round after round, each for writing
    // and denying everything: one may get in, never both. Each open is an open file of
    // its own, as in two processes.
    constexpr int kRounds = 300;
    const XpPlatformString file = File("shared.bin");
    uint32_t results[2] = {};
    int both = 0, neither = 0;
    // A spinning meeting point lines the two opens up closer than a sleeping one would.
    std::atomic<int> arrivals{0};
    const auto meet = [&arrivals](int& phase) {
        phase += 2;
        arrivals.fetch_add(1);
        for (int spins = 0; arrivals.load() < phase; ++spins) {
            if (spins > 100000) std::this_thread::yield();
        }
    };
    const auto contend = [&](int me) {
        int phase = 0;
        for (int round = 0; round < kRounds; ++round) {
            meet(phase);
            XpFileHandle handle = kXpInvalidFileHandle;
            results[me] = Open(file, kWrite, 0, &handle);
            meet(phase);
            if (me == 0 && results[0] == XpWinError::Success && results[1] == XpWinError::Success) ++both;
            if (me == 0 && results[0] != XpWinError::Success && results[1] != XpWinError::Success) ++neither;
            if (results[me] == XpWinError::Success) XpPlatformCloseFile(handle);
        }
    };
    std::thread other(contend, 1);
    contend(0);
    other.join();
    EXPECT_EQ(both, 0);
    // Two opens that meet may both step back; most rounds still let one in.
    EXPECT_LT(neither, kRounds / 10);
}

// The other process: a copy of this test program, started with the holder variable set
// to "<access> <share> <path>" requests joined by "|", opens each file as asked, writes
// the results of the opens as one line to its output, keeps the files open until its
// input ends, and exits; the tests never run in it. This runs while the program's static
// objects are made, before the tests.
struct Hold {
    fs::path path;
    uint32_t access, share;
};

#if defined(_WIN32)
std::wstring HolderRequest()
{
    wchar_t value[8192];
    const DWORD length = GetEnvironmentVariableW(L"KESTROW_SHARE_HOLDER", value, 8192);
    return length == 0 || length >= 8192 ? std::wstring() : std::wstring(value, length);
}

void AnswerAndWait(const std::string& line)
{
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
    char byte;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &done, nullptr) && done == 1) {
    }
}
#else
std::string HolderRequest()
{
    const char* value = std::getenv(kHolderVariable);
    return value == nullptr ? std::string() : std::string(value);
}

void AnswerAndWait(const std::string& line)
{
    if (write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return;
    char byte;
    while (read(STDIN_FILENO, &byte, 1) == 1) {
    }
}
#endif

bool HoldWhenAsked()
{
    const auto request = HolderRequest();
    if (request.empty()) return false;
    std::vector<XpFileHandle> handles;
    std::string answer;
    for (std::size_t at = 0; at < request.size();) {
        const std::size_t end = std::min(request.find('|', at), request.size());
        const std::size_t first = request.find(' ', at), second = request.find(' ', first + 1);
        const auto access = static_cast<uint32_t>(std::stoul(request.substr(at, first - at)));
        const auto share = static_cast<uint32_t>(std::stoul(request.substr(first + 1, second - first - 1)));
        const XpPlatformString path = ToPlatform(fs::path(request.substr(second + 1, end - second - 1)));
        XpFileHandle handle = kXpInvalidFileHandle;
        const uint32_t rc =
            XpPlatformCreateFile(path.c_str(), access, share, XpFileOpen::OpenExisting, XpFileAttr::Normal, &handle);
        if (rc == XpWinError::Success) handles.push_back(handle);
        answer += std::to_string(rc) + " ";
        at = end + 1;
    }
    AnswerAndWait(answer + "\n");
    for (const XpFileHandle handle : handles) XpPlatformCloseFile(handle);
    std::_Exit(0);
}

[[maybe_unused]] const bool g_holder = HoldWhenAsked();

// A copy of this program that holds files open, as above.
class HolderProcess {
public:
    HolderProcess() = default;
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;
    ~HolderProcess() { Stop(); }

    // Starts the copy and waits for its opens; their results, or nothing when the copy
    // could not be started or gave no answer.
    std::vector<uint32_t> Start(const std::vector<Hold>& holds);
    // Ends the copy's input, so that it closes the files and exits, and waits for it.
    void Stop();

private:
    static std::string Request(const std::vector<Hold>& holds)
    {
        std::string request;
        for (const Hold& hold : holds)
            request += (request.empty() ? "" : "|") + std::to_string(hold.access) + " " + std::to_string(hold.share) +
                       " " + hold.path.string();
        return request;
    }
    static std::vector<uint32_t> Parse(const std::string& line)
    {
        std::vector<uint32_t> results;
        std::size_t at = 0;
        for (std::size_t space; (space = line.find(' ', at)) != std::string::npos; at = space + 1)
            results.push_back(static_cast<uint32_t>(std::stoul(line.substr(at, space - at))));
        return results;
    }
#if defined(_WIN32)
    HANDLE m_process = nullptr;
    HANDLE m_input = nullptr;
    HANDLE m_output = nullptr;
#else
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
#endif
};

#if defined(_WIN32)
std::vector<uint32_t> HolderProcess::Start(const std::vector<Hold>& holds)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE childInput = nullptr, childOutput = nullptr;
    if (!CreatePipe(&childInput, &m_input, &inherit, 0)) return {};
    if (!CreatePipe(&m_output, &childOutput, &inherit, 0)) return {};
    SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);

    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program, length) + L"\"";
    const std::string request = Request(holds);
    SetEnvironmentVariableW(L"KESTROW_SHARE_HOLDER", std::wstring(request.begin(), request.end()).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    const BOOL started =
        CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableW(L"KESTROW_SHARE_HOLDER", nullptr);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    if (!started) return {};
    CloseHandle(info.hThread);
    m_process = info.hProcess;

    std::string line;
    char c;
    DWORD done = 0;
    while (ReadFile(m_output, &c, 1, &done, nullptr) && done == 1 && c != '\n') line += c;
    return Parse(line);
}

void HolderProcess::Stop()
{
    if (m_input != nullptr) CloseHandle(m_input);
    if (m_process != nullptr) {
        WaitForSingleObject(m_process, 10000);
        CloseHandle(m_process);
    }
    if (m_output != nullptr) CloseHandle(m_output);
    m_input = m_output = m_process = nullptr;
}
#else
std::vector<uint32_t> HolderProcess::Start(const std::vector<Hold>& holds)
{
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0) return {};
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return {};
    }
    m_input = input[1];
    m_output = output[0];

    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
    variables.push_back(std::string(kHolderVariable) + "=" + Request(holds));
    std::vector<char*> environment;
    for (std::string& variable : variables) environment.push_back(variable.data());
    environment.push_back(nullptr);
    char program[] = "/proc/self/exe";
    char* arguments[] = {program, nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    const int error = posix_spawn(&m_pid, program, &actions, nullptr, arguments, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    if (error != 0) {
        m_pid = -1;
        return {};
    }

    std::string line;
    char c;
    while (read(m_output, &c, 1) == 1 && c != '\n') line += c;
    return Parse(line);
}

void HolderProcess::Stop()
{
    if (m_input >= 0) close(m_input);
    if (m_pid > 0) {
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    if (m_output >= 0) close(m_output);
    m_input = m_output = -1;
    m_pid = -1;
}
#endif

TEST_F(PlatformShareModes, AnOpenInAnotherProcessHoldsOffTheSameCases)
{
    // The cases that once went wrong, each on a file of its own that the other process
    // holds: a writer that lets others write, a reader that shares nothing, readers that
    // deny or share delete, and a delete in progress.
    std::vector<Hold> holds = {{"", kWrite, kShareRead | kShareWrite},
                               {"", kRead, 0},
                               {"", kRead, kShareRead | kShareWrite},
                               {"", kRead, kShareRead | kShareDelete},
                               {"", kDelete, kShareAll}};
    for (std::size_t i = 0; i < holds.size(); ++i) {
        const std::string name = "held" + std::to_string(i) + ".bin";
        WriteBytes(name, "content");
        holds[i].path = Native(name).make_preferred();
    }
    HolderProcess holder;
    ASSERT_EQ(holder.Start(holds), std::vector<uint32_t>(holds.size(), 0u));
    for (const Hold& held : holds) {
        const XpPlatformString file = ToPlatform(held.path);
        const std::vector<std::string> wrong = SecondOpens(file, held.access, held.share);
        EXPECT_TRUE(wrong.empty()) << Join(wrong);
        EXPECT_EQ(Delete(file, held.access, held.share), "");
    }
    holder.Stop();

    // The other process's opens went with it.
    for (const Hold& held : holds) {
        if (!fs::exists(held.path)) continue;
        XpFileHandle handle = kXpInvalidFileHandle;
        EXPECT_EQ(Open(ToPlatform(held.path), kRead | kWrite | kDelete, 0, &handle), 0u)
            << Describe(held.access, held.share);
        if (handle != kXpInvalidFileHandle) XpPlatformCloseFile(handle);
    }
}

}  // namespace
