#pragma once
// The numbers of the stage messages that the update stages post to the progress dialog,
// and of the result codes they carry: one definition for both sides, the stages
// (update/StageMessages.h) and the dialog (ui/DialogMessages.h).

#include <cstdint>

inline constexpr uint32_t WM_APP = 0x8000;

// Stage messages, posted by the stage threads and by the dialog itself.
inline constexpr uint32_t WM_STAGE_FAILED = WM_APP + 0x65;
inline constexpr uint32_t WM_STAGE_BEGIN = WM_APP + 0x66;
inline constexpr uint32_t WM_PRECHECK_START = WM_APP + 0x67;
inline constexpr uint32_t WM_PRECHECK_DONE = WM_APP + 0x68;
inline constexpr uint32_t WM_CHECK_START = WM_APP + 0x69;
inline constexpr uint32_t WM_CHECK_DONE = WM_APP + 0x6A;
inline constexpr uint32_t WM_DOWNLOAD_START = WM_APP + 0x6B;
inline constexpr uint32_t WM_DOWNLOAD_BEGUN = WM_APP + 0x6C;
inline constexpr uint32_t WM_DOWNLOAD_PROGRESS = WM_APP + 0x6D;
inline constexpr uint32_t WM_DOWNLOAD_DONE = WM_APP + 0x6E;
inline constexpr uint32_t WM_VERIFY_START = WM_APP + 0x6F;
inline constexpr uint32_t WM_VERIFY_BEGUN = WM_APP + 0x70;
inline constexpr uint32_t WM_VERIFY_DONE = WM_APP + 0x71;
inline constexpr uint32_t WM_INSTALL_START = WM_APP + 0x72;
inline constexpr uint32_t WM_INSTALL_BEGUN = WM_APP + 0x73;
inline constexpr uint32_t WM_INSTALL_DONE = WM_APP + 0x74;

// Result codes: the wParam of WM_STAGE_FAILED and the dialog's end result.
inline constexpr uint32_t RC_UNKNOWN_ERROR = 0x8001;
inline constexpr uint32_t RC_NOT_TARGET_OS = 0x8002;
inline constexpr uint32_t RC_NOT_ADMINISTRATOR = 0x8003;
inline constexpr uint32_t RC_HOST_NOT_FOUND = 0x8004;
inline constexpr uint32_t RC_NETWORK_ERROR = 0x8005;
inline constexpr uint32_t RC_UPDATER_NOT_FOUND = 0x8006;
inline constexpr uint32_t RC_INSTALLER_FAILED = 0x8007;
inline constexpr uint32_t RC_INSTALLED = 0x8008;
