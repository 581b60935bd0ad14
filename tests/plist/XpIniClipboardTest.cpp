// A root dictionary through the clipboard. On Linux the clipboard needs a display: the
// test program runs once more under Xvfb for this test (ctest entry "clipboard_x11");
// without a display every clipboard call answers 0x8000 and changes nothing.

#include <gtest/gtest.h>

#include <cstdlib>

#include "foundation/plist/XpIniDict.h"
#include "platform/PlatformClipboard.h"
#include "plist/PlistTestSupport.h"

using kestrow_test::SaveXml;
using kestrow_test::TextAt;

namespace {

// A format of the program's own, as RegisterClipboardFormat numbers them.
constexpr uint32_t kOwnFormat = 0xC321;

bool HasClipboard()
{
#if defined(_WIN32)
    return true;
#else
    const char* display = std::getenv("DISPLAY");
    return display && *display;
#endif
}

}  // namespace

TEST(XpIniClipboard, WithoutADisplayNothingHappens)
{
    if (HasClipboard()) GTEST_SKIP() << "a clipboard is there";
    XpIniDict dict;
    dict.AddNew(XP_T("k"), XpIniType::String, XP_T("kept"));
    EXPECT_EQ(dict.SaveToClipboard(XpClipboardFormat::UnicodeText), XpRc::Failure);
    EXPECT_EQ(dict.LoadFromClipboard(XpClipboardFormat::UnicodeText), XpRc::Failure);
    EXPECT_EQ(TextAt(dict, "k"), "kept");
}

TEST(XpIniClipboard, TreesTravelThroughTheClipboard)
{
    if (!HasClipboard()) GTEST_SKIP() << "no display: this test runs under Xvfb (ctest entry clipboard_x11)";
    XpIniDict dict;
    dict.AddNew(XP_T("text"), XpIniType::String, XP_T("caf\u00e9 & <more>"));
    dict.AddNew(XP_T("list"), XpIniType::Array, 0);
    dict.AddNew(XP_T("list/-1"), XpIniType::Int, 42);
    for (const uint32_t format : {XpClipboardFormat::UnicodeText, kOwnFormat}) {
        ASSERT_EQ(dict.SaveToClipboard(format), XpRc::Ok) << format;
        XpIniDict loaded;
        ASSERT_EQ(loaded.LoadFromClipboard(format), XpRc::Ok) << format;
        EXPECT_EQ(SaveXml(loaded), SaveXml(dict)) << format;
    }

    // The last save holds only its own format: another one is not there, and the
    // dictionary keeps its entries.
    XpIniDict other;
    other.AddNew(XP_T("k"), XpIniType::String, XP_T("kept"));
    EXPECT_EQ(other.LoadFromClipboard(kOwnFormat + 1), XpRc::Failure);
    EXPECT_EQ(TextAt(other, "k"), "kept");

    // Text that is not a document: read, so the dictionary is emptied, but not parsed.
    const XpChar text[] = XP_T("plain words");
    ASSERT_EQ(XpPlatformClipboardSetText(XpClipboardFormat::UnicodeText, text, sizeof(text) / sizeof(text[0]) - 1), 0u);
    EXPECT_EQ(other.LoadFromClipboard(XpClipboardFormat::UnicodeText), XpRc::PlistNotParsed);
    EXPECT_EQ(other.Count(), 0);
}
