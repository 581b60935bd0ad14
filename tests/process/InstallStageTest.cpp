// The install stage with a real stand-in installer: the exact command line, BEGUN and DONE
// with the exit code, the window wait, a package that cannot start, and the verified
// package run even when its file is replaced after the check.

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <vector>

#include "TestSupport.h"
#include "platform/PlatformCodeSignature.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSync.h"
#include "platform/shared/XpCommandLine.h"
#include "process/ProcessHelperSupport.h"
#include "update/InstallStage.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using kestrow_test::kExe;

struct Posted {
    InstallStageMessage message;
    uint64_t wParam;
    int64_t lParam;
    Clock::duration at;
    bool Is(InstallStageMessage m, uint64_t w, int64_t l) const { return message == m && wParam == w && lParam == l; }
};

class InstallStageTest : public kestrow_test::TempFolderTest {
protected:
    // The stage with the window wait cut to rounds of 10 ms.
    int Run(const XpString& package, XpPlatformHeldFile* held = nullptr, uint32_t rounds = 3)
    {
        InstallStageContext context;
        context.packagePath = package;
        context.held = held;
        context.windowRounds = rounds;
        context.windowRoundMs = 10;
        context.inputIdleMs = 200;
        context.exitSliceMs = 100;
        const Clock::time_point start = Clock::now();
        m_posted.clear();
        context.post = [this, start](InstallStageMessage message, uint64_t wParam, int64_t lParam) {
            m_posted.push_back({message, wParam, lParam, Clock::now() - start});
        };
        return RunInstallStage(context);
    }
    XpString Package(const std::string& relative, const std::string& config, const std::string& marker = "")
    {
        kestrow_test::PlaceHelper(Native(relative), marker);
        kestrow_test::ConfigureHelper(Native(relative).parent_path(), config);
        return Path(relative);
    }

    std::vector<Posted> m_posted;
};

TEST_F(InstallStageTest, TheInstallersExitCodeEndsTheStageAfterBegun)
{
    const std::string package = "pkg dir/Setup Package" + std::string(kExe);
#if defined(_WIN32)
    // 259 is STILL_ACTIVE's value: an installer that ends with it is reported, not waited
    // for for ever.
    const uint32_t codes[] = {5, 0, 3010, 259};
#else
    const uint32_t codes[] = {5, 0};  // Linux exit statuses have 8 bits
#endif
    for (const uint32_t code : codes) {
        const XpString path = Package(package, "run.exit=" + std::to_string(code) + "\nrun.sleep=150\n");
        EXPECT_EQ(Run(path), 0);
        ASSERT_EQ(m_posted.size(), 2u) << code;
        EXPECT_TRUE(m_posted[0].Is(InstallStageMessage::Begun, 0, 0));
        EXPECT_TRUE(m_posted[1].Is(InstallStageMessage::Done, 0, code)) << code;
    }

    // The package path, blanks and all, and the one switch reach the installer whole.
    auto record = kestrow_test::HelperRecord(Native("pkg dir"), "run");
    EXPECT_EQ(record["argc"], "2");
    EXPECT_EQ(fs::path(record["arg0"]), Native(package).make_preferred());
    EXPECT_EQ(record["arg1"], "/C:setup.exe /oi /noallui /skipdxeula");
#if defined(_WIN32)
    EXPECT_EQ(record["cmdline"],
              "\"" + Native(package).make_preferred().string() + "\" /C:\"setup.exe /oi /noallui /skipdxeula\"");
#endif
}

TEST_F(InstallStageTest, WithoutAWindowBegunComesAfterTheWindowWaitAndTheEndIsStillAwaited)
{
    const XpString path = Package("quiet/setup" + std::string(kExe), "run.exit=4\nrun.sleep=1500\n");
    // 6 rounds of 10 ms plus the input-idle wait: BEGUN well before the installer ends,
    // DONE only once it has. On Linux without a display the input-idle wait fails and the
    // window wait is skipped: BEGUN comes at once.
    EXPECT_EQ(Run(path, nullptr, 6), 0);
    ASSERT_EQ(m_posted.size(), 2u);
    EXPECT_TRUE(m_posted[0].Is(InstallStageMessage::Begun, 0, 0));
#if !defined(_WIN32)
    if (!kestrow_test::HelperCanShowWindow())
        EXPECT_LT(m_posted[0].at, 60ms);
    else
#endif
        EXPECT_GE(m_posted[0].at, 60ms);
    EXPECT_LT(m_posted[0].at, 1200ms);
    EXPECT_TRUE(m_posted[1].Is(InstallStageMessage::Done, 0, 4));
    EXPECT_GE(m_posted[1].at, 1400ms);
}

TEST_F(InstallStageTest, AnInstallerWindowOnTheDisplayEndsTheWindowWait)
{
    if (!kestrow_test::HelperCanShowWindow())
        GTEST_SKIP() << "no display to show a window on (on Linux the process_x11 entry runs this)";
    const XpString path = Package("shown/setup" + std::string(kExe), "run.window=1\nrun.sleep=3000\n");
    // A window wait of up to 6 s that the window cuts short.
    EXPECT_EQ(Run(path, nullptr, 600), 0);
    if (Exists("shown/run.nowindow")) GTEST_SKIP() << "the system made no window for the installer";
    ASSERT_EQ(m_posted.size(), 2u);
    EXPECT_TRUE(m_posted[0].Is(InstallStageMessage::Begun, 0, 0));
    EXPECT_LT(m_posted[0].at, 2500ms);
    EXPECT_TRUE(m_posted[1].Is(InstallStageMessage::Done, 0, 0));
    EXPECT_GE(m_posted[1].at, 2500ms);
}

#if defined(_WIN32)
TEST_F(InstallStageTest, AnInstallerWithoutAMessageQueueIsStillWaitedFor)
{
    // A console program fails the input-idle wait: only the window wait is skipped, and
    // the stage still waits for its end and reports its exit code.
    const char* root = std::getenv("SystemRoot");
    ASSERT_NE(root, nullptr);
    MakeDir("console");
    fs::copy_file(fs::path(root) / "system32" / "cmd.exe", Native("console/cmd.exe"));
    EXPECT_EQ(Run(Path("console/cmd.exe"), nullptr, 1000), 0);
    ASSERT_EQ(m_posted.size(), 2u);
    EXPECT_TRUE(m_posted[0].Is(InstallStageMessage::Begun, 0, 0));
    EXPECT_LT(m_posted[0].at, 5s);  // not after the 10 s window wait
    EXPECT_EQ(m_posted[1].message, InstallStageMessage::Done);
    EXPECT_EQ(m_posted[1].wParam, 0u);
}
#endif

TEST_F(InstallStageTest, APackageThatCannotStartIsDoneFailedWithoutBegun)
{
    EXPECT_EQ(Run(Path("missing/setup.exe")), -1);
    ASSERT_EQ(m_posted.size(), 1u);
    EXPECT_TRUE(m_posted[0].Is(InstallStageMessage::Done, kInstallFailed, 0));
}

TEST_F(InstallStageTest, TheVerifiedBytesRunEvenWhenTheFileIsReplacedAfterTheCheck)
{
    const std::string package = "pkg/setup" + std::string(kExe);
    const XpString path = Package(package, "run.exit=0\n", "VERIFIED");
    kestrow_test::PlaceHelper(Native("drop/setup" + std::string(kExe)), "REPLACED");
    XpPlatformHeldFile held;
    ASSERT_EQ(held.Open(path.GetString()), 0u);

    // Another process tries to put its own file in the package's place.
    const XpPlatformString attack =
        XpQuoteCommandLineArgument(kestrow_test::ToPlatform(kestrow_test::HelperProgram())) + XP_T(" --replace ") +
        XpQuoteCommandLineArgument(kestrow_test::ToPlatform(Native("drop/setup" + std::string(kExe)))) + XP_T(" ") +
        XpQuoteCommandLineArgument(path.GetString());
    XpPlatformProcess attacker;
    ASSERT_EQ(attacker.Start(nullptr, attack.c_str(), 0), 0u);
    ASSERT_EQ(attacker.Wait(10000), XpWaitResult::Object0);
    uint32_t replaced = 0;
    attacker.GetExitCode(&replaced);
#if defined(_WIN32)
    // The held package shares reading only: the rename is refused.
    EXPECT_EQ(replaced, 1u);
#else
    // The rename goes through, but the held descriptor still names the checked file.
    EXPECT_EQ(replaced, 0u);
    EXPECT_NE(kestrow_test::ReadWholeFile(Native(package)).find("MARK:REPLACED"), std::string::npos);
#endif

    EXPECT_EQ(Run(path, &held), 0);
    EXPECT_FALSE(held.IsOpen());  // let go once the installer runs
    ASSERT_EQ(m_posted.size(), 2u);
    EXPECT_TRUE(m_posted[1].Is(InstallStageMessage::Done, 0, 0));
    auto record = kestrow_test::HelperRecord(Native("pkg"), "run");
    EXPECT_EQ(record["marker"], "VERIFIED");
    // The installer's own name for itself is still the package path.
    EXPECT_EQ(fs::path(record["arg0"]), Native(package).make_preferred());
}

}  // namespace
