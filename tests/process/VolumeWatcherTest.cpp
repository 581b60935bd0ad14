// The volume watcher's control with real processes: the stand-in watcher registered in a
// real registry (Linux: the test's own hives; Windows: the registry under Wine), found by
// its exact file name, closed with " /exitall" and started again.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/LaunchAsDesktopUser.h"
#include "app/VolumeWatcherControl.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSync.h"
#include "process/ProcessHelperSupport.h"
#include "registry/RegistryTestSupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using kestrow_test::kExe;
#if defined(_WIN32)
// What a watcher answers when it has closed and a restart is due.
const char kExitAllAnswer[] = "3010";
#else
// Exit statuses are 8 bits on Linux: of the success codes only 0 can be answered there.
const char kExitAllAnswer[] = "0";
#endif

class VolumeWatcherTest : public kestrow_test::RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
#if !defined(_WIN32)
        // The watcher runs as the updater's own user here, whoever started the tests.
        for (const char* name : {"SUDO_UID", "PKEXEC_UID", "DISPLAY"}) m_environment.Set(name, std::nullopt);
#endif
        // A name of the test's own: other tests' watchers do not count.
        m_exeName = "VolumeWatcher-" + kestrow_test::RandomTag() + kExe;
    }
    void TearDown() override
    {
        WriteBytes("watcher/stop", "");
        for (XpPlatformProcess* process : {&m_resident, &m_other}) process->Wait(10000);
        RegistryTest::TearDown();
    }

    // The watcher installed (registered and on disk) with its configuration.
    void Install(const std::string& config)
    {
        kestrow_test::PlaceHelper(Native("watcher/" + m_exeName));
        kestrow_test::ConfigureHelper(Native("watcher"), config);
        SetString(XpRegRoot::LocalMachine, Key("VolumeWatcher"), XP_T("CurrentVersion"), XP_T("2.0"));
        SetString(XpRegRoot::LocalMachine, Key("VolumeWatcher\\2.0"), XP_T("InstalledLocation"),
                  Path("watcher").GetString());
        const XpString exe = XpNarrowString(m_exeName.c_str()).ToWide();
        SetString(XpRegRoot::LocalMachine, Key("VolumeWatcher\\2.0"), XP_T("ExeName"), exe.GetString());
    }
    // A resident watcher run, as the product starts it.
    void StartResident(XpPlatformProcess& process, const std::string& relative)
    {
        ASSERT_EQ(process.Start(kestrow_test::ToPlatform(Native(relative).make_preferred()).c_str(), nullptr, 0), 0u);
    }

    std::string m_exeName;
    XpPlatformProcess m_resident;
    XpPlatformProcess m_other;
};

TEST_F(VolumeWatcherTest, LocatesOnlyARegisteredFile)
{
    VolumeWatcherControl missing(XpKey());
    EXPECT_TRUE(missing.m_strPath.IsEmpty());
    EXPECT_FALSE(missing.IsRunning());
    EXPECT_TRUE(missing.CloseAll());  // nothing runs: nothing to do
    EXPECT_FALSE(missing.Restart());  // nothing to start

    Install("run.sleep=20000\n");
    VolumeWatcherControl watcher(XpKey());
    EXPECT_TRUE(watcher.m_strPath == Path("watcher/" + m_exeName));
    EXPECT_TRUE(watcher.m_strExeName == XpNarrowString(m_exeName.c_str()).ToWide());

    fs::remove(Native("watcher/" + m_exeName));
    EXPECT_FALSE(watcher.Locate());
    EXPECT_TRUE(watcher.m_strPath.IsEmpty());
    EXPECT_TRUE(watcher.m_strExeName.IsEmpty());
}

TEST_F(VolumeWatcherTest, ANameInOtherLetterCaseIsNotTheWatcher)
{
    Install("run.sleep=20000\n");
    std::string lower = m_exeName;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    kestrow_test::PlaceHelper(Native("other/" + lower));
    kestrow_test::ConfigureHelper(Native("other"), "run.sleep=20000\n");
    StartResident(m_other, "other/" + lower);
    VolumeWatcherControl watcher(XpKey());
    // Long enough for the other program to be listed.
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(watcher.IsRunning());
    StartResident(m_resident, "watcher/" + m_exeName);
    EXPECT_TRUE(kestrow_test::WaitUntil([&] { return watcher.IsRunning(); }, 5s));
    WriteBytes("other/stop", "");
}

TEST_F(VolumeWatcherTest, CloseAllAsksWithExitAllAndGivesTheWatchersTime)
{
    Install(std::string("run.sleep=20000\nexitall.exit=") + kExitAllAnswer + "\n");
    StartResident(m_resident, "watcher/" + m_exeName);
    VolumeWatcherControl watcher(XpKey());
    ASSERT_TRUE(kestrow_test::WaitUntil([&] { return watcher.IsRunning(); }, 5s));
    watcher.m_dwSettleTime = 600;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(watcher.CloseAll());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 600ms);
    auto record = kestrow_test::HelperRecord(Native("watcher"), "exitall");
#if defined(_WIN32)
    EXPECT_EQ(record["cmdline"], " /exitall");
#else
    EXPECT_EQ(record["arg1"], "/exitall");
#endif
    EXPECT_FALSE(watcher.IsRunning());
}

TEST_F(VolumeWatcherTest, CloseAllFailsWithoutTheWaitOnAnyOtherAnswerOrARunThatDoesNotEnd)
{
    Install("run.sleep=20000\nexitall.exit=7\n");
    StartResident(m_resident, "watcher/" + m_exeName);
    VolumeWatcherControl watcher(XpKey());
    ASSERT_TRUE(kestrow_test::WaitUntil([&] { return watcher.IsRunning(); }, 5s));
    watcher.m_dwSettleTime = 5000;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(watcher.CloseAll());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4000ms);

    // A " /exitall" run that outlasts the bound: CloseAll reports failure then.
    fs::remove(Native("watcher/stop"));
    kestrow_test::ConfigureHelper(Native("watcher"), "run.sleep=20000\nexitall.exit=0\nexitall.sleep=8000\n");
    StartResident(m_other, "watcher/" + m_exeName);
    ASSERT_TRUE(kestrow_test::WaitUntil([&] { return watcher.IsRunning(); }, 5s));
    watcher.m_dwExitAllLimit = 300;
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(watcher.CloseAll());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 4000ms);
}

TEST_F(VolumeWatcherTest, RestartStartsTheWatcherOnlyWhenNoneRuns)
{
    Install("run.sleep=20000\n");
    VolumeWatcherControl watcher(XpKey());
    // The started watcher keeps running: its code right after the start is 259.
    EXPECT_FALSE(watcher.Restart());
    EXPECT_TRUE(kestrow_test::WaitUntil([&] { return watcher.IsRunning(); }, 5s));
    EXPECT_TRUE(kestrow_test::WaitUntil([&] { return Exists("watcher/run.record"); }, 5s));
    fs::remove(Native("watcher/run.record"));
    EXPECT_TRUE(watcher.Restart());
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(kestrow_test::HelperRecord(Native("watcher"), "run").empty());  // no second one
    WriteBytes("watcher/stop", "");
    EXPECT_TRUE(kestrow_test::WaitUntil([&] { return !watcher.IsRunning(); }, 5s));
}

TEST_F(VolumeWatcherTest, LaunchAnswersTheExitCodeOr31)
{
    Install("exitall.exit=0x20000001\n");
#if defined(_WIN32)
    EXPECT_EQ(LaunchAsDesktopUser(Path("watcher/" + m_exeName), XP_T(" /exitall"), true), 0x20000001u);
#else
    EXPECT_EQ(LaunchAsDesktopUser(Path("watcher/" + m_exeName), XP_T(" /exitall"), true), 1u);
#endif
    EXPECT_EQ(LaunchAsDesktopUser(Path("watcher/missing"), nullptr, true), kLaunchFailed);
}

}  // namespace
