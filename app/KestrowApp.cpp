#include "app/KestrowApp.h"

#include "app/HostProductProbe.h"
#include "app/StageProcedures.h"
#include "foundation/files/XpPath.h"
#include "foundation/files/XpPathText.h"
#include "foundation/version/XpVersionInfo.h"
#include "platform/PlatformFolders.h"
#include "ui/MainDlg.h"
#include "update/ClientIdentity.h"
#include "update/InstallResult.h"
#include "update/WorkDirectory.h"

namespace {
constexpr int kStageCount = 5;
}

KestrowApp::KestrowApp(NamedMutex& instanceMutex, AppStrings& strings)
    : m_instanceMutex(instanceMutex), m_strings(strings)
{
    // The update context, read before the command line is looked at, in the order the
    // client identity fills it.
    ClientIdentity identity;
    FillClientIdentity(&identity);
    m_strUpdaterVersion = identity.m_strUpdaterVersion;
    m_osVersionInfo = identity.m_osVersionInfo;
    m_strLanguage = identity.m_strLanguage;
    m_strCountry = identity.m_strCountry;
    m_strInstalledVersion = identity.m_strInstalledVersion;
    m_dwTestFlags = identity.m_dwTestFlags;
    m_overrides = ReadUpdaterOverrides();
    m_strModulePath = GetModulePath();
    for (int i = 0; i < kStageCount; ++i) m_procedures[i] = ProgramStageProcedure(static_cast<Stage>(i));
}

void KestrowApp::SetStageProcedure(Stage stage, ThreadManager::Procedure procedure)
{
    m_procedures[static_cast<int>(stage)] = procedure;
}

XpString KestrowApp::GetText(const XpChar* key)
{
    if (!m_bStringsLoaded) return XpString();
    XpString path = m_strLanguage;
    path += XP_T("/");
    path += key;
    return m_strings.Get(path.GetString());
}

int KestrowApp::DoMessageBox(const XpString& prompt, uint32_t type)
{
    if (m_pMainWnd != nullptr && View() != nullptr) View()->Activate();
    m_bInMessageBox = true;
    const int answer = AppBase::DoMessageBox(prompt, type);
    m_bInMessageBox = false;
    return answer;
}

bool KestrowApp::IsHostProductRunning()
{
    return ProbeHostProductRunning();
}

bool KestrowApp::StartStage(Stage stage, void* dialog)
{
    return g_threadManager.Start(m_procedures[static_cast<int>(stage)], dialog) != 0;
}

bool KestrowApp::LoadStrings()
{
    // The one string file: beside the program, when it is there and not a directory.
    const XpString folder = GetDirectoryPart(m_strModulePath);
    const XpString candidate = CombinePath(folder, XpString(kStringFileName));
    const XpString path = XpPath(candidate).IsFile() ? candidate : XpString();
    m_bStringsLoaded = m_strings.Load(std::vector<XpString>{path}) == XpRc::Ok;
    return m_bStringsLoaded;
}

bool KestrowApp::InitInstance()
{
    AppBase::InitInstance();
    if (m_arguments.empty() || !(m_arguments[0] == XpString(kInstanceKey))) return false;

    if (!m_instanceMutex.HoldsAsCreator()) {
        // Another updater runs (or the mutex could not be made): bring its dialog
        // forward if one is marked, and end without a window.
        if (View() != nullptr) View()->ActivateOther(XpString(kInstanceKey));
        return false;
    }

    SetAppName(XpString(kApplicationName));

    if (!LoadStrings() || !(GetText(XP_T("ApplicationName")) == XpString(kApplicationName))) {
        AppMessageBox(XpString(kStartupFailureMessage), DialogBox::kOk | DialogBox::kIconHand);
        return false;
    }

    if (View() == nullptr) return false;
    MainDlg dialog(*View(), *this);
    m_pMainWnd = &dialog;
    m_dialogResult = dialog.DoModal();
    dialog.PumpPendingMessages();
    m_pMainWnd = nullptr;
    CleanUp(m_dialogResult);
    return false;
}

void KestrowApp::CleanUp(intptr_t result)
{
    // After every dialog, whatever its result: the watcher that the pre-check closed (or
    // that was not running) is started again.
    m_volumeWatcher.Restart();
    // The stages are over: the work directory is let go, and removed (link-safe) or kept.
    m_heldWorkDirectory.Release();
    if (result == static_cast<intptr_t>(IDCANCEL)) {
        if (!m_bDownloadComplete) RemoveWorkDirectory();
    } else if (result == static_cast<intptr_t>(RC_INSTALLED)) {
        if (ReadInstallResult() == 0) RemoveWorkDirectory();
    }
}

int KestrowApp::ExitInstance()
{
    if (m_bStringsLoaded) {
        m_strings.Release();
        m_bStringsLoaded = false;
    }
    m_instanceMutex.Close();
    AppBase::ExitInstance();
    return 0;
}

uint32_t ReadInstallResult()
{
    return ReadInstallResult(XpString(kHostProductKey));
}
