#include "app/UpdateStageProcedures.h"

#include "app/KestrowApp.h"
#include "app/ThreadManager.h"
#include "update/ClientIdentity.h"
#include "update/OperatingSystem.h"
#include "update/PackageDownload.h"
#include "update/StageMessages.h"
#include "update/UpdateCheck.h"
#include "update/VerifyStage.h"
#include "update/WorkDirectory.h"

namespace {

constexpr uint32_t kFailed = 0xFFFFFFFF;

uint32_t Result(int result)
{
    return result == 0 ? 0 : kFailed;
}

// The start that every procedure shares: the application object to work for, or null when
// the procedure is to return *early at once. A null dialog posts nothing; a stage started
// without a running application fails rather than report a success it never had; a
// Cancel already given ends the stage silently.
KestrowApp* StageApplication(void* dialog, uint32_t* early)
{
    *early = kFailed;
    if (dialog == nullptr) return nullptr;
    KestrowApp* app = CurrentKestrowApp();
    if (app == nullptr) {
        if (!g_threadManager.CheckAbort()) PostStageMessage(dialog, WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 0);
        return nullptr;
    }
    if (g_threadManager.CheckAbort()) {
        *early = 0;
        return nullptr;
    }
    return app;
}

}  // namespace

uint32_t UpdateCheckThreadProc(void* dialog)
{
    // Read on the first check of the process and kept; only the check thread reads it,
    // and one check thread has ended before the next starts.
    static bool s_bTestClientVersionRead = false;
    static XpString s_strTestClientVersion;
    if (!s_bTestClientVersionRead) {
        s_strTestClientVersion = ReadTestClientVersion();
        s_bTestClientVersionRead = true;
    }
    uint32_t early = 0;
    KestrowApp* app = StageApplication(dialog, &early);
    if (app == nullptr) return early;

    UpdateCheckContext context;
    context.testFlags = app->m_dwTestFlags;
    context.testClientVersion = s_strTestClientVersion;
    context.installedVersion = app->m_strInstalledVersion;
    context.country = app->m_strCountry;
    context.updaterVersion = app->m_strUpdaterVersion;
    context.language = app->m_strLanguage;
    context.osVersion = FormatOsVersion(app->m_osVersionInfo);
    context.packageUrl = app->m_strPackageUrl;
    context.productionEndpoint = app->m_overrides.checkEndpoint;
    context.testEndpoint = app->m_overrides.testCheckEndpoint;
    // The check posts one message, its last: the package URL goes into the application
    // before it, and a Cancel during the exchange ends the stage without it.
    const int result = RunUpdateCheck(context, [&](uint32_t message, uint64_t wParam, int64_t lParam) {
        app->m_strPackageUrl = context.packageUrl;
        if (g_threadManager.CheckAbort()) return;
        PostStageMessage(dialog, message, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam));
    });
    return g_threadManager.IsAbortRequested() ? 0 : Result(result);
}

uint32_t DownloadThreadProc(void* dialog)
{
    uint32_t early = 0;
    KestrowApp* app = StageApplication(dialog, &early);
    if (app == nullptr) return early;

    DownloadContext context;
    context.packageUrl = app->m_strPackageUrl;
    context.workDirectory = WorkDirectoryPath();
    context.packagePath = app->m_strPackagePath;
    context.downloadComplete = app->m_bDownloadComplete;
    // Progress goes straight to the dialog (the transfer reads the abort flag before each
    // piece); any other message moves the stage machine on, so the package path and size
    // are in the application before it leaves. The download-complete flag goes along with
    // every message: a Cancel during the transfer posts only progress, and the clean-up
    // after the dialog must then see the flag down, so that the unfinished package goes.
    const int result = RunDownload(
        context,
        [&](uint32_t message, uint64_t wParam, int64_t lParam) {
            app->m_bDownloadComplete = context.downloadComplete;
            if (message != WM_DOWNLOAD_BEGUN && message != WM_DOWNLOAD_PROGRESS) {
                app->m_strPackagePath = context.packagePath;
                app->m_nPackageSize = context.packageSize;
            }
            PostStageMessage(dialog, message, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam));
        },
        g_threadManager.AbortFlag());
    return Result(result);
}

uint32_t VerifyThreadProc(void* dialog)
{
    uint32_t early = 0;
    KestrowApp* app = StageApplication(dialog, &early);
    if (app == nullptr) return early;

    VerifyStageContext context;
    context.packagePath = app->m_strPackagePath;
    context.packageSize = app->m_nPackageSize;
    context.downloadComplete = &app->m_bDownloadComplete;
    context.abort = g_threadManager.AbortFlag();
    context.extraRoots = app->m_overrides.trustedRootsFolder;
    // The accepted package stays open in the application, so that the installer stage
    // runs exactly the file that was checked.
    context.held = &app->m_heldPackage;
    context.post = [dialog](VerifyStageMessage message) {
        switch (message) {
            case VerifyStageMessage::Begun:
                PostStageMessage(dialog, WM_VERIFY_BEGUN, 0, 0);
                break;
            case VerifyStageMessage::Done:
                PostStageMessage(dialog, WM_VERIFY_DONE, 0, 0);
                break;
            case VerifyStageMessage::DownloadAgain:
                PostStageMessage(dialog, WM_DOWNLOAD_START, 0, 0);
                break;
            case VerifyStageMessage::Failed:
                PostStageMessage(dialog, WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 0);
                break;
        }
    };
    return Result(RunVerifyStage(context));
}
