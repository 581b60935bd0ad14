#pragma once
// The install stage's thread procedure (the stage-procedure contract of ThreadManager.h).

#include <cstdint>

uint32_t InstallThreadProc(void* dialog);
