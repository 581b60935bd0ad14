#pragma once
// The pre-check stage's thread procedure (the stage-procedure contract of ThreadManager.h).

#include <cstdint>

uint32_t PreCheckThreadProc(void* dialog);
