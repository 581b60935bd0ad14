// The localized strings: one manager's lookups with references, the process-wide keeper
// over several files, and the string file that ships beside the program.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/files/XpPath.h"
#include "foundation/plist/XpIniDict.h"
#include "foundation/strings/SfStringsManagerKeeper.h"
#include "plist/PlistTestSupport.h"

using kestrow_test::Plist;
using kestrow_test::Utf8;
using kestrow_test::Wide;

namespace {

// A manager over a tree read from the document.
class Manager {
public:
    explicit Manager(const std::string& xml) : m_manager(CreateRootDict())
    {
        EXPECT_EQ(kestrow_test::LoadXml(*m_manager.GetRoot(), xml), XpRc::Ok);
    }
    std::string Get(const char* path) const { return Utf8(m_manager.GetString(Wide(path).GetString())); }
    std::string InSection(const char* section, const char* key) const
    {
        return Utf8(m_manager.GetStringInSection(Wide(section).GetString(), Wide(key).GetString()));
    }

private:
    XpStringsManager m_manager;
};

const std::string kSample = Plist(
    "<key>US</key><dict>"
    "  "
    "<key>Button</key><dict><key>Cancel</key><string>Cancel</string><key>End</key><string>::/US/Button/Cancel</string>"
    "    <key>Count</key><integer>3</integer></dict>"
    "  <key>Named</key><dict><key>Name</key><string>The name</string></dict>"
    "  <key>Nameless</key><dict><key>x</key><string>x</string></dict>"
    "  <key>S</key><dict><key>N</key><string>n text</string><key>Num</key><integer>1</integer>"
    "    <key>Other</key><string>other text</string><key>ToN</key><string>::N</string>"
    "    <key>ToMissing</key><string>::Missing</string><key>ToNum</key><string>::Num</string>"
    "    <key>Chain</key><string>::ToN</string><key>Loop1</key><string>::Loop2</string>"
    "    <key>Loop2</key><string>::Loop1</string><key>Abs</key><string>::/US/Named</string></dict>"
    "  <key>T</key><dict><key>ToMissing</key><string>::Missing</string></dict>"
    "</dict>"
    "<key>Top</key><string>::relative</string>"
    "<key>A</key><string>::/B</string><key>B</key><string>::/A</string>");

}  // namespace

TEST(XpStringsManager, LooksUpKeyPathsOrdinally)
{
    const Manager manager(kSample);
    EXPECT_EQ(manager.Get("US/Button/Cancel"), "Cancel");
    EXPECT_EQ(manager.Get("us/button/cancel"), "");
    EXPECT_EQ(manager.Get("JP/Button/Cancel"), "");
    EXPECT_EQ(manager.Get("US/Button/Count"), "");
    EXPECT_EQ(manager.Get("US/Button/Cancel/More"), "");
    // A path that ends at a dictionary stands for its "Name".
    EXPECT_EQ(manager.Get("US/Named"), "The name");
    EXPECT_EQ(manager.Get("US/Nameless"), "");
}

TEST(XpStringsManager, FollowsReferences)
{
    const Manager manager(kSample);
    EXPECT_EQ(manager.Get("US/Button/End"), "Cancel");
    EXPECT_EQ(manager.Get("US/S/ToN"), "n text");
    EXPECT_EQ(manager.Get("US/S/Chain"), "n text");
    EXPECT_EQ(manager.Get("US/S/ToMissing"), "other text");
    EXPECT_EQ(manager.Get("US/S/ToNum"), "other text");
    EXPECT_EQ(manager.Get("US/S/Abs"), "The name");
    EXPECT_EQ(manager.Get("US/T/ToMissing"), "");
    // A relative reference at a key path without "/" is the text itself.
    EXPECT_EQ(manager.Get("Top"), "::relative");

    EXPECT_EQ(manager.InSection("US/S", "N"), "n text");
    EXPECT_EQ(manager.InSection("US/S", "Missing"), "other text");
    EXPECT_EQ(manager.InSection("US/S", "ToN"), "n text");
    EXPECT_EQ(manager.InSection("US/Button/Cancel", "x"), "");
    EXPECT_EQ(manager.InSection("US/T", "Missing"), "");
}

TEST(XpStringsManager, ReferenceLoopsEndWithAnEmptyText)
{
    const Manager manager(kSample);
    EXPECT_EQ(manager.Get("A"), "");
    EXPECT_EQ(manager.Get("US/S/Loop1"), "");
    EXPECT_EQ(manager.InSection("US/S", "Loop2"), "");
}

class SfStringsManagerKeeperTest : public kestrow_test::TempFolderTest {
protected:
    void TearDown() override
    {
        delete SfStringsManagerKeeper::GetInstance();
        TempFolderTest::TearDown();
    }
    static std::string Get(const char* path) { return Utf8(SfStringsManagerKeeper::GetString(Wide(path).GetString())); }
};

TEST_F(SfStringsManagerKeeperTest, AnswersTheFirstNonEmptyTextOverTheFiles)
{
    EXPECT_EQ(Get("US/a"), "");  // no keeper yet
    WriteBytes("first.xml", Plist("<key>US</key><dict><key>a</key><string>first a</string>"
                                  "<key>empty</key><string></string></dict>"));
    WriteBytes("second.xml",
               Plist("<key>US</key><dict><key>a</key><string>second a</string>"
                     "<key>b</key><string>second b</string><key>empty</key><string>filled</string></dict>"));
    ASSERT_EQ(SfStringsManagerKeeper::Initialize({Path("first.xml"), Path("second.xml")}), XpRc::Ok);
    EXPECT_EQ(Get("US/a"), "first a");
    EXPECT_EQ(Get("US/b"), "second b");
    EXPECT_EQ(Get("US/empty"), "filled");
    EXPECT_EQ(Get("US/c"), "");

    // A second initialisation changes nothing.
    SfStringsManagerKeeper* keeper = SfStringsManagerKeeper::GetInstance();
    EXPECT_EQ(SfStringsManagerKeeper::Initialize({Path("second.xml")}), XpRc::Failure);
    EXPECT_EQ(SfStringsManagerKeeper::GetInstance(), keeper);
    EXPECT_EQ(Get("US/a"), "first a");

    // Deleting the keeper clears the process-wide pointer.
    delete keeper;
    EXPECT_EQ(SfStringsManagerKeeper::GetInstance(), nullptr);
    EXPECT_EQ(Get("US/a"), "");
}

TEST_F(SfStringsManagerKeeperTest, AFileThatFailsLeavesOnlyEmptyTexts)
{
    WriteBytes("good.xml", Plist("<key>US</key><dict><key>a</key><string>a</string></dict>"));
    WriteBytes("bad.xml", "<plist><dict>");
    EXPECT_EQ(SfStringsManagerKeeper::Initialize({Path("good.xml"), Path("bad.xml")}), XpRc::PlistNotParsed);
    ASSERT_NE(SfStringsManagerKeeper::GetInstance(), nullptr);
    EXPECT_EQ(SfStringsManagerKeeper::GetInstance()->GetManagers().size(), 1u);
    EXPECT_EQ(Get("US/a"), "");
    delete SfStringsManagerKeeper::GetInstance();

    EXPECT_EQ(SfStringsManagerKeeper::Initialize({Path("missing.xml")}), XpRc::FileNotFound);
    delete SfStringsManagerKeeper::GetInstance();
    WriteBytes("notplist.xml", "<strings><dict/></strings>");
    EXPECT_EQ(SfStringsManagerKeeper::Initialize({Path("notplist.xml")}), XpRc::PlistUnexpected);
}

// The file that ships beside the program (and beside this test program): every language
// of the client identity answers every key of the dialog.
TEST_F(SfStringsManagerKeeperTest, ShippedFileAnswersEveryKeyInEveryLanguage)
{
    const XpString path = GetModuleSiblingPath(XpString(XP_T("KestrowStrings.xml")));
    ASSERT_FALSE(path.IsEmpty()) << "KestrowStrings.xml is missing beside the test program";
    ASSERT_EQ(SfStringsManagerKeeper::Initialize({path}), XpRc::Ok);

    const char* const languages[] = {"JP", "US", "IT", "FR", "SE", "NL", "DE",
                                     "BR", "RU", "CS", "CT", "KR", "ES", "PL"};
    const char* const keys[] = {"Button/Cancel",
                                "Button/End",
                                "StaticText/Main/Verify",
                                "StaticText/Main/Downloading",
                                "StaticText/Main/Preparing",
                                "StaticText/Progress/MB",
                                "Message/Question/Close",
                                "StaticText/Sub/VimblyRunning",
                                "StaticText/Main/NotTargetOS",
                                "StaticText/Sub/NotTargetOS",
                                "StaticText/Main/NotAdministrator",
                                "StaticText/Main/VimblyNotFound",
                                "StaticText/Sub/VimblyNotFound",
                                "StaticText/Main/NetworkError",
                                "StaticText/Sub/NetworkError",
                                "StaticText/Main/UpdaterNotFound",
                                "StaticText/Main/UnknownError"};
    const XpIniDict* root = SfStringsManagerKeeper::GetInstance()->GetManagers().at(0)->GetRoot();
    EXPECT_EQ(root->Count(), 14);
    for (const char* language : languages) {
        const std::string prefix = std::string(language) + "/";
        EXPECT_EQ(Get((prefix + "ApplicationName").c_str()), "Vimbly Updater") << language;
        for (const char* key : keys) {
            const std::string text = Get((prefix + key).c_str());
            EXPECT_FALSE(text.empty()) << language << "/" << key;
            EXPECT_NE(text.rfind("::", 0), 0u) << language << "/" << key << " holds an unresolved reference";
        }
        // Each language speaks its own words.
        if (std::string(language) != "US") {
            EXPECT_NE(Get((prefix + "Button/End").c_str()), "Close") << language;
        }
    }
}
