// The updater as a process: a copy of the program in a folder of the test's own, started
// with each kind of command line and string file; it always ends with exit status 0. Two
// real processes check the single-instance rule.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;

const char kFixedMessage[] =
    "Vimbly Updater: Cannot start this application because the necessary files do not exist or the files are "
    "corrupted.";

#if defined(_WIN32)
FILE* OpenPipe(const std::string& command, const char* mode)
{
    // cmd /c drops the first and the last quote of a line that starts with one: one more
    // pair keeps the program's and the arguments' own.
    return _popen(("\"" + command + "\"").c_str(), mode);
}
int ClosePipe(FILE* pipe)
{
    return _pclose(pipe);
}
void SetVariable(const char* name, const char* value)
{
    _putenv_s(name, value);
}
const char kNoInput[] = " < NUL";
#else
FILE* OpenPipe(const std::string& command, const char* mode)
{
    return popen(command.c_str(), mode);
}
int ClosePipe(FILE* pipe)
{
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
void SetVariable(const char* name, const char* value)
{
    setenv(name, value, 1);
}
const char kNoInput[] = " < /dev/null";
#endif

class ProgramProcessTest : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        MakeDir("bin");
        MakeDir("tmp");
        std::filesystem::copy_file(KESTROW_PROGRAM, Native("bin") / std::filesystem::path(KESTROW_PROGRAM).filename());
        m_program = (Native("bin") / std::filesystem::path(KESTROW_PROGRAM).filename()).make_preferred().string();
#if !defined(_WIN32)
        m_env.Set("KESTROW_MUTEX_DIR", Native("tmp").string());
        m_env.Set("TMPDIR", Native("tmp").string());
        // The dialog on the terminal: these runs answer through their input.
        m_env.Set("DISPLAY", std::nullopt);
#endif
        SetVariable("KESTROW_TERMINAL_INPUT", "0");
    }

    // The program's output and exit status, run with the arguments and no input.
    std::pair<std::string, int> Start(const std::string& arguments)
    {
        FILE* pipe = OpenPipe("\"" + m_program + "\"" + arguments + kNoInput, "r");
        EXPECT_NE(pipe, nullptr);
        if (pipe == nullptr) return {"", -1};
        std::string output;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        return {output, ClosePipe(pipe)};
    }

#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment m_env;
#endif
    std::string m_program;
};

TEST_F(ProgramProcessTest, AnythingButTheInstanceKeyFirstEndsSilently)
{
    for (const char* arguments : {"", " vimbly_kestrow", " \" Vimbly_Kestrow\"", " VIMBLY_KESTROW Vimbly_Kestrow"}) {
        SCOPED_TRACE(arguments);
        const auto [output, status] = Start(arguments);
        EXPECT_EQ(output, "");
        EXPECT_EQ(status, 0);
    }
}

TEST_F(ProgramProcessTest, AMissingOrDirectoryStringFileGivesTheFixedMessage)
{
    for (const char* arguments : {" Vimbly_Kestrow", " Vimbly_Kestrow extra arguments"}) {
        SCOPED_TRACE(arguments);
        const auto [output, status] = Start(arguments);
        EXPECT_NE(output.find(kFixedMessage), std::string::npos) << output;
        EXPECT_EQ(status, 0);
    }
    MakeDir("bin/KestrowStrings.xml");
    const auto [output, status] = Start(" Vimbly_Kestrow");
    EXPECT_NE(output.find(kFixedMessage), std::string::npos) << output;
    EXPECT_EQ(status, 0);
}

TEST_F(ProgramProcessTest, ASecondStartEndsSilentlyWhileTheFirstRuns)
{
    // The first stops at its message box, waiting for a line on its input.
    SetVariable("KESTROW_TERMINAL_INPUT", "1");
    const std::string firstOutput = Native("first.txt").make_preferred().string();
    FILE* first = OpenPipe("\"" + m_program + "\" Vimbly_Kestrow > \"" + firstOutput + "\"", "w");
    SetVariable("KESTROW_TERMINAL_INPUT", "0");
    ASSERT_NE(first, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (ReadBytes("first.txt").find(kFixedMessage) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_NE(ReadBytes("first.txt").find(kFixedMessage), std::string::npos);

    const auto [output, status] = Start(" Vimbly_Kestrow");
    EXPECT_EQ(output, "");
    EXPECT_EQ(status, 0);

    std::fputs("\n", first);
    EXPECT_EQ(ClosePipe(first), 0);
    // With the first gone, a new start runs again.
    EXPECT_NE(Start(" Vimbly_Kestrow").first.find(kFixedMessage), std::string::npos);
}

}  // namespace
