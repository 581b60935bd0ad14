#include "update/InstallStage.h"

#include <chrono>
#include <thread>

#include "platform/PlatformCodeSignature.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSync.h"

namespace {

void WaitForWindow(const InstallStageContext& context, uint32_t processId)
{
    for (uint32_t round = 0; round < context.windowRounds; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(context.windowRoundMs));
        if (XpPlatformIsFirstWindowVisible(processId)) return;
    }
}

// Waits in slices for as long as the installer runs. Only a wait that timed out goes
// round again: once the process has ended its exit code is read once, so an installer
// that ends with 259 (the value that also means "still running") is reported, not
// waited for for ever.
bool WaitForExit(const InstallStageContext& context, XpPlatformProcess& process, uint32_t* code)
{
    for (;;) {
        const uint32_t wait = process.Wait(context.exitSliceMs);
        if (wait == XpWaitResult::Timeout) continue;
        if (wait != XpWaitResult::Object0) return false;
        return process.GetExitCode(code);
    }
}

}  // namespace

XpString InstallerCommandLine(const XpString& packagePath)
{
    XpString command(XP_T("\""));
    command += packagePath;
    command += XP_T("\" /C:\"setup.exe /oi /noallui /skipdxeula\"");
    return command;
}

int RunInstallStage(const InstallStageContext& context)
{
    const XpString command = InstallerCommandLine(context.packagePath);
    const bool fromHeld = context.held != nullptr && context.held->IsOpen();
    const XpPlatformString runPath = fromHeld ? context.held->RunPath() : XpPlatformString();
    XpPlatformProcess process;
    const uint32_t started = process.Start(fromHeld ? runPath.c_str() : nullptr, command.GetString(), 0);
    // The process exists (or never will): the package need not be held any longer.
    if (context.held != nullptr) context.held->Close();
    if (started != 0) {
        context.post(InstallStageMessage::Done, kInstallFailed, 0);
        return -1;
    }
    // An installer without a message loop fails the input-idle wait: it is still
    // running, so only the window wait is skipped and its end is still waited for.
    if (process.WaitForInputIdle(context.inputIdleMs) != XpWaitResult::Failed) WaitForWindow(context, process.Id());
    context.post(InstallStageMessage::Begun, 0, 0);

    uint32_t code = 0;
    const bool ended = WaitForExit(context, process, &code);
    process.Close();
    context.post(InstallStageMessage::Done, ended ? 0 : kInstallFailed, ended ? code : 0);
    return ended ? 0 : -1;
}
