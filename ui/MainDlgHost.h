#pragma once
// What the progress dialog needs from the application around it: the localized texts,
// the client's language and test flags, the host-product probe, the application's message
// box, and the stage threads. The application implements it over its own members and the
// stage thread manager; the dialog stays free of both.

#include <cstdint>

#include "foundation/text/XpString.h"
#include "platform/XpChar.h"

enum class Stage : int { PreCheck, UpdateCheck, Download, Verify, Install };

class MainDlgHost {
public:
    virtual ~MainDlgHost() = default;

    // The localized text for a key such as "Button/Cancel"; empty when there is none.
    virtual XpString GetText(const XpChar* key) = 0;
    virtual XpString AppName() = 0;
    virtual XpString InstanceKey() = 0;
    // The two-letter language code ("JP", "US", ...).
    virtual XpString Language() = 0;
    virtual uint32_t TestFlags() = 0;
    virtual bool IsHostProductRunning() = 0;

    // The application's message box (it restores and flashes the dialog first) and whether
    // one is on screen now.
    virtual int MessageBox(const XpString& prompt, uint32_t style) = 0;
    virtual bool IsInMessageBox() = 0;

    // Starts the stage's procedure on a new worker thread with the dialog as its
    // parameter, after stopping any previous one; false when no thread could be started.
    virtual bool StartStage(Stage stage, void* dialog) = 0;
    // Pauses the worker at its next safe point (its next abort test or message post) and
    // lets it go on.
    virtual void PauseStage() = 0;
    virtual void ResumeStage() = 0;
    // Sets the abort flag without waiting; the worker stays paused if it is.
    virtual void RequestAbort() = 0;
    // Sets the abort flag, lets a paused worker go on, and waits for its end.
    virtual void StopStage() = 0;
    virtual bool IsAbortRequested() = 0;
};
