#pragma once
// The verification stage's procedure, written against a small seam so that it does not
// depend on the dialog: the stage thread procedure fills a VerifyStageContext from the
// application object and the thread manager, and maps the stage's messages to its window
// messages (Begun: WM_VERIFY_BEGUN, Done: WM_VERIFY_DONE, DownloadAgain:
// WM_DOWNLOAD_START, Failed: WM_STAGE_FAILED with RC_UNKNOWN_ERROR), each with 0, 0.

#include <atomic>
#include <cstdint>
#include <functional>

#include "foundation/text/XpString.h"

class XpPlatformHeldFile;

enum class VerifyStageMessage { Begun, Done, DownloadAgain, Failed };

struct VerifyStageContext {
    XpString packagePath;            // m_strPackagePath
    uint32_t packageSize = 0;        // m_nPackageSize, the announced content length
    bool* downloadComplete;          // m_bDownloadComplete: set here when the package is accepted
    const std::atomic<bool>* abort;  // the thread manager's abort flag
    std::function<void(VerifyStageMessage)> post;
    XpString extraRoots;  // the administrator's folder of further trusted roots, or empty
    // When given, the package is opened here and checked through it, and stays held for the
    // install stage once it is accepted (closed otherwise).
    XpPlatformHeldFile* held = nullptr;
};

// Checks the package and posts exactly what the stage posts. Returns 0 when the package was
// accepted, when a fresh download was asked for, or when the user cancelled; -1 after a
// failure report.
int RunVerifyStage(const VerifyStageContext& context);
