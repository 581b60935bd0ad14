#pragma once
// The messages that the update stages post to the progress dialog, and the result codes
// they carry, with the numbers the dialog's stage machine knows them by. A stage posts
// through a StagePost callback: the dialog's window when the stage runs for it, a
// recorder in tests.

#include <cstdint>
#include <functional>

#include "foundation/StageMessageNumbers.h"

// Posts one message with its two parameters; never waits for the receiver.
using StagePost = std::function<void(uint32_t message, uint64_t wParam, int64_t lParam)>;
