#pragma once
// KestrowApp: the updater's application object. Construction gathers what the stages
// share (the update context); InitInstance is the whole run: command line, single
// instance, localized texts, the progress dialog, the clean-up by the dialog's result.
// The process ends with exit status 0 on every path.

#include <cstdint>
#include <vector>

#include "app/AppStrings.h"
#include "app/NamedMutex.h"
#include "app/ThreadManager.h"
#include "app/VolumeWatcherControl.h"
#include "foundation/text/XpString.h"
#include "platform/PlatformCodeSignature.h"
#include "platform/PlatformVersion.h"
#include "ui/AppBase.h"
#include "ui/MainDlgHost.h"
#include "update/UpdaterOverrides.h"
#include "update/WorkDirectory.h"

// The fixed texts of the program.
inline constexpr XpChar kApplicationName[] = XP_T("Vimbly Updater");
inline constexpr XpChar kInstanceKey[] = XP_T("Vimbly_Kestrow");
inline constexpr XpChar kInstanceMutexName[] = XP_T("Global\\Vimbly_Kestrow");
inline constexpr XpChar kStringFileName[] = XP_T("KestrowStrings.xml");
inline constexpr XpChar kVolumeWatcherSwitch[] = XP_T(" /exitall");
inline constexpr XpChar kHostProductKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly\\");
// Shown when the localized texts are unavailable, so English and not localized.
inline constexpr XpChar kStartupFailureMessage[] =
    XP_T("Cannot start this application because the necessary files do not exist or the files are corrupted.");

class KestrowApp : public AppBase, public MainDlgHost {
public:
    // The view comes later (SetView), when the program knows what it can show.
    KestrowApp(NamedMutex& instanceMutex, AppStrings& strings);

    // The arguments after the program path.
    void SetArguments(const std::vector<XpString>& arguments) { m_arguments = arguments; }
    // The program file whose folder holds the string file (default: the running one).
    void SetModulePath(const XpString& path) { m_strModulePath = path; }
    // The procedure of a stage (default: the program's own).
    void SetStageProcedure(Stage stage, ThreadManager::Procedure procedure);

    bool InitInstance() override;
    int ExitInstance() override;
    int DoMessageBox(const XpString& prompt, uint32_t type) override;

    // The localized text for a key, in the client's language.
    XpString GetText(const XpChar* key) override;

    // The dialog's result of the last run (0 before).
    intptr_t DialogResult() const { return m_dialogResult; }

    // The update context, filled at construction and by the stages.
    XpString m_strUpdaterVersion;
    XpOsVersion m_osVersionInfo{};
    XpString m_strLanguage;
    XpString m_strCountry;
    XpString m_strInstalledVersion;
    XpString m_strPackageUrl;
    XpString m_strPackagePath;
    uint32_t m_nPackageSize = 0;
    bool m_bDownloadComplete = false;
    uint32_t m_dwTestFlags = 0;
    bool m_bInMessageBox = false;
    bool m_bStringsLoaded = false;
    // The package as the verification stage accepted it, held open from its check until
    // the installer runs, so that the file that runs is the file that was checked.
    XpPlatformHeldFile m_heldPackage;
    // The work directory, held from the pre-check that made it private until the clean-up,
    // so that it stays the folder that was checked.
    HeldWorkDirectory m_heldWorkDirectory;
    // The administrator's endpoints and extra trusted roots (or the compiled-in defaults),
    // read at construction.
    UpdaterOverrides m_overrides;
    // The host product's resident volume watcher, located at construction.
    VolumeWatcherControl m_volumeWatcher;

private:
    // MainDlgHost
    XpString AppName() override { return AppBase::AppName(); }
    XpString InstanceKey() override { return XpString(kInstanceKey); }
    XpString Language() override { return m_strLanguage; }
    uint32_t TestFlags() override { return m_dwTestFlags; }
    bool IsHostProductRunning() override;
    int MessageBox(const XpString& prompt, uint32_t style) override { return AppMessageBox(prompt, style); }
    bool IsInMessageBox() override { return m_bInMessageBox; }
    bool StartStage(Stage stage, void* dialog) override;
    void PauseStage() override { g_threadManager.Suspend(); }
    void ResumeStage() override { g_threadManager.Resume(); }
    void RequestAbort() override { g_threadManager.RequestAbort(); }
    void StopStage() override { g_threadManager.Stop(); }
    bool IsAbortRequested() override { return g_threadManager.IsAbortRequested(); }

    bool LoadStrings();
    void CleanUp(intptr_t result);

    NamedMutex& m_instanceMutex;
    AppStrings& m_strings;
    std::vector<XpString> m_arguments;
    XpString m_strModulePath;
    ThreadManager::Procedure m_procedures[5];
    intptr_t m_dialogResult = 0;
};

// The application object while it runs (the stage procedures read and fill its update
// context); null otherwise.
inline KestrowApp* CurrentKestrowApp()
{
    return static_cast<KestrowApp*>(AppBase::Current());
}

// "InstallResult" of the host product's key: what the installer left, 99 when unreadable.
uint32_t ReadInstallResult();
