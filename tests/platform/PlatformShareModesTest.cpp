// Share modes: every access and share mode of a first open against every one of a second
// open, and against a delete, on one expected table. On Windows (under Wine) the table is
// checked against the system itself, on Linux against the library's own share modes. The
// second half runs the first open in another process.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"

#if defined(_WIN32)
#include <windows.h>
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
// to a release file's path followed by "|<access> <share> <path>" for each file, opens
// each file as asked, writes the results of the opens as one line, keeps the files open
// until the release file appears, and exits; the tests never run in it. This runs while
// the program's static objects are made, before the tests.
struct Hold {
    fs::path path;
    uint32_t access, share;
};

#if defined(_WIN32)
fs::path ThisProgram()
{
    wchar_t program[MAX_PATH];
    return fs::path(std::wstring(program, GetModuleFileNameW(nullptr, program, MAX_PATH)));
}
FILE* StartProgram(const fs::path& program)
{
    return _wpopen(program.wstring().c_str(), L"rb");
}
void SetRequest(const std::string& value)
{
    _putenv_s(kHolderVariable, value.c_str());
}
#else
fs::path ThisProgram()
{
    return fs::read_symlink("/proc/self/exe");
}
FILE* StartProgram(const fs::path& program)
{
    return popen(("'" + program.string() + "'").c_str(), "r");
}
void SetRequest(const std::string& value)
{
    if (value.empty())
        unsetenv(kHolderVariable);
    else
        setenv(kHolderVariable, value.c_str(), 1);
}
#endif

bool HoldWhenAsked()
{
    const char* value = std::getenv(kHolderVariable);
    if (value == nullptr || value[0] == 0) return false;
    const std::string request(value);
    std::size_t at = request.find('|');
    const fs::path release = request.substr(0, at);
    std::vector<XpFileHandle> handles;
    std::string answer;
    while (at++ < request.size()) {
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
        at = end;
    }
    std::printf("%s\n", answer.c_str());
    std::fflush(stdout);
    // A copy whose test went away ends on its own after a while.
    for (int wait = 0; wait < 3000 && !fs::exists(release); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (const XpFileHandle handle : handles) XpPlatformCloseFile(handle);
    std::_Exit(0);
}

[[maybe_unused]] const bool g_holder = HoldWhenAsked();

// A copy of this program that holds files open, as above.
class HolderProcess {
public:
    explicit HolderProcess(fs::path release) : m_release(std::move(release)) {}
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;
    ~HolderProcess() { Stop(); }

    // Starts the copy and waits for its opens; their results, or nothing when the copy
    // could not be started or gave no answer.
    std::vector<uint32_t> Start(const std::vector<Hold>& holds)
    {
        std::string request = m_release.string();
        for (const Hold& hold : holds)
            request += "|" + std::to_string(hold.access) + " " + std::to_string(hold.share) + " " + hold.path.string();
        SetRequest(request);
        m_output = StartProgram(ThisProgram());
        SetRequest("");
        std::vector<uint32_t> results;
        char line[256];
        if (m_output == nullptr || std::fgets(line, sizeof line, m_output) == nullptr) return results;
        std::istringstream answer(line);
        for (uint32_t result; answer >> result;) results.push_back(result);
        return results;
    }
    // Lets the copy close the files and exit, and waits for it.
    void Stop()
    {
        if (m_output == nullptr) return;
        kestrow_test::WriteWholeFile(m_release, "");
#if defined(_WIN32)
        _pclose(m_output);
#else
        pclose(m_output);
#endif
        m_output = nullptr;
    }

private:
    fs::path m_release;
    FILE* m_output = nullptr;
};

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
    HolderProcess holder(Native("release"));
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
