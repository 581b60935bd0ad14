// The work directory held from the pre-check to the clean-up: another process cannot move
// it away (and put its own folder in its place) while it is held on Windows.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSync.h"
#include "platform/shared/XpCommandLine.h"
#include "process/ProcessHelperSupport.h"
#include "update/WorkDirectory.h"

namespace {

class HeldWorkDirectoryTest : public kestrow_test::TempFolderTest {
protected:
    // Another process renames the folder; whether that went through.
    bool MovedByAnotherProcess(const std::string& from, const std::string& to)
    {
        const XpPlatformString command =
            XpQuoteCommandLineArgument(kestrow_test::ToPlatform(kestrow_test::HelperProgram())) + XP_T(" --replace ") +
            XpQuoteCommandLineArgument(kestrow_test::ToPlatform(Native(from))) + XP_T(" ") +
            XpQuoteCommandLineArgument(kestrow_test::ToPlatform(Native(to)));
        XpPlatformProcess attacker;
        EXPECT_EQ(attacker.Start(nullptr, command.c_str(), 0), 0u);
        EXPECT_EQ(attacker.Wait(10000), XpWaitResult::Object0);
        uint32_t status = 1;
        attacker.GetExitCode(&status);
        return status == 0;
    }
};

TEST_F(HeldWorkDirectoryTest, TheHeldFolderStaysInItsPlaceUntilReleased)
{
    HeldWorkDirectory held;
    ASSERT_TRUE(held.Take(Path("Vimbly_Kestrow")));
    EXPECT_TRUE(held.IsHeld());
    EXPECT_TRUE(IsWorkDirectoryInPlace(Path("Vimbly_Kestrow")));
    // Work inside it goes on while it is held: files come and go, the package is made.
    WriteBytes("Vimbly_Kestrow/VimblyUpdate.exe", "package");
    std::filesystem::remove(Native("Vimbly_Kestrow/VimblyUpdate.exe"));

#if defined(_WIN32)
    // The user who owns the temporary folder may rename its entries whatever their own
    // access lists say; the hold denies the delete access that the rename needs.
    EXPECT_FALSE(MovedByAnotherProcess("Vimbly_Kestrow", "moved"));
    EXPECT_TRUE(IsWorkDirectoryInPlace(Path("Vimbly_Kestrow")));
    EXPECT_FALSE(Exists("moved"));
    held.Release();
    EXPECT_FALSE(held.IsHeld());
    // Let go, the same move goes through: the refusal above was the hold's.
    EXPECT_TRUE(MovedByAnotherProcess("Vimbly_Kestrow", "moved"));
#else
    // A descriptor cannot stop a rename on Linux (the sticky temporary folder keeps others
    // from it); the held descriptor still names the folder that was checked.
    EXPECT_TRUE(MovedByAnotherProcess("Vimbly_Kestrow", "moved"));
    held.Release();
    EXPECT_FALSE(held.IsHeld());
#endif
    EXPECT_TRUE(IsWorkDirectoryInPlace(Path("moved")));
}

// A process that keeps moving the folder away while the updater makes it, holds it, lets
// it go and removes it, over and over: it never moves a held folder, and it does move the
// folder while it is not held, so the race really ran.
TEST_F(HeldWorkDirectoryTest, ARacingMoverNeverMovesTheHeldFolder)
{
#if !defined(_WIN32)
    GTEST_SKIP() << "on Linux a descriptor cannot stop a rename (the sticky temporary folder keeps others from it)";
#else
    using namespace std::chrono_literals;
    const XpPlatformString command =
        XpQuoteCommandLineArgument(kestrow_test::ToPlatform(kestrow_test::HelperProgram())) + XP_T(" --keep-moving ") +
        XpQuoteCommandLineArgument(kestrow_test::ToPlatform(Native("Vimbly_Kestrow"))) + XP_T(" ") +
        XpQuoteCommandLineArgument(kestrow_test::ToPlatform(Native("moved"))) + XP_T(" 1500");
    XpPlatformProcess mover;
    ASSERT_EQ(mover.Start(nullptr, command.c_str(), 0), 0u);
    int holds = 0;
    int lost = 0;
    const auto end = std::chrono::steady_clock::now() + 1200ms;
    while (std::chrono::steady_clock::now() < end) {
        HeldWorkDirectory held;
        if (held.Take(Path("Vimbly_Kestrow"))) {
            ++holds;
            WriteBytes("Vimbly_Kestrow/marker", "x");
            for (int i = 0; i < 20; ++i) {
                if (!Exists("Vimbly_Kestrow/marker")) ++lost;
                std::this_thread::sleep_for(100us);
            }
            held.Release();
            // Let go and still there for a moment: now the mover may take it.
            std::this_thread::sleep_for(3ms);
        }
        std::error_code ignored;
        std::filesystem::remove_all(Native("Vimbly_Kestrow"), ignored);
        std::filesystem::remove_all(Native("moved"), ignored);
    }
    ASSERT_EQ(mover.Wait(10000), XpWaitResult::Object0);
    uint32_t moves = 0;
    mover.GetExitCode(&moves);
    EXPECT_GT(holds, 10);
    EXPECT_EQ(lost, 0) << "a held folder was moved away";
    EXPECT_GT(moves, 0u) << "the mover never moved the folder while it was not held: no race ran";
    std::cout << "[ race ] " << holds << " holds, " << moves << " moves of the folder while not held\n";
#endif
}

TEST_F(HeldWorkDirectoryTest, ARefusedFolderIsNotHeld)
{
    HeldWorkDirectory held;
    WriteBytes("file", "x");
    EXPECT_FALSE(held.Take(Path("file")));
    EXPECT_FALSE(held.IsHeld());
    EXPECT_FALSE(held.Take(Path("missing/Vimbly_Kestrow")));
    EXPECT_FALSE(held.Take(XpString()));
    EXPECT_FALSE(held.IsHeld());
    // A second take lets the first folder go and holds the new one.
    ASSERT_TRUE(held.Take(Path("first")));
    ASSERT_TRUE(held.Take(Path("second")));
#if defined(_WIN32)
    EXPECT_TRUE(MovedByAnotherProcess("first", "first-moved"));
    EXPECT_FALSE(MovedByAnotherProcess("second", "second-moved"));
#endif
    held.Release();
}

}  // namespace
