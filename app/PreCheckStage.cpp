#include "app/PreCheckStage.h"

#include "app/VolumeWatcherControl.h"
#include "ui/DialogMessages.h"

int RunPreCheck(const PreCheckContext& context)
{
    // Refuses with the code; the order of the checks decides which refusal a machine that
    // fails several of them sees.
    const auto refuse = [&context](uint32_t code) {
        context.post(WM_STAGE_FAILED, code, 0);
        return -1;
    };
    if (!context.isSupportedSystem()) return refuse(RC_NOT_TARGET_OS);
    if (context.aborted()) return 0;
    if (!context.isAdministrator()) return refuse(RC_NOT_ADMINISTRATOR);
    if (context.aborted()) return 0;
    if (context.installedVersion.IsEmpty()) return refuse(RC_HOST_NOT_FOUND);
    if (context.aborted()) return 0;
    if (!context.ensureWorkDirectory()) return refuse(RC_UNKNOWN_ERROR);
    if (context.aborted()) return 0;
    // A watcher that stays open only makes the installer's work harder: the stage passes
    // whatever it answers.
    if (context.watcher != nullptr) context.watcher->CloseAll();
    // From here until the download has opened the package URL, a cancel keeps the work
    // directory.
    *context.downloadComplete = true;
    context.post(WM_PRECHECK_DONE, 0, 0);
    return 0;
}
