// The updater on its GTK dialog with stand-in stages that stop halfway through a download:
// the dialog as it shows progress, for the tests that look at it on a display and for its
// picture (tools/gtk-screenshot.sh). The two checks pass at once; the download reports
// 4.2 MB of 10 MB and then waits until the dialog is closed. Started with no argument; it
// runs as the program does with its instance key. KESTROW_SAMPLE_STAGE stops it elsewhere
// instead, for the pictures of every stage (tools/dialog-screenshots.sh): "precheck",
// "check", "verify" wait in that stage, "error" ends the check with a network error.

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/KestrowApp.h"
#include "app/NamedMutex.h"
#include "app/ThreadManager.h"
#include "ui/DialogMessages.h"
#include "ui/WindowView.h"

NamedMutex g_instanceMutex(kInstanceMutexName);
KestrowApp theApp(g_instanceMutex, ProgramStrings());
ThreadManager g_threadManager;

namespace {

constexpr uint32_t kTotal = 10 * 1048576;
constexpr uint32_t kDone = kTotal * 42 / 100;

// Waits in the stage until the dialog is closed.
uint32_t WaitForTheEnd()
{
    while (!g_threadManager.CheckAbort()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}

bool StopsAt(const char* stage)
{
    const char* chosen = std::getenv("KESTROW_SAMPLE_STAGE");
    return chosen != nullptr && std::strcmp(chosen, stage) == 0;
}

uint32_t PreCheckPasses(void* dialog)
{
    if (StopsAt("precheck")) return WaitForTheEnd();
    PostStageMessage(dialog, WM_PRECHECK_DONE);
    return 0;
}

uint32_t UpdateCheckPasses(void* dialog)
{
    if (StopsAt("check")) return WaitForTheEnd();
    if (StopsAt("error"))
        PostStageMessage(dialog, WM_STAGE_FAILED, RC_NETWORK_ERROR, 0);
    else
        PostStageMessage(dialog, WM_CHECK_DONE);
    return 0;
}

uint32_t VerifyWaits(void* dialog)
{
    PostStageMessage(dialog, WM_VERIFY_BEGUN);
    return WaitForTheEnd();
}

uint32_t DownloadStopsHalfway(void* dialog)
{
    PostStageMessage(dialog, WM_DOWNLOAD_BEGUN, 0, kTotal);
    if (StopsAt("verify")) {
        PostStageMessage(dialog, WM_DOWNLOAD_DONE, kTotal, kTotal);
        return 0;
    }
    PostStageMessage(dialog, WM_DOWNLOAD_PROGRESS, kDone, kTotal);
    return WaitForTheEnd();
}

}  // namespace

int main()
{
    DialogView* view = CreateWindowView();
    if (view == nullptr) return 1;
    theApp.SetArguments({XpString(kInstanceKey)});
    theApp.SetView(view);
    theApp.SetStageProcedure(Stage::PreCheck, &PreCheckPasses);
    theApp.SetStageProcedure(Stage::UpdateCheck, &UpdateCheckPasses);
    theApp.SetStageProcedure(Stage::Download, &DownloadStopsHalfway);
    theApp.SetStageProcedure(Stage::Verify, &VerifyWaits);
    theApp.Run();
    return 0;
}
