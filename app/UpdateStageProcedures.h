#pragma once
// The thread procedures of the update check, the download and the verification: thin
// adapters between the stage thread contract (ThreadManager.h) and the stages' bodies in
// update/. Each takes the dialog as its parameter (0xFFFFFFFF at once when it is null),
// reads what its stage needs from the running application object (CurrentKestrowApp),
// runs the body with the dialog's window as the target of its messages, and writes what
// its stage owns back into the application object before it posts the message that lets
// the next stage start.

#include <cstdint>

uint32_t UpdateCheckThreadProc(void* dialog);
uint32_t DownloadThreadProc(void* dialog);
uint32_t VerifyThreadProc(void* dialog);
