// The updater on its GTK dialog with stand-in stages that stop halfway through a download:
// the dialog as it shows progress, for the tests that look at it on a display and for its
// picture (tools/gtk-screenshot.sh). The two checks pass at once; the download reports
// 4.2 MB of 10 MB and then waits until the dialog is closed. Started with no argument; it
// runs as the program does with its instance key.

#include <chrono>
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

uint32_t PreCheckPasses(void* dialog)
{
    PostStageMessage(dialog, WM_PRECHECK_DONE);
    return 0;
}

uint32_t UpdateCheckPasses(void* dialog)
{
    PostStageMessage(dialog, WM_CHECK_DONE);
    return 0;
}

uint32_t DownloadStopsHalfway(void* dialog)
{
    PostStageMessage(dialog, WM_DOWNLOAD_BEGUN, 0, kTotal);
    PostStageMessage(dialog, WM_DOWNLOAD_PROGRESS, kDone, kTotal);
    while (!g_threadManager.CheckAbort()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
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
    theApp.Run();
    return 0;
}
