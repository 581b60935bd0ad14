// The application's start-up rules in the test process: the command line, the single
// instance, the strings and their "ApplicationName", the clean-up by the dialog's result.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "app/KestrowApp.h"
#include "process/ProcessHelperSupport.h"
#include "registry/RegistryTestSupport.h"
#include "ui/DialogMessages.h"
#include "ui/HeadlessView.h"

namespace {

// A table of texts loaded from nowhere: Load answers as the test says.
class TableStrings : public AppStrings {
public:
    XpResult Load(const std::vector<XpString>& paths) override
    {
        loadedPaths = paths;
        return loadResult;
    }
    XpString Get(const XpChar* keyPath) override
    {
        return XpString(keyPath) == XpString(XP_T("US/ApplicationName")) ? applicationName : XpString();
    }
    void Release() override { ++releases; }

    XpResult loadResult = XpRc::Ok;
    XpString applicationName = XpString(kApplicationName);
    std::vector<XpString> loadedPaths;
    int releases = 0;
};

uint32_t FailAtOnce(void* dialog)
{
    if (dialog != nullptr && !g_threadManager.CheckAbort())
        PostStageMessage(dialog, WM_STAGE_FAILED, RC_NETWORK_ERROR, 0);
    return 0;
}

class KestrowAppTest : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
#if !defined(_WIN32)
        m_env.Set("KESTROW_MUTEX_DIR", Native("locks").string());
        MakeDir("locks");
#endif
        m_mutexName =
            XpString(XP_T("Local\\kestrow-app-")) + XpNarrowString(kestrow_test::RandomTag().c_str()).ToWide();
    }

    // Runs a fresh application with the arguments; the dialog, if it comes, fails its
    // first stage and the user presses End.
    int Run(std::vector<XpString> arguments)
    {
        NamedMutex mutex(m_mutexName.GetString());
        KestrowApp app(mutex, m_strings);
        app.SetView(&m_view);
        app.SetArguments(arguments);
        app.SetModulePath(Path("Kestrow.exe"));
        for (int stage = 0; stage < 5; ++stage) app.SetStageProcedure(static_cast<Stage>(stage), &FailAtOnce);
        m_view = HeadlessView();
        m_view.PressOnNewButtonText(true);
        g_threadManager.m_bAbort = false;
        app.m_bDownloadComplete = m_downloadComplete;
        const int status = app.Run();
        m_result = app.DialogResult();
        return status;
    }

#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment m_env;
#endif
    XpString m_mutexName;
    TableStrings m_strings;
    HeadlessView m_view;
    intptr_t m_result = 0;
    bool m_downloadComplete = false;
};

TEST_F(KestrowAppTest, OnlyTheExactInstanceKeyFirstStartsTheUpdater)
{
    for (const XpChar* first : {XP_T("vimbly_kestrow"), XP_T(" Vimbly_Kestrow"), XP_T("Vimbly_Kestrow "), XP_T("")}) {
        EXPECT_EQ(Run({XpString(first), XpString(kInstanceKey)}), 0);
        EXPECT_FALSE(m_view.m_created);
        EXPECT_TRUE(m_view.m_boxes.empty());
        EXPECT_TRUE(m_strings.loadedPaths.empty());
    }
    EXPECT_EQ(Run({}), 0);
    EXPECT_FALSE(m_view.m_created);
}

TEST_F(KestrowAppTest, StringsThatDoNotLoadOrNameTheApplicationOtherwiseGiveTheFixedMessage)
{
    const std::string box =
        "Vimbly Updater|Cannot start this application because the necessary files do not exist or the "
        "files are corrupted.|16";
    m_strings.loadResult = XpRc::Failure;
    EXPECT_EQ(Run({XpString(kInstanceKey)}), 0);
    ASSERT_EQ(m_view.m_boxes.size(), 1u);
    EXPECT_EQ(m_view.m_boxes[0], box);
    EXPECT_FALSE(m_view.m_created);
    EXPECT_EQ(m_strings.releases, 0);  // nothing loaded, nothing released

    m_strings.loadResult = XpRc::Ok;
    m_strings.applicationName = XpString(XP_T("vimbly updater"));
    EXPECT_EQ(Run({XpString(kInstanceKey)}), 0);
    ASSERT_EQ(m_view.m_boxes.size(), 1u);
    EXPECT_EQ(m_view.m_boxes[0], box);
    EXPECT_FALSE(m_view.m_created);
    EXPECT_EQ(m_strings.releases, 1);  // loaded, so released at the end
}

TEST_F(KestrowAppTest, TheStringFileIsLookedForBesideTheProgramAndNeverAsADirectory)
{
    m_strings.loadResult = XpRc::Failure;
    Run({XpString(kInstanceKey)});
    ASSERT_EQ(m_strings.loadedPaths.size(), 1u);
    EXPECT_TRUE(m_strings.loadedPaths[0].IsEmpty());  // missing

    MakeDir("KestrowStrings.xml");
    Run({XpString(kInstanceKey)});
    ASSERT_EQ(m_strings.loadedPaths.size(), 1u);
    EXPECT_TRUE(m_strings.loadedPaths[0].IsEmpty());  // a directory

    std::filesystem::remove(Native("KestrowStrings.xml"));
    WriteBytes("KestrowStrings.xml", "<plist/>");
    Run({XpString(kInstanceKey)});
    ASSERT_EQ(m_strings.loadedPaths.size(), 1u);
    EXPECT_TRUE(m_strings.loadedPaths[0] == Path("KestrowStrings.xml"));
}

TEST_F(KestrowAppTest, ASecondInstanceEndsWithoutWindowOrMessage)
{
    NamedMutex first(m_mutexName.GetString());
    ASSERT_TRUE(first.HoldsAsCreator());
    EXPECT_EQ(Run({XpString(kInstanceKey), XpString(XP_T("extra"))}), 0);
    EXPECT_FALSE(m_view.m_created);
    EXPECT_TRUE(m_view.m_boxes.empty());
    EXPECT_EQ(m_view.m_otherActivations, 1);  // it looked for the first one's dialog
    first.Close();

    // With the first gone, the next start runs: extra arguments are ignored.
    EXPECT_EQ(Run({XpString(kInstanceKey), XpString(XP_T("extra"))}), 0);
    EXPECT_TRUE(m_view.m_created);
    EXPECT_EQ(m_view.m_otherActivations, 0);
}

#if !defined(_WIN32)
TEST_F(KestrowAppTest, ACancelledDialogKeepsTheWorkDirectoryOnlyWithACompletePackage)
{
    m_env.Set("TMPDIR", Native("tmp").string());
    const std::string work = "tmp/Vimbly_Kestrow";
    for (const bool complete : {true, false}) {
        WriteBytes(work + "/package.exe", "MZ");
        m_downloadComplete = complete;
        EXPECT_EQ(Run({XpString(kInstanceKey)}), 0);
        EXPECT_EQ(m_result, static_cast<intptr_t>(IDCANCEL));
        EXPECT_EQ(Exists(work), complete);
    }
}

TEST_F(KestrowAppTest, AfterTheDialogTheInstalledWatcherIsStartedAgain)
{
    // The product's registry in hives of the test's own, with the stand-in watcher.
    m_env.Set("NORVALE_REGISTRY_DIR", Native("registry").string());
    for (const char* name : {"SUDO_UID", "PKEXEC_UID", "DISPLAY"}) m_env.Set(name, std::nullopt);
    const std::string exe = "VolumeWatcher-" + kestrow_test::RandomTag();
    kestrow_test::PlaceHelper(Native("watcher/" + exe));
    kestrow_test::ConfigureHelper(Native("watcher"), "run.sleep=20000\n");
    const auto set = [](const XpChar* key, const XpChar* name, const XpString& text) {
        XpRegKey handle = kXpRegNoKey;
        ASSERT_EQ(XpPlatformRegCreateKey(XpRegRoot::LocalMachine, key, XpRegAccess::Write, &handle), 0u);
        const kestrow_test::Bytes bytes = kestrow_test::Utf16Bytes(text.GetString());
        XpPlatformRegSetValue(handle, name, XpRegType::Sz, bytes.data(), static_cast<uint32_t>(bytes.size()));
        XpPlatformRegCloseKey(handle);
    };
    set(XP_T("Software\\Norvale Corporation\\Vimbly\\VolumeWatcher"), XP_T("CurrentVersion"), XpString(XP_T("1")));
    set(XP_T("Software\\Norvale Corporation\\Vimbly\\VolumeWatcher\\1"), XP_T("InstalledLocation"), Path("watcher"));
    set(XP_T("Software\\Norvale Corporation\\Vimbly\\VolumeWatcher\\1"), XP_T("ExeName"),
        XpNarrowString(exe.c_str()).ToWide());

    EXPECT_EQ(Run({XpString(kInstanceKey)}), 0);
    EXPECT_TRUE(kestrow_test::WaitUntil([&] { return Exists("watcher/run.record"); }, std::chrono::seconds(5)));
    WriteBytes("watcher/stop", "");
    XpPlatformRegForgetCachedHives();
}
#endif

}  // namespace
