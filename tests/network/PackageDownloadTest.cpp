// The package download against the loopback update server: what reaches the file and
// the dialog for each way a transfer can go, the reuse of a present package, Cancel, a
// full disk, and the work directory.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "LinkSupport.h"
#include "TestSupport.h"
#include "network/UpdateServer.h"
#include "update/PackageDownload.h"
#include "update/WorkDirectory.h"

#if !defined(_WIN32)
#include <sys/resource.h>

#include <csignal>
#endif

namespace {

using kestrow_test::Posted;
using kestrow_test::ScratchFolder;
using kestrow_test::ToXp;
using kestrow_test::UpdateServer;
namespace fs = std::filesystem;

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    return bytes;
}

class PackageDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_server = UpdateServer::Get();
        if (m_server == nullptr) GTEST_SKIP();
        // The work directory as the pre-check leaves it: private, made by this process.
        m_context.workDirectory = m_work.Xp("Vimbly_Kestrow");
        ASSERT_TRUE(EnsureWorkDirectory(m_context.workDirectory));
        m_context.timeouts.receiveMs = 1000;
    }

    int Run(const std::string& listener, const std::string& path)
    {
        m_context.packageUrl = m_server->XpUrl(listener, path);
        m_posted.clear();
        return RunDownload(
            m_context,
            [this](uint32_t message, uint64_t wParam, int64_t lParam) {
                m_posted.push_back({message, wParam, lParam});
                if (message == WM_DOWNLOAD_PROGRESS && m_cancelAtProgress) m_abort = true;
            },
            &m_abort);
    }

    void ExpectPosted(const std::vector<Posted>& expected)
    {
        ASSERT_EQ(m_posted.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_TRUE(m_posted[i] == expected[i]) << "message " << i << ": " << std::hex << m_posted[i].message << " "
                                                    << m_posted[i].wParam << " " << m_posted[i].lParam;
        }
    }

    fs::path Work() const { return m_work.Path() / "Vimbly_Kestrow"; }
    std::string Downloaded(const std::string& name) const { return kestrow_test::ReadWholeFile(Work() / name); }

    UpdateServer* m_server = nullptr;
    ScratchFolder m_work;
    DownloadContext m_context;
    std::vector<Posted> m_posted;
    std::atomic<bool> m_abort{false};
    bool m_cancelAtProgress = false;
};

TEST_F(PackageDownload, WholePackagesOfEverySize)
{
    for (size_t size : {size_t{1}, size_t{102400}, size_t{102401}, size_t{5} * 1024 * 1024 + 3}) {
        SCOPED_TRACE(size);
        const std::string name = "p" + std::to_string(size) + ".exe";
        const std::string bytes = Pattern(size);
        m_server->WritePackage(name, bytes);
        ASSERT_EQ(Run(m_server->Secure(), "/packages/" + name + "?v=1.2"), 0);
        const auto length = static_cast<int64_t>(size);
        // A slow machine may see progress during the transfer too: drop it before comparing.
        std::vector<Posted> posted;
        for (size_t i = 0; i < m_posted.size(); ++i) {
            if (m_posted[i].message != WM_DOWNLOAD_PROGRESS || i + 2 == m_posted.size()) posted.push_back(m_posted[i]);
        }
        m_posted = posted;
        ExpectPosted(
            {{WM_DOWNLOAD_BEGUN, 0, length}, {WM_DOWNLOAD_PROGRESS, size, length}, {WM_DOWNLOAD_DONE, size, length}});
        EXPECT_TRUE(Downloaded(name) == bytes);
        EXPECT_EQ(kestrow_test::ToFs(m_context.packagePath), Work() / name);
        EXPECT_EQ(m_context.packageSize, size);
        EXPECT_TRUE(m_context.downloadComplete);
    }
}

TEST_F(PackageDownload, RefusedBeforeAnyFileIsMade)
{
    m_server->WritePackage("empty.exe", "");
    m_server->WritePackage("some.exe", Pattern(1000));
    const char* paths[] = {"/packages/empty.exe", "/nolength/some.exe",    "/chunked/some.exe",
                           "/huge/some.exe",      "/packages/missing.exe", "/status/500"};
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        m_context.downloadComplete = true;
        EXPECT_EQ(Run("http", path), -1);
        ExpectPosted({{WM_STAGE_FAILED, RC_NETWORK_ERROR, 0}});
        EXPECT_EQ(m_context.packageSize, 0u);
        EXPECT_TRUE(m_context.downloadComplete);
    }
    EXPECT_EQ(Run("untrusted", "/packages/some.exe"), -1);
    ExpectPosted({{WM_STAGE_FAILED, RC_NETWORK_ERROR, 0}});
    // Another scheme, directly or through a redirect, opens nothing.
    kestrow_test::WriteWholeFile(Work() / "local.exe", "local");
    const std::string local = "file:///" + (Work() / "local.exe").generic_string();
    m_context.packageUrl = XpNarrowString(local.c_str()).ToWide();
    m_posted.clear();
    EXPECT_EQ(RunDownload(
                  m_context,
                  [this](uint32_t m, uint64_t w, int64_t l) {
                      m_posted.push_back({m, w, l});
                  },
                  &m_abort),
              -1);
    ExpectPosted({{WM_STAGE_FAILED, RC_NETWORK_ERROR, 0}});
    EXPECT_EQ(Run("http", "/redirect-to?url=" + local), -1);
    ExpectPosted({{WM_STAGE_FAILED, RC_NETWORK_ERROR, 0}});
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(Work())) entries += entry.path().filename() != "local.exe";
    EXPECT_EQ(entries, 0u);
}

TEST_F(PackageDownload, UnusableFileNamesAreFileErrors)
{
    for (const char* path : {"/any/nul.exe", "/any/", "/any/Com3.txt?x=1", "/any/setup.exe."}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Run("http", path), -1);
        ExpectPosted({{WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 2}});
    }
    EXPECT_TRUE(fs::is_empty(Work()));
}

TEST_F(PackageDownload, BrokenTransfers)
{
    const std::string bytes = Pattern(300000);
    m_server->WritePackage("broken.exe", bytes);
    // Half the announced bytes, then the connection closes.
    EXPECT_EQ(Run("http", "/half/broken.exe"), -1);
    ASSERT_EQ(m_posted.size(), 3u);
    EXPECT_TRUE((m_posted[1] == Posted{WM_DOWNLOAD_PROGRESS, 150000, 300000}));
    EXPECT_TRUE((m_posted[2] == Posted{WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 10}));
    EXPECT_FALSE(m_context.downloadComplete);
    EXPECT_EQ(Downloaded("broken.exe"), bytes.substr(0, 150000));

    // No data for longer than the receive time-out: an internet error, no last progress.
    fs::remove(Work() / "broken.exe");
    EXPECT_EQ(Run("http", "/stall/broken.exe"), -1);
    ExpectPosted({{WM_DOWNLOAD_BEGUN, 0, 300000}, {WM_STAGE_FAILED, RC_NETWORK_ERROR, 0}});
}

TEST_F(PackageDownload, CancelKeepsThePartialFile)
{
    const size_t size = 4 * 1024 * 1024;
    m_server->WritePackage("slow.exe", Pattern(size));
    m_cancelAtProgress = true;
    EXPECT_EQ(Run("http", "/slow/slow.exe"), 0);
    // The progress that asked for the cancel, then the one after the transfer: nothing else.
    ASSERT_EQ(m_posted.size(), 3u);
    EXPECT_EQ(m_posted[0].message, WM_DOWNLOAD_BEGUN);
    EXPECT_EQ(m_posted[1].message, WM_DOWNLOAD_PROGRESS);
    EXPECT_TRUE((m_posted[2] == Posted{WM_DOWNLOAD_PROGRESS, m_posted[1].wParam, static_cast<int64_t>(size)}));
    EXPECT_LT(m_posted[2].wParam, size);
    EXPECT_FALSE(m_context.downloadComplete);
    EXPECT_EQ(fs::file_size(Work() / "slow.exe"), m_posted[2].wParam);
}

TEST_F(PackageDownload, ProgressAtMostEveryHalfSecond)
{
    const size_t size = 3 * 1024 * 1024;  // 48 pieces of 64 KiB, 50 ms apart: about 2.4 s
    m_server->WritePackage("paced.exe", Pattern(size));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Run("http", "/slow/paced.exe"), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t progress = 0;
    uint64_t last = 0;
    for (const Posted& posted : m_posted) {
        if (posted.message != WM_DOWNLOAD_PROGRESS) continue;
        ++progress;
        EXPECT_GE(posted.wParam, last);
        last = posted.wParam;
    }
    EXPECT_GE(progress, 3u) << "progress while the transfer runs";
    EXPECT_LE(progress, static_cast<size_t>(seconds * 2) + 1);
    EXPECT_EQ(m_posted.back().message, WM_DOWNLOAD_DONE);
}

TEST_F(PackageDownload, PresentPackageIsLeftForVerification)
{
    m_server->WritePackage("present.exe", Pattern(5000));
    kestrow_test::WriteWholeFile(Work() / "present.exe", "from an earlier run");
    m_context.downloadComplete = true;
    EXPECT_EQ(Run("http", "/packages/present.exe"), 0);
    ExpectPosted({{WM_VERIFY_START, 0, 0}});
    EXPECT_EQ(Downloaded("present.exe"), "from an earlier run");
    EXPECT_FALSE(m_context.downloadComplete);
    EXPECT_EQ(m_context.packageSize, 5000u);
}

TEST_F(PackageDownload, FileErrors)
{
    m_server->WritePackage("big.exe", Pattern(300000));
    const XpString url = m_server->XpUrl("http", "/packages/big.exe");
#if !defined(_WIN32)
    {
        // A disk that fills during the transfer: the file may grow to 150000 bytes only.
        struct rlimit saved {};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved;
        limit.rlim_cur = 150000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        PackageDownloadSession session(m_context.timeouts);
        ASSERT_TRUE(session.Open(url));
        const int result = session.Download(ToXp(Work() / "full.exe"), nullptr, nullptr);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(result, DownloadResult::FileError);
        EXPECT_LT(session.BytesReceived(), 300000u);
    }
#endif
    // Anything under the package's name already is never opened: a file (here a device
    // that would fail every write) or a file of an earlier run stays as it is.
#if defined(_WIN32)
    const XpString device = XP_T("Z:\\dev\\full");
#else
    const XpString device = XP_T("/dev/full");
#endif
    kestrow_test::WriteWholeFile(Work() / "old.exe", "kept");
    for (const XpString& path : {device, ToXp(Work() / "old.exe")}) {
        PackageDownloadSession session(m_context.timeouts);
        ASSERT_TRUE(session.Open(url));
        EXPECT_EQ(session.Download(path, nullptr, nullptr), DownloadResult::FileError);
        EXPECT_EQ(session.BytesReceived(), 0u);
    }
    EXPECT_EQ(Downloaded("old.exe"), "kept");

    // A file that cannot be created at all.
    PackageDownloadSession second(m_context.timeouts);
    ASSERT_TRUE(second.Open(url));
    EXPECT_EQ(second.Download(m_work.Xp("no/such/folder/big.exe"), nullptr, nullptr), DownloadResult::FileError);
    PackageDownloadSession unopened;
    EXPECT_EQ(unopened.Download(m_work.Xp("x.exe"), nullptr, nullptr), DownloadResult::Other);
    EXPECT_FALSE(fs::exists(m_work.Path() / "x.exe"));
}

// A link in the work folder's place, or one planted at the package's name, is a file error:
// nothing is written through it, and what it leads to stays as it was.
TEST_F(PackageDownload, LinksAndForeignFoldersAreRefused)
{
    if (!kestrow_test::CanMakeLinks()) GTEST_SKIP() << "no way to make links on this host";
    m_server->WritePackage("pkg.exe", Pattern(5000));
    kestrow_test::WriteWholeFile(m_work.Path() / "victim", "untouched");
    ASSERT_TRUE(kestrow_test::MakeLink(m_work.Path() / "nowhere", Work() / "pkg.exe"));
    EXPECT_EQ(Run("http", "/packages/pkg.exe"), -1);
    // Found before the transfer where the system tells a link (Linux), else refused when the
    // file is made.
    ASSERT_FALSE(m_posted.empty());
    EXPECT_TRUE((m_posted.back() == Posted{WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 2}));
    EXPECT_LE(m_posted.size(), 2u);
    EXPECT_FALSE(fs::exists(m_work.Path() / "nowhere"));
    // A link to a file outside is refused the same way, and the file stays as it was.
    kestrow_test::RemoveTreeWithLinks(Work() / "pkg.exe");
    ASSERT_TRUE(kestrow_test::MakeLink(m_work.Path() / "victim", Work() / "pkg.exe"));
    EXPECT_EQ(Run("http", "/packages/pkg.exe"), -1);
    ASSERT_FALSE(m_posted.empty());
    EXPECT_TRUE((m_posted.back() == Posted{WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 2}));
    EXPECT_EQ(kestrow_test::ReadWholeFile(m_work.Path() / "victim"), "untouched");
    EXPECT_FALSE(m_context.downloadComplete);

    // The work folder itself swapped for a link to another folder.
    m_context.workDirectory = m_work.Xp("elsewhere");
    ASSERT_TRUE(kestrow_test::MakeLink(m_work.Path() / "other", m_work.Path() / "elsewhere"));
    fs::create_directory(m_work.Path() / "other");
    EXPECT_EQ(Run("http", "/packages/pkg.exe"), -1);
    ExpectPosted({{WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 2}});
    // The same when the link comes after that check: the file is made in the folder as
    // opened from the one above it, never through a link in the folder's place.
    PackageDownloadSession session(m_context.timeouts);
    ASSERT_TRUE(session.Open(m_server->XpUrl("http", "/packages/pkg.exe")));
    EXPECT_EQ(session.Download(m_work.Xp("elsewhere/pkg.exe"), nullptr, nullptr), DownloadResult::FileError);
    EXPECT_TRUE(fs::is_empty(m_work.Path() / "other"));
    kestrow_test::RemoveTreeWithLinks(m_work.Path() / "elsewhere");
    kestrow_test::RemoveTreeWithLinks(Work() / "pkg.exe");
}

// A second process keeps putting links at the package's name, to a file outside the work
// folder and to a name that does not exist yet, while downloads run one after another:
// none of them writes anywhere but into the work folder.
TEST_F(PackageDownload, RacingLinkPlanterWritesNothingOutside)
{
    if (!kestrow_test::CanMakeLinks()) GTEST_SKIP() << "no way to make links on this host";
    const std::string bytes = Pattern(300000);
    m_server->WritePackage("race.exe", bytes);
    const fs::path outside = m_work.Path() / "outside";
    fs::create_directory(outside);
    kestrow_test::WriteWholeFile(outside / "victim", "untouched");
    kestrow_test::LinkPlanter planter(Work() / "race.exe", {outside / "victim", outside / "made"}, 3);
    ASSERT_TRUE(planter.Started());
    int complete = 0, refused = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    while (std::chrono::steady_clock::now() < end) {
        PackageDownloadSession session(m_context.timeouts);
        ASSERT_TRUE(session.Open(m_server->XpUrl("http", "/packages/race.exe")));
        const int result = session.Download(ToXp(Work() / "race.exe"), nullptr, nullptr);
        if (result == DownloadResult::Complete) {
            ++complete;
        } else {
            EXPECT_EQ(result, DownloadResult::FileError);
            ++refused;
        }
        // Only the package itself is taken away (the planter puts no link where a file
        // stands); Wine would delete a link's target with it.
        std::error_code ec;
        if (result == DownloadResult::Complete && Downloaded("race.exe") == bytes) fs::remove(Work() / "race.exe", ec);
    }
    const long planted = planter.Stop();
    EXPECT_GT(planted, 0) << "the planter never put a link in place";
    EXPECT_GT(complete + refused, 0);
    EXPECT_EQ(kestrow_test::ReadWholeFile(outside / "victim"), "untouched");
    EXPECT_FALSE(fs::exists(outside / "made"));
    std::cout << "[          ] " << complete << " complete, " << refused << " refused, " << planted
              << " links planted\n";
    kestrow_test::RemoveTreeWithLinks(Work() / "race.exe");
}

TEST(WorkDirectory, PrivateMadeAndRemoved)
{
    ScratchFolder scratch;
    const XpString folder = scratch.Xp("Vimbly_Kestrow");
    EXPECT_TRUE(EnsureWorkDirectory(folder));
    EXPECT_TRUE(IsWorkDirectoryInPlace(folder));
#if !defined(_WIN32)
    // Its own private folder is accepted again. (Wine reports every folder as the user's,
    // so an elevated run there accepts none that it did not make in the same call.)
    EXPECT_TRUE(EnsureWorkDirectory(folder));
    EXPECT_EQ(fs::status(scratch.Path() / "Vimbly_Kestrow").permissions(), fs::perms::owner_all);
    // A folder that others may write is refused, and left as it is.
    fs::create_directory(scratch.Path() / "open");
    fs::permissions(scratch.Path() / "open", fs::perms::all);
    EXPECT_FALSE(EnsureWorkDirectory(scratch.Xp("open")));
    EXPECT_EQ(fs::status(scratch.Path() / "open").permissions(), fs::perms::all);
#endif
    if (kestrow_test::CanMakeLinks()) {
        ASSERT_TRUE(kestrow_test::MakeLink(scratch.Path() / "Vimbly_Kestrow", scratch.Path() / "link"));
        EXPECT_FALSE(EnsureWorkDirectory(scratch.Xp("link")));
        EXPECT_FALSE(IsWorkDirectoryInPlace(scratch.Xp("link")));
        kestrow_test::RemoveTreeWithLinks(scratch.Path() / "link");
    }
    kestrow_test::WriteWholeFile(scratch.Path() / "Vimbly_Kestrow/sub/pkg.exe", "x");
    EXPECT_TRUE(RemoveWorkDirectory(folder));
    EXPECT_FALSE(fs::exists(scratch.Path() / "Vimbly_Kestrow"));
    EXPECT_TRUE(RemoveWorkDirectory(folder));

    // Never made with the levels above it, and never in place of a file.
    EXPECT_FALSE(EnsureWorkDirectory(scratch.Xp("a/b/Vimbly_Kestrow")));
    EXPECT_FALSE(fs::exists(scratch.Path() / "a"));
    kestrow_test::WriteWholeFile(scratch.Path() / "file", "x");
    EXPECT_FALSE(EnsureWorkDirectory(scratch.Xp("file")));
    EXPECT_FALSE(IsWorkDirectoryInPlace(scratch.Xp("file")));
    EXPECT_TRUE(fs::is_regular_file(scratch.Path() / "file"));

    const std::string name = kestrow_test::ToFs(WorkDirectoryPath()).filename().string();
    EXPECT_EQ(name, "Vimbly_Kestrow");
}

}  // namespace
