#pragma once
// The messages of the dialog framework: one posted message, the window messages that the
// views post for the user's actions, and the stage messages and result codes
// (foundation/StageMessageNumbers.h, which the stages share).

#include <cstdint>

#include "foundation/StageMessageNumbers.h"

struct DialogMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr uintptr_t SC_CLOSE = 0xF060;
inline constexpr uintptr_t IDCANCEL = 2;

inline bool IsStageMessage(uint32_t message)
{
    return message >= WM_STAGE_FAILED && message <= WM_INSTALL_DONE;
}

// WM_INSTALL_DONE's wParam when running or waiting for the installer failed.
inline constexpr uintptr_t kInstallRunFailed = 0xFFFFFFFF;
