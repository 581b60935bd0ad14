#pragma once
// The messages that the update stages post to the progress dialog, and the result codes
// they carry, with the numbers the dialog's stage machine knows them by. A stage posts
// through a StagePost callback: the dialog's window when the stage runs for it, a
// recorder in tests.

#include <cstdint>
#include <functional>

inline constexpr uint32_t kWmApp = 0x8000;
inline constexpr uint32_t WM_STAGE_FAILED = kWmApp + 0x65;
inline constexpr uint32_t WM_CHECK_DONE = kWmApp + 0x6A;
inline constexpr uint32_t WM_DOWNLOAD_START = kWmApp + 0x6B;
inline constexpr uint32_t WM_DOWNLOAD_BEGUN = kWmApp + 0x6C;
inline constexpr uint32_t WM_DOWNLOAD_PROGRESS = kWmApp + 0x6D;
inline constexpr uint32_t WM_DOWNLOAD_DONE = kWmApp + 0x6E;
inline constexpr uint32_t WM_VERIFY_START = kWmApp + 0x6F;
inline constexpr uint32_t WM_VERIFY_BEGUN = kWmApp + 0x70;
inline constexpr uint32_t WM_VERIFY_DONE = kWmApp + 0x71;

inline constexpr uint32_t RC_UNKNOWN_ERROR = 0x8001;
inline constexpr uint32_t RC_NETWORK_ERROR = 0x8005;
inline constexpr uint32_t RC_UPDATER_NOT_FOUND = 0x8006;

// Posts one message with its two parameters; never waits for the receiver.
using StagePost = std::function<void(uint32_t message, uint64_t wParam, int64_t lParam)>;
