// The package download against the loopback update server: what reaches the file and
// the dialog for each way a transfer can go, the reuse of a present package, Cancel, a
// full disk, and the work directory.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "network/UpdateServer.h"
#include "update/PackageDownload.h"
#include "update/WorkDirectory.h"

namespace {

using kestrow_test::Posted;
using kestrow_test::ScratchFolder;
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
        m_context.workDirectory = m_work.Xp();
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

    std::string Downloaded(const std::string& name) const { return kestrow_test::ReadWholeFile(m_work.Path() / name); }

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
        EXPECT_EQ(kestrow_test::ToFs(m_context.packagePath), m_work.Path() / name);
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
    kestrow_test::WriteWholeFile(m_work.Path() / "local.exe", "local");
    const std::string local = "file:///" + (m_work.Path() / "local.exe").generic_string();
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
    for (const auto& entry : fs::directory_iterator(m_work.Path())) entries += entry.path().filename() != "local.exe";
    EXPECT_EQ(entries, 0u);
}

TEST_F(PackageDownload, UnusableFileNamesAreFileErrors)
{
    for (const char* path : {"/any/nul.exe", "/any/", "/any/Com3.txt?x=1", "/any/setup.exe."}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Run("http", path), -1);
        ExpectPosted({{WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 2}});
    }
    EXPECT_TRUE(fs::is_empty(m_work.Path()));
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
    fs::remove(m_work.Path() / "broken.exe");
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
    EXPECT_EQ(fs::file_size(m_work.Path() / "slow.exe"), m_posted[2].wParam);
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
    kestrow_test::WriteWholeFile(m_work.Path() / "present.exe", "from an earlier run");
    m_context.downloadComplete = true;
    EXPECT_EQ(Run("http", "/packages/present.exe"), 0);
    ExpectPosted({{WM_VERIFY_START, 0, 0}});
    EXPECT_EQ(Downloaded("present.exe"), "from an earlier run");
    EXPECT_FALSE(m_context.downloadComplete);
    EXPECT_EQ(m_context.packageSize, 5000u);
}

TEST_F(PackageDownload, FullDiskIsAFileError)
{
#if defined(_WIN32)
    // Wine opens the Linux device that fails every write with "no space".
    const XpString full = XP_T("Z:\\dev\\full");
#else
    const XpString full = XP_T("/dev/full");
#endif
    m_server->WritePackage("big.exe", Pattern(300000));
    PackageDownloadSession session(m_context.timeouts);
    ASSERT_TRUE(session.Open(m_server->XpUrl("http", "/packages/big.exe")));
    EXPECT_EQ(session.ContentLength(), 300000u);
    EXPECT_EQ(session.Download(full, nullptr, nullptr), DownloadResult::FileError);
    EXPECT_EQ(session.BytesReceived(), 0u);

    // A file that cannot be created at all.
    PackageDownloadSession second(m_context.timeouts);
    ASSERT_TRUE(second.Open(m_server->XpUrl("http", "/packages/big.exe")));
    EXPECT_EQ(second.Download(m_work.Xp("no/such/folder/big.exe"), nullptr, nullptr), DownloadResult::FileError);
    PackageDownloadSession unopened;
    EXPECT_EQ(unopened.Download(m_work.Xp("x.exe"), nullptr, nullptr), DownloadResult::Other);
    EXPECT_FALSE(fs::exists(m_work.Path() / "x.exe"));
}

TEST(WorkDirectory, MadeAndRemoved)
{
    ScratchFolder scratch;
    const XpString folder = scratch.Xp("a/b/Vimbly_Kestrow");
    EXPECT_TRUE(EnsureWorkDirectory(folder));
    EXPECT_TRUE(EnsureWorkDirectory(folder));
    kestrow_test::WriteWholeFile(scratch.Path() / "a/b/Vimbly_Kestrow/sub/pkg.exe", "x");
    EXPECT_TRUE(RemoveWorkDirectory(folder));
    EXPECT_FALSE(fs::exists(scratch.Path() / "a/b/Vimbly_Kestrow"));
    EXPECT_TRUE(RemoveWorkDirectory(folder));

    kestrow_test::WriteWholeFile(scratch.Path() / "file", "x");
    EXPECT_FALSE(EnsureWorkDirectory(scratch.Xp("file")));
    EXPECT_TRUE(fs::is_regular_file(scratch.Path() / "file"));

    const std::string name = kestrow_test::ToFs(WorkDirectoryPath()).filename().string();
    EXPECT_EQ(name, "Vimbly_Kestrow");
}

}  // namespace
