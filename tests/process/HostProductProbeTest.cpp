// The host-product probe: the product's and the sibling viewer's mutexes, held by another
// process, seen without ever being created or owned by the probe.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TestSupport.h"
#include "app/HostProductProbe.h"
#include "app/NamedMutex.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSync.h"
#include "platform/shared/XpCommandLine.h"
#include "process/ProcessHelperSupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class HostProductProbeTest : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
#if !defined(_WIN32)
        // A lock-file folder of the test's own: the names are the product's real ones.
        m_env.Set("KESTROW_MUTEX_DIR", Native("locks").string());
        MakeDir("locks");
#endif
    }

    // Another process that holds the named mutex until the test ends it.
    void HoldInAnotherProcess(const char* name)
    {
        const XpPlatformString command =
            XpQuoteCommandLineArgument(kestrow_test::ToPlatform(kestrow_test::HelperProgram())) +
            XP_T(" --hold-mutex ") +
            XpQuoteCommandLineArgument(XpPlatformString(name, name + std::char_traits<char>::length(name))) +
            XP_T(" ") + XpQuoteCommandLineArgument(kestrow_test::ToPlatform(Native("holder/ready"))) + XP_T(" 20000");
        MakeDir("holder");
        fs::remove(Native("holder/ready"));
        fs::remove(Native("holder/stop"));
        ASSERT_EQ(m_holder.Start(nullptr, command.c_str(), 0), 0u);
        ASSERT_TRUE(kestrow_test::WaitUntil([&] { return Exists("holder/ready"); }, 10s));
    }
    void EndHolder()
    {
        WriteBytes("holder/stop", "");
        EXPECT_EQ(m_holder.Wait(10000), XpWaitResult::Object0);
    }

#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment m_env;
#endif
    XpPlatformProcess m_holder;
};

TEST_F(HostProductProbeTest, EitherMutexHeldElsewhereMeansTheProductRuns)
{
    EXPECT_FALSE(ProbeHostProductRunning());

    // Only the sibling viewer's: the notice shows all the same.
    HoldInAnotherProcess("Global\\NorvaleBriscaViewerMutex");
    EXPECT_TRUE(ProbeHostProductRunning());
    EXPECT_TRUE(NamedMutex::Exists(kSiblingViewerMutexName));
    EXPECT_FALSE(NamedMutex::Exists(kHostInstallerMutexName));
    EndHolder();
    EXPECT_FALSE(ProbeHostProductRunning());

    HoldInAnotherProcess("Global\\NorvaleVimblyInstallerMutex");
    EXPECT_TRUE(ProbeHostProductRunning());
    EndHolder();
    EXPECT_FALSE(ProbeHostProductRunning());
}

TEST_F(HostProductProbeTest, TheProbeNeverTakesTheMutexFromAProgramThatStarts)
{
    // A program that creates its mutex while the probe looks at that name must find it
    // new: a probe that created and owned the mutex for an instant would now and then be
    // there first. Each round is a name that nobody has made yet.
    const std::string base = "Global\\kestrow-probe-" + kestrow_test::RandomTag() + "-";
    const auto name = [&base](int round) {
        const std::string text = base + std::to_string(round);
        return XpPlatformString(text.begin(), text.end());
    };
    std::atomic<int> round{0};
    std::atomic<int> probes{0};
    std::atomic<bool> done{false};
    std::thread prober([&] {
        while (!done.load()) {
            NamedMutex::Exists(name(round.load()).c_str());
            probes.fetch_add(1);
        }
    });
    int taken = 0;
    int rounds = 0;
    const auto end = std::chrono::steady_clock::now() + 600ms;
    for (; rounds < 400 && std::chrono::steady_clock::now() < end; ++rounds) {
        round.store(rounds);
        // Let the probe look at the new name first.
        const int seen = probes.load();
        while (probes.load() < seen + 2) std::this_thread::yield();
        NamedMutex program(name(rounds).c_str());
        if (!program.HoldsAsCreator()) ++taken;
        // Held by the program: the probe sees it.
        EXPECT_TRUE(NamedMutex::Exists(name(rounds).c_str()));
    }
    done.store(true);
    prober.join();
    EXPECT_GT(rounds, 10);
    EXPECT_EQ(taken, 0);
#if !defined(_WIN32)
    // Looking at a name that nobody made leaves nothing behind.
    EXPECT_FALSE(NamedMutex::Exists(XP_T("Global\\kestrow-never-made")));
    EXPECT_FALSE(Exists("locks/global.kestrow-never-made"));
#endif
}

}  // namespace
