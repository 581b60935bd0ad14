// The pre-check stage: its refusals in their order, the abort flag between the checks,
// and, with a real stand-in watcher registered in a real registry, the watcher closed
// before the stage passes.

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "app/PreCheckStage.h"
#include "app/VolumeWatcherControl.h"
#include "platform/PlatformProcess.h"
#include "process/ProcessHelperSupport.h"
#include "registry/RegistryTestSupport.h"
#include "ui/DialogMessages.h"

using namespace std::chrono_literals;

namespace {

struct Posted {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool operator==(const Posted& other) const
    {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

// The checks' answers, and which of them were asked.
struct Machine {
    bool supported = true;
    bool administrator = true;
    const XpChar* installed = XP_T("5.6.00.03150");
    bool workDirectory = true;
    int abortAtCheckpoint = 0;  // the checkpoint (1 to 4) at which the user has cancelled
    int checkpoints = 0;
    int asked = 0;
    bool downloadComplete = false;
    std::vector<Posted> posted;

    PreCheckContext Context(VolumeWatcherControl* watcher = nullptr)
    {
        PreCheckContext context;
        context.isSupportedSystem = [this] { return ++asked, supported; };
        context.isAdministrator = [this] { return ++asked, administrator; };
        context.installedVersion = XpString(installed);
        context.ensureWorkDirectory = [this] { return ++asked, workDirectory; };
        context.watcher = watcher;
        context.downloadComplete = &downloadComplete;
        context.aborted = [this] { return ++checkpoints == abortAtCheckpoint; };
        context.post = [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
            posted.push_back({message, wParam, lParam});
        };
        return context;
    }
};

TEST(PreCheck, RefusalsComeInTheirOrder)
{
    struct Case {
        bool supported, administrator;
        const XpChar* installed;
        bool workDirectory;
        uint32_t code;
    };
    // Each machine fails every check from one on: the first failing check decides.
    const Case cases[] = {
        {false, false, XP_T(""), false, RC_NOT_TARGET_OS},
        {true, false, XP_T(""), false, RC_NOT_ADMINISTRATOR},
        {true, true, XP_T(""), false, RC_HOST_NOT_FOUND},
        {true, true, XP_T("5.6"), false, RC_UNKNOWN_ERROR},
    };
    for (const Case& c : cases) {
        Machine machine;
        machine.supported = c.supported;
        machine.administrator = c.administrator;
        machine.installed = c.installed;
        machine.workDirectory = c.workDirectory;
        EXPECT_EQ(RunPreCheck(machine.Context()), -1);
        EXPECT_EQ(machine.posted, (std::vector<Posted>{{WM_STAGE_FAILED, c.code, 0}}));
        EXPECT_FALSE(machine.downloadComplete);
    }

    Machine machine;
    EXPECT_EQ(RunPreCheck(machine.Context()), 0);
    EXPECT_EQ(machine.posted, (std::vector<Posted>{{WM_PRECHECK_DONE, 0, 0}}));
    EXPECT_TRUE(machine.downloadComplete);
}

TEST(PreCheck, ACancelBetweenTheChecksEndsTheStageSilently)
{
    for (int checkpoint = 1; checkpoint <= 4; ++checkpoint) {
        Machine machine;
        machine.abortAtCheckpoint = checkpoint;
        EXPECT_EQ(RunPreCheck(machine.Context()), 0);
        EXPECT_TRUE(machine.posted.empty()) << checkpoint;
        EXPECT_FALSE(machine.downloadComplete);
        // The checks before the checkpoint ran, none after it (the installed version is a
        // value, not a call).
        const int askedBefore[] = {0, 1, 2, 2, 3};
        EXPECT_EQ(machine.asked, askedBefore[checkpoint]);
    }
}

class PreCheckWatcher : public kestrow_test::RegistryTest {};

TEST_F(PreCheckWatcher, ARunningWatcherIsClosedBeforeTheStagePasses)
{
#if !defined(_WIN32)
    for (const char* name : {"SUDO_UID", "PKEXEC_UID", "DISPLAY"}) m_environment.Set(name, std::nullopt);
    const std::string exe = "VolumeWatcher-" + kestrow_test::RandomTag();
    const char* answer = "0";  // 3010 does not fit a Linux exit status
#else
    const std::string exe = "VolumeWatcher-" + kestrow_test::RandomTag() + ".exe";
    const char* answer = "3010";
#endif
    kestrow_test::PlaceHelper(Native("watcher/" + exe));
    kestrow_test::ConfigureHelper(Native("watcher"), std::string("run.sleep=20000\nexitall.exit=") + answer + "\n");
    SetString(XpRegRoot::LocalMachine, Key("VolumeWatcher"), XP_T("CurrentVersion"), XP_T("1"));
    SetString(XpRegRoot::LocalMachine, Key("VolumeWatcher\\1"), XP_T("InstalledLocation"), Path("watcher").GetString());
    SetString(XpRegRoot::LocalMachine, Key("VolumeWatcher\\1"), XP_T("ExeName"),
              XpNarrowString(exe.c_str()).ToWide().GetString());
    XpPlatformProcess resident;
    ASSERT_EQ(resident.Start(Path("watcher/" + exe).GetString(), nullptr, 0), 0u);
    VolumeWatcherControl watcher(XpKey());
    ASSERT_TRUE(kestrow_test::WaitUntil([&] { return watcher.IsRunning(); }, 5s));
    watcher.m_dwSettleTime = 500;

    Machine machine;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunPreCheck(machine.Context(&watcher)), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(machine.posted, (std::vector<Posted>{{WM_PRECHECK_DONE, 0, 0}}));
    EXPECT_FALSE(kestrow_test::HelperRecord(Native("watcher"), "exitall").empty());
    EXPECT_FALSE(watcher.IsRunning());
    resident.Wait(10000);
}

}  // namespace
