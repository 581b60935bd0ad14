// The process service with real processes: the stand-in program started from a command
// line, waited for, its exit code, its window, the list of running programs, the start as
// the desktop user.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSync.h"
#include "platform/shared/XpCommandLine.h"
#include "process/ProcessHelperSupport.h"

#if !defined(_WIN32)
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using kestrow_test::kExe;

class PlatformProcessTest : public kestrow_test::TempFolderTest {
protected:
    // The helper at relative, with its configuration beside it.
    XpPlatformString Place(const std::string& relative, const std::string& config)
    {
        kestrow_test::PlaceHelper(Native(relative));
        kestrow_test::ConfigureHelper(Native(relative).parent_path(), config);
        return kestrow_test::ToPlatform(Native(relative).make_preferred());
    }
    static XpPlatformString Quoted(const XpPlatformString& path) { return XP_T("\"") + path + XP_T("\""); }
};

bool IsListed(const std::string& name)
{
    std::vector<XpPlatformString> names;
    EXPECT_EQ(XpPlatformListProcessFileNames(&names), 0u);
    const XpPlatformString wanted(name.begin(), name.end());
    return std::find(names.begin(), names.end(), wanted) != names.end();
}

TEST_F(PlatformProcessTest, StartsWaitsAndReadsTheExitCode)
{
    const XpPlatformString program = Place("bin dir/helper" + std::string(kExe), "run.exit=5\nrun.sleep=400\n");
    XpPlatformProcess process;
    const XpPlatformString command = Quoted(program) + XP_T(" first \"second word\" a\\\\\\\"b \"c\\\\\"");
    ASSERT_EQ(process.Start(nullptr, command.c_str(), 0), 0u);
    EXPECT_TRUE(process.IsStarted());
    uint32_t code = 0;
    EXPECT_TRUE(process.GetExitCode(&code));
    EXPECT_EQ(code, kXpStillActive);
    EXPECT_EQ(process.Wait(0), XpWaitResult::Timeout);
    EXPECT_EQ(process.Wait(100), XpWaitResult::Timeout);
    EXPECT_EQ(process.Wait(XpInfiniteWait), XpWaitResult::Object0);
    EXPECT_EQ(process.Wait(0), XpWaitResult::Object0);  // ended stays ended
    EXPECT_TRUE(process.GetExitCode(&code));
    EXPECT_EQ(code, 5u);

    // The program saw the words as a Windows program would, its name as written.
    auto record = kestrow_test::HelperRecord(Native("bin dir"), "run");
    EXPECT_EQ(record["argc"], "5");
    EXPECT_EQ(fs::path(record["arg0"]), Native("bin dir/helper" + std::string(kExe)).make_preferred());
    EXPECT_EQ(record["arg1"], "first");
    EXPECT_EQ(record["arg2"], "second word");
    EXPECT_EQ(record["arg3"], "a\\\"b");
    EXPECT_EQ(record["arg4"], "c\\");

    // An application name runs that program whatever the command line's first word says.
    const XpPlatformString other = XP_T("nonexistent-name /exitall");
    ASSERT_EQ(process.Start(program.c_str(), other.c_str(), 0), 0u);
    EXPECT_EQ(process.Wait(10000), XpWaitResult::Object0);
    record = kestrow_test::HelperRecord(Native("bin dir"), "exitall");
    EXPECT_EQ(record["arg0"], "nonexistent-name");
    EXPECT_EQ(record["arg1"], "/exitall");
}

TEST_F(PlatformProcessTest, WhatCannotStartIsAnErrorAndNoProcess)
{
    XpPlatformProcess process;
    const XpPlatformString missing = Quoted(kestrow_test::ToPlatform(Native("missing/nothing.exe")));
    const uint32_t error = process.Start(nullptr, missing.c_str(), 0);
    EXPECT_TRUE(error == XpWinError::FileNotFound || error == XpWinError::PathNotFound) << error;
    EXPECT_FALSE(process.IsStarted());
    EXPECT_EQ(process.Wait(0), XpWaitResult::Failed);
    EXPECT_EQ(process.WaitForInputIdle(0), XpWaitResult::Failed);
    uint32_t code = 0;
    EXPECT_FALSE(process.GetExitCode(&code));

    // A file that is no program.
    WriteBytes("data.exe", "just some bytes, no program");
#if !defined(_WIN32)
    fs::permissions(Native("data.exe"), fs::perms::owner_exec, fs::perm_options::add);
#endif
    const XpPlatformString data = Quoted(Path("data.exe").GetString());
    EXPECT_NE(process.Start(nullptr, data.c_str(), 0), 0u);
    EXPECT_FALSE(process.IsStarted());
}

TEST_F(PlatformProcessTest, TheListNamesRunningProgramsByTheirExactFileName)
{
    const std::string name = "Kestrow-Listed-" + kestrow_test::RandomTag() + kExe;
    const XpPlatformString program = Place("list/" + name, "run.sleep=20000\n");
    XpPlatformProcess process;
    ASSERT_EQ(process.Start(program.c_str(), nullptr, 0), 0u);
    EXPECT_TRUE(kestrow_test::WaitUntil([&] { return IsListed(name); }, 5s));
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return std::tolower(c); });
    EXPECT_FALSE(IsListed(lower));
    WriteBytes("list/stop", "");
    EXPECT_EQ(process.Wait(10000), XpWaitResult::Object0);
    EXPECT_FALSE(IsListed(name));
}

TEST_F(PlatformProcessTest, AWindowlessProgramHasNoVisibleWindow)
{
    const XpPlatformString program = Place("quiet/helper" + std::string(kExe), "run.sleep=3000\n");
    XpPlatformProcess process;
    ASSERT_EQ(process.Start(program.c_str(), nullptr, 0), 0u);
    EXPECT_FALSE(XpPlatformIsFirstWindowVisible(process.Id()));
    WriteBytes("quiet/stop", "");
    process.Wait(10000);
}

TEST_F(PlatformProcessTest, AProgramsWindowIsFoundOnTheDisplay)
{
    if (!kestrow_test::HelperCanShowWindow())
        GTEST_SKIP() << "no display to show a window on (on Linux the process_x11 entry runs this)";
    const XpPlatformString program = Place("shown/helper" + std::string(kExe), "run.window=1\nrun.sleep=20000\n");
    XpPlatformProcess process;
    ASSERT_EQ(process.Start(program.c_str(), nullptr, 0), 0u);
    const bool shown = kestrow_test::WaitUntil([&] { return XpPlatformIsFirstWindowVisible(process.Id()); }, 10s);
    const bool refused = Exists("shown/run.nowindow");
    WriteBytes("shown/stop", "");
    process.Wait(10000);
    if (refused) GTEST_SKIP() << "the system made no window for the helper";
    EXPECT_TRUE(shown);
    EXPECT_FALSE(XpPlatformIsFirstWindowVisible(process.Id()));
}

TEST_F(PlatformProcessTest, AsTheDesktopUserItStartsOrFallsBackToOwnIdentity)
{
    const XpPlatformString program = Place("watcher/helper" + std::string(kExe), "exitall.exit=7\n");
#if !defined(_WIN32)
    // No session user but this process's own.
    kestrow_test::ScopedEnvironment own;
    for (const char* name : {"SUDO_UID", "PKEXEC_UID", "DISPLAY"}) own.Set(name, std::nullopt);
#endif
    XpPlatformProcess process;
    ASSERT_EQ(process.StartAsDesktopUser(program.c_str(), XP_T(" /exitall")), 0u);
    EXPECT_EQ(process.Wait(10000), XpWaitResult::Object0);
    uint32_t code = 0;
    EXPECT_TRUE(process.GetExitCode(&code));
    EXPECT_EQ(code, 7u);
    auto record = kestrow_test::HelperRecord(Native("watcher"), "exitall");
#if defined(_WIN32)
    EXPECT_EQ(record["cmdline"], " /exitall");
#else
    // The empty program name of " /exitall" becomes the program's path.
    EXPECT_EQ(record["arg0"], Native("watcher/helper").string());
    EXPECT_EQ(record["arg1"], "/exitall");
    EXPECT_EQ(record["uid"], std::to_string(getuid()));
    // A session user without an account: the updater's own identity.
    kestrow_test::ScopedEnvironment sudo("SUDO_UID", "3999999999");
    fs::remove(Native("watcher/exitall.record"));
    ASSERT_EQ(process.StartAsDesktopUser(program.c_str(), XP_T(" /exitall")), 0u);
    EXPECT_EQ(process.Wait(10000), XpWaitResult::Object0);
    record = kestrow_test::HelperRecord(Native("watcher"), "exitall");
    EXPECT_EQ(record["uid"], std::to_string(getuid()));
#endif
    EXPECT_NE(process.StartAsDesktopUser(Path("missing.exe").GetString(), nullptr), 0u);
    EXPECT_FALSE(process.IsStarted());
}

#if !defined(_WIN32)
// Whether a child of this process may take the user's identity (a container may forbid it).
bool MaySwitchTo(uid_t uid, gid_t gid)
{
    const pid_t child = fork();
    if (child == 0) _exit(setgroups(1, &gid) == 0 && setgid(gid) == 0 && setuid(uid) == 0 ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(PlatformProcessTest, AsRootTheChildBecomesTheSessionUser)
{
    if (geteuid() != 0) GTEST_SKIP() << "only an administrator (root) can start a program as another user";
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "the machine has no 'nobody' account to switch to";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const std::string home = nobody->pw_dir;
    if (!MaySwitchTo(uid, gid)) GTEST_SKIP() << "this machine does not let a process change its user";
    // The user must be able to run the program and write its record there.
    const XpPlatformString program = Place("session/helper", "exitall.exit=0\n");
    fs::permissions(Native("session"), fs::perms::all);
    fs::permissions(m_root, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);

    kestrow_test::ScopedEnvironment session("SUDO_UID", std::to_string(uid));
    XpPlatformProcess process;
    ASSERT_EQ(process.StartAsDesktopUser(program.c_str(), XP_T(" /exitall")), 0u);
    EXPECT_EQ(process.Wait(10000), XpWaitResult::Object0);
    auto record = kestrow_test::HelperRecord(Native("session"), "exitall");
    if (record.empty()) GTEST_SKIP() << "the switched program could not write its record here";
    EXPECT_EQ(record["uid"], std::to_string(uid));
    EXPECT_EQ(record["euid"], std::to_string(uid));
    EXPECT_EQ(record["gid"], std::to_string(gid));
    EXPECT_EQ(record["home"], home);
    // No group of root's is left.
    EXPECT_EQ(record["groups"].find("0,"), std::string::npos);
    EXPECT_NE(record["groups"], "0");
}
#endif

TEST(PlatformAdministrator, IsTheEffectiveSuperUserOnLinux)
{
#if defined(_WIN32)
    // Wine runs every program as an administrator.
    EXPECT_TRUE(XpPlatformIsUserAnAdmin());
#else
    EXPECT_EQ(XpPlatformIsUserAnAdmin(), geteuid() == 0);
#endif
}

}  // namespace
