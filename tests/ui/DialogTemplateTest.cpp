// Dialog template 102: the table that the self-drawn views lay out from says what the
// resource script that Windows links in says, and dialog units become pixels as Windows
// makes them.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "TestSupport.h"
#include "foundation/files/XpPath.h"
#include "ui/DialogTemplate.h"

namespace {

struct ScriptDialog {
    int id = 0, width = 0, height = 0;
    std::string face;
    int points = 0, weight = 0, charset = 0;
    std::map<int, DialogControlTemplate> controls;
    std::vector<int> order;
};

int Number(const std::string& text)
{
    if (text == "IDCANCEL") return 2;
    return static_cast<int>(std::stol(text, nullptr, 0));
}

// The first DIALOGEX of the script, read the way the resource compiler reads the lines that
// this script uses.
ScriptDialog ReadScriptDialog(const std::string& script)
{
    static const std::regex head(R"re(^\s*(\d+)\s+DIALOGEX\s+\d+\s*,\s*\d+\s*,\s*(\d+)\s*,\s*(\d+))re");
    static const std::regex font(R"re(^\s*FONT\s+(\d+)\s*,\s*"([^"]*)"\s*,\s*(\d+)\s*,\s*\d+\s*,\s*(\w+))re");
    static const std::regex plain(
        R"re(^\s*(?:PUSHBUTTON|LTEXT)\s+"[^"]*"\s*,\s*(\w+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+))re");
    static const std::regex control(
        R"re(^\s*CONTROL\s+"[^"]*"\s*,\s*(\w+)\s*,\s*"[^"]*"\s*,\s*[^,]+,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+))re");
    ScriptDialog dialog;
    std::istringstream lines(script);
    std::string line;
    bool inDialog = false, inControls = false;
    std::smatch m;
    while (std::getline(lines, line)) {
        if (!inDialog) {
            if (std::regex_search(line, m, head)) {
                inDialog = true;
                dialog.id = Number(m[1]);
                dialog.width = Number(m[2]);
                dialog.height = Number(m[3]);
            }
        } else if (std::regex_search(line, m, font)) {
            dialog.points = Number(m[1]);
            dialog.face = m[2];
            dialog.weight = Number(m[3]);
            dialog.charset = Number(m[4]);
        } else if (line.rfind("BEGIN", 0) == 0) {
            inControls = true;
        } else if (line.rfind("END", 0) == 0) {
            break;
        } else if (inControls && (std::regex_search(line, m, plain) || std::regex_search(line, m, control))) {
            const int id = Number(m[1]);
            dialog.controls[id] = DialogControlTemplate{id, Number(m[2]), Number(m[3]), Number(m[4]), Number(m[5])};
            dialog.order.push_back(id);
        }
    }
    return dialog;
}

TEST(DialogTemplate, TheTableMatchesTheResourceScript)
{
    // The script is copied beside the test program by the build.
    const XpString path = GetModuleSiblingPath(XpString(XP_T("Kestrow.rc")));
    ASSERT_FALSE(path.IsEmpty()) << "Kestrow.rc is missing beside the test program";
    const ScriptDialog script = ReadScriptDialog(kestrow_test::ReadWholeFile(kestrow_test::ToFs(path)));

    EXPECT_EQ(script.id, DialogTemplate::kId);
    EXPECT_EQ(script.width, DialogTemplate::kWidth);
    EXPECT_EQ(script.height, DialogTemplate::kHeight);
    EXPECT_EQ(script.face, DialogTemplate::kFontFace);
    EXPECT_EQ(script.points, DialogTemplate::kFontPoints);
    EXPECT_EQ(script.weight, DialogTemplate::kFontWeight);
    EXPECT_EQ(script.charset, DialogTemplate::kFontCharset);
    ASSERT_EQ(script.order.size(), DialogTemplate::kControls.size());
    for (size_t i = 0; i < DialogTemplate::kControls.size(); ++i) {
        const DialogControlTemplate& want = DialogTemplate::kControls[i];
        SCOPED_TRACE(want.id);
        EXPECT_EQ(script.order[i], want.id) << "tab order";
        const DialogControlTemplate& got = script.controls.at(script.order[i]);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.width, want.width);
        EXPECT_EQ(got.height, want.height);
    }
}

TEST(DialogTemplate, DialogUnitsBecomePixelsAsOnWindows)
{
    // The classic 8-point dialog font: 52 letters 312 pixels wide and 13 high give base
    // units 6 × 13, and the standard 50 × 14 unit button is 75 × 23 pixels.
    const DialogBaseUnits classic = DialogBaseUnitsFromLetters(312, 13);
    EXPECT_EQ(classic.x, 6);
    EXPECT_EQ(classic.y, 13);
    EXPECT_EQ(DialogUnitsToPixelsX(50, classic), 75);
    EXPECT_EQ(DialogUnitsToPixelsY(14, classic), 23);  // 22.75 rounds up

    // The average width rounds half up: 338 / 26 = 13 half-widths make 7.
    EXPECT_EQ(DialogBaseUnitsFromLetters(338, 15).x, 7);
    EXPECT_EQ(DialogBaseUnitsFromLetters(337, 15).x, 6);
    // Halves round away from zero, as MulDiv does.
    const DialogBaseUnits nine{7, 15};
    EXPECT_EQ(DialogUnitsToPixelsX(DialogTemplate::kWidth, nine), 557);   // 556.5
    EXPECT_EQ(DialogUnitsToPixelsY(DialogTemplate::kHeight, nine), 259);  // 258.75
    EXPECT_EQ(DialogUnitsToPixelsX(-2, nine), -4);                        // -3.5
    EXPECT_EQ(DialogUnitsToPixelsY(0, nine), 0);
}

}  // namespace
