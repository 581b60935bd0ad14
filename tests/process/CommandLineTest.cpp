// Command lines split and quoted by the Windows C run-time's rules, as a Windows program
// sees its arguments: the Linux process service builds argument vectors with them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/shared/XpCommandLine.h"

namespace {

std::vector<std::string> Split(const std::string& line)
{
    const XpPlatformString wide(line.begin(), line.end());
    std::vector<std::string> words;
    for (const XpPlatformString& word : XpSplitCommandLine(wide.c_str())) words.emplace_back(word.begin(), word.end());
    return words;
}

using Words = std::vector<std::string>;

TEST(CommandLine, SplitsAsAWindowsProgramSeesItsArguments)
{
    // The run-time's own examples, after a program name.
    EXPECT_EQ(Split(R"(p "abc" d e)"), (Words{"p", "abc", "d", "e"}));
    EXPECT_EQ(Split(R"(p a\\\b d"e f"g h)"), (Words{"p", R"(a\\\b)", "de fg", "h"}));
    EXPECT_EQ(Split(R"(p a\\\"b c d)"), (Words{"p", R"(a\"b)", "c", "d"}));
    EXPECT_EQ(Split(R"(p a\\\\"b c" d e)"), (Words{"p", R"(a\\b c)", "d", "e"}));
    EXPECT_EQ(Split(R"(p a"b"" c d)"), (Words{"p", R"(ab" c d)"}));
    // Blanks and tabs separate, runs of them count once, and none trail.
    EXPECT_EQ(Split("p \t a\t\tb  "), (Words{"p", "a", "b"}));
    EXPECT_EQ(Split(R"(p "" x)"), (Words{"p", "", "x"}));
    EXPECT_EQ(Split(""), Words{});
    EXPECT_TRUE(XpSplitCommandLine(nullptr).empty());
}

TEST(CommandLine, TheProgramNameKeepsItsBackslashes)
{
    EXPECT_EQ(Split(R"("C:\Program Files\Vimbly\VolumeWatcher.exe" /exitall)"),
              (Words{R"(C:\Program Files\Vimbly\VolumeWatcher.exe)", "/exitall"}));
    EXPECT_EQ(Split(R"(C:\dir\a.exe\ x)"), (Words{R"(C:\dir\a.exe\)", "x"}));
    // The watcher's switch is passed with its leading blank: an empty program name.
    EXPECT_EQ(Split(" /exitall"), (Words{"", "/exitall"}));
    // The installer's command line: the quoted package path, then the one switch.
    EXPECT_EQ(Split(R"("/tmp/pkg dir/Setup Package" /C:"setup.exe /oi /noallui /skipdxeula")"),
              (Words{"/tmp/pkg dir/Setup Package", "/C:setup.exe /oi /noallui /skipdxeula"}));
}

TEST(CommandLine, QuotedArgumentsComeBackUnchanged)
{
    const Words arguments{
        "plain",     "",       "two words", R"(trailing\)", R"(dir\ with\ "quotes")", R"(\\server\share\)",
        "tab\there", R"(""")", R"(a\\"b)"};
    XpPlatformString line = XP_T("p");
    for (const std::string& argument : arguments) {
        line += XpChar(' ');
        line += XpQuoteCommandLineArgument(XpPlatformString(argument.begin(), argument.end()));
    }
    Words expected{"p"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(Split(std::string(line.begin(), line.end())), expected);
}

}  // namespace
