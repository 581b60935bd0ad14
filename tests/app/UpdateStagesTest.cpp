// The update check, the download and the verification as the program runs them: the real
// application object, dialog (on the headless view), localized strings and stage
// procedures, against the project's update endpoint on loopback with real signed
// packages. Only the pre-check stands in (it makes the work directory); the installation
// is the program's own, which ends as a failed run until it joins.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/KestrowApp.h"
#include "app/StageProcedures.h"
#include "network/UpdateServer.h"
#include "signature/SignedPackages.h"
#include "ui/DialogMessages.h"
#include "ui/HeadlessView.h"
#include "ui/ModalDialog.h"
#include "update/WorkDirectory.h"

namespace {

namespace fs = std::filesystem;
using kestrow_test::UpdateServer;

// Whether the pre-check's stand-in makes the work directory (a test that prepared one
// already keeps it: under Wine an elevated run accepts no folder made in an earlier call).
bool g_preCheckMakesFolder = true;
uint32_t MakeWorkDirectory(void* dialog)
{
    if (dialog == nullptr) return 0xFFFFFFFF;
    const bool made = !g_preCheckMakesFolder || EnsureWorkDirectory();
    PostStageMessage(dialog, made ? WM_PRECHECK_DONE : WM_STAGE_FAILED, made ? 0 : RC_UNKNOWN_ERROR, 0);
    return 0;
}

// The installation's stand-in: it records that the stage was reached and ends it as a run
// that could not start, so that the test package is never run.
bool g_installStarted = false;
uint32_t ProgramInstall(void* dialog)
{
    g_installStarted = true;
    if (dialog == nullptr || g_threadManager.CheckAbort()) return 0;
    PostStageMessage(dialog, WM_INSTALL_DONE, kInstallRunFailed, 0);
    return 0xFFFFFFFF;
}

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

// The temporary folder of the process for the life of the object (TMPDIR; TMP and TEMP
// on Windows, which the system reads at every GetTempPathW).
class ScopedTemporaryFolder {
public:
    explicit ScopedTemporaryFolder(const fs::path& folder)
    {
#if defined(_WIN32)
        for (const char* name : {"TMP", "TEMP"}) {
            const char* value = std::getenv(name);
            m_saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
            _putenv((std::string(name) + "=" + folder.string()).c_str());
        }
#else
        m_environment.Set("TMPDIR", folder.string());
#endif
    }
    ~ScopedTemporaryFolder()
    {
#if defined(_WIN32)
        for (const auto& [name, value] : m_saved) _putenv((name + "=" + value.value_or("")).c_str());
#endif
    }

private:
#if defined(_WIN32)
    std::vector<std::pair<std::string, std::optional<std::string> > > m_saved;
#else
    kestrow_test::ScopedEnvironment m_environment;
#endif
};

// The user presses Cancel once the download has shown some progress, and confirms.
class CancellingView : public HeadlessView {
public:
    CancellingView()
    {
        SetAnswer([](const XpString&, uint32_t) { return DialogBox::kIdYes; });
    }
    void SetText(DialogText which, const XpString& text) override
    {
        HeadlessView::SetText(which, text);
        if (which != DialogText::Progress || m_bPressed || text.IsEmpty()) return;
        if (std::atoi(Narrow(text).c_str()) <= 0) return;
        m_bPressed = true;
        Dialog()->PostMessage(WM_COMMAND, IDCANCEL, 0);
    }
    bool m_bPressed = false;
};

class UpdateStages : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        m_server = UpdateServer::Get();
        if (m_server == nullptr) GTEST_SKIP();
        MakeDir("tmp");
        m_temporary.emplace(Native("tmp"));
#if !defined(_WIN32)
        m_env.Set("KESTROW_MUTEX_DIR", Native("tmp").string());
#endif
        g_installStarted = false;
        g_preCheckMakesFolder = true;
    }
    void TearDown() override
    {
        if (m_server != nullptr) m_server->ClearCheckAnswer();
        m_app.reset();  // lets the held package go before the folder is removed
        m_mutex.reset();
        m_temporary.reset();
        TempFolderTest::TearDown();
    }

    // Runs the program's dialog to its end; the user closes the error screen.
    intptr_t RunUpdate(const std::string& packagePath, HeadlessView* view = nullptr)
    {
        HeadlessView& shown = view != nullptr ? *view : m_view;
        const std::string listener = m_server->Secure();
        m_server->SetCheckAnswer(200, "{base}" + packagePath);
        m_mutex = std::make_unique<NamedMutex>(
            XpString(XpString(XP_T("Local\\kestrow-stages-")) + kestrow_test::ToXp(kestrow_test::RandomTag()))
                .GetString());
        m_app = std::make_unique<KestrowApp>(*m_mutex, ProgramStrings());
        shown.PressOnNewButtonText(true);
        m_app->SetView(&shown);
        m_app->SetArguments({XpString(kInstanceKey)});
        m_app->m_strLanguage = XP_T("US");
        m_app->m_dwTestFlags = 0;
        m_app->m_overrides.checkEndpoint = m_server->XpUrl(listener, "/updater/check.php");
        m_app->m_overrides.trustedRootsFolder = kestrow_test::ToXp(kestrow_test::SignedPackages() / "roots");
        m_app->SetStageProcedure(Stage::PreCheck, &MakeWorkDirectory);
        m_app->SetStageProcedure(Stage::Install, &ProgramInstall);
        g_threadManager.m_bAbort = false;
        EXPECT_EQ(m_app->Run(), 0);
        EXPECT_FALSE(g_threadManager.IsRunning());
        return m_app->DialogResult();
    }

    fs::path WorkFile(const std::string& name) const
    {
        return Native("tmp") / "Vimbly_Kestrow" / name;
    }

    std::vector<std::string> Mains() const
    {
        std::vector<std::string> mains;
        for (const XpString& text : m_view.m_mainHistory) mains.push_back(Narrow(text));
        return mains;
    }

    UpdateServer* m_server = nullptr;
    std::optional<ScopedTemporaryFolder> m_temporary;
#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment m_env;
#endif
    HeadlessView m_view;
    std::unique_ptr<NamedMutex> m_mutex;
    std::unique_ptr<KestrowApp> m_app;
};

TEST_F(UpdateStages, ASignedPackageIsDownloadedWithProgressVerifiedAndHandedToTheInstallation)
{
    const std::string bytes = kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / "norvale-large.exe");
    ASSERT_GT(bytes.size(), 3000000u);
    m_server->WritePackage("update.exe", bytes);
    // In 64 KiB pieces 50 ms apart: about two and a half seconds. The installation's
    // stand-in ends as a failed run.
    EXPECT_EQ(RunUpdate("/slow/update.exe?build=42"), static_cast<intptr_t>(RC_UNKNOWN_ERROR));

    const std::vector<std::string> mains = Mains();
    ASSERT_GE(mains.size(), 4u);
    EXPECT_EQ(mains[0], "Checking for updates...");
    EXPECT_EQ(mains[2], "Downloading the update...");
    EXPECT_EQ(mains[3], "Preparing the installation...");
    EXPECT_TRUE(g_installStarted) << "the dialog did not reach the installation";

    // Percent and megabytes as the transfer runs: the first at 0, some in between, the
    // last at 100 % of the whole size, each one further than the one before.
    const double megabytes = static_cast<double>(bytes.size()) / (1024.0 * 1024.0);
    char last[64];
    std::snprintf(last, sizeof last, "100 %%\t(%5.1f / %5.1f MB)", megabytes, megabytes);
    std::vector<std::string> progress;
    for (const XpString& text : m_view.m_progressHistory) {
        if (!text.IsEmpty()) progress.push_back(Narrow(text));
    }
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front().substr(0, 5), "  0 %");
    EXPECT_NE(std::find(progress.begin(), progress.end(), std::string(last)), progress.end());
    int between = 0, previous = -1;
    for (const std::string& text : progress) {
        const int percent = std::atoi(text.c_str());
        EXPECT_GE(percent, previous) << text;
        previous = percent;
        between += percent > 0 && percent < 100 && text.find(" MB)") != std::string::npos;
    }
    EXPECT_GE(between, 1) << "no progress shown while the transfer ran";

    // What the stages left in the application: the package as served, complete, checked
    // and held for the installation.
    EXPECT_EQ(kestrow_test::ReadWholeFile(WorkFile("update.exe")), bytes);
    EXPECT_EQ(kestrow_test::ToFs(m_app->m_strPackagePath), WorkFile("update.exe"));
    EXPECT_EQ(m_app->m_nPackageSize, bytes.size());
    EXPECT_TRUE(m_app->m_bDownloadComplete);
    EXPECT_TRUE(m_app->m_heldPackage.IsOpen());
    EXPECT_EQ(Narrow(m_app->m_strPackageUrl), m_server->Url(m_server->Secure(), "/slow/update.exe?build=42"));
}

TEST_F(UpdateStages, AnUnsignedPackageEndsAtTheVerificationsErrorScreen)
{
    m_server->WritePackage("unsigned.exe",
                           kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / "unsigned.exe"));
    EXPECT_EQ(RunUpdate("/packages/unsigned.exe"), static_cast<intptr_t>(IDCANCEL));
    const std::vector<std::string> mains = Mains();
    ASSERT_GE(mains.size(), 2u);
    EXPECT_EQ(mains[mains.size() - 2], "Preparing the installation...");
    EXPECT_EQ(Narrow(m_view.m_button), "Close");
    EXPECT_FALSE(g_installStarted);
    EXPECT_FALSE(m_app->m_heldPackage.IsOpen());
    // Downloaded in this run, so kept for the work directory's removal to decide.
    EXPECT_TRUE(m_app->m_bDownloadComplete);
    EXPECT_TRUE(fs::exists(WorkFile("unsigned.exe")));
}

TEST_F(UpdateStages, AFailedLeftOverIsDeletedAndDownloadedAfresh)
{
    const std::string good = kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / "norvale.exe");
    const std::string other = kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / "other.exe");
    m_server->WritePackage("update.exe", good);
    // An earlier run left the package of another signer, read-only, in the work directory.
    // It has the announced size, so that its signature is checked (and refused).
    ASSERT_LE(other.size(), good.size());
    ASSERT_TRUE(EnsureWorkDirectory(Path("tmp/Vimbly_Kestrow")));
    kestrow_test::WriteWholeFile(WorkFile("update.exe"), other + std::string(good.size() - other.size(), '\0'));
    kestrow_test::MakeReadOnly(WorkFile("update.exe"));
    g_preCheckMakesFolder = false;
    EXPECT_EQ(RunUpdate("/packages/update.exe"), static_cast<intptr_t>(RC_UNKNOWN_ERROR));
    EXPECT_TRUE(g_installStarted);
    EXPECT_EQ(kestrow_test::ReadWholeFile(WorkFile("update.exe")), good);
    EXPECT_TRUE(m_app->m_heldPackage.IsOpen());
    // Verification twice, the download once in between.
    const std::vector<std::string> mains = Mains();
    EXPECT_EQ(std::count(mains.begin(), mains.end(), "Preparing the installation..."), 2);
    EXPECT_EQ(std::count(mains.begin(), mains.end(), "Downloading the update..."), 1);
}

TEST_F(UpdateStages, CancelDuringTheDownloadRemovesThePartialPackage)
{
    m_server->WritePackage("update.exe",
                           kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / "norvale-large.exe"));
    CancellingView view;
    EXPECT_EQ(RunUpdate("/slow/update.exe", &view), static_cast<intptr_t>(IDCANCEL));
    EXPECT_TRUE(view.m_bPressed);
    EXPECT_FALSE(g_installStarted);
    EXPECT_FALSE(m_app->m_bDownloadComplete);
    // The dialog's end removed the work directory with the unfinished package.
    EXPECT_FALSE(fs::exists(Native("tmp") / "Vimbly_Kestrow"));
}

}  // namespace
