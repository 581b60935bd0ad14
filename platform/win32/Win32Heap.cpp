// The start-up heap set-up on Windows: the C run-time's heap as a low-fragmentation heap.

#include <windows.h>
//
#include <malloc.h>

#include "platform/PlatformHeap.h"

namespace {

using HeapSetInformationCall = BOOL(WINAPI*)(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T);
using SetSbhThresholdCall = int(__cdecl*)(size_t);

constexpr ULONG kLowFragmentationHeap = 2;
constexpr size_t kSmallBlockThreshold = 120;

// A procedure looked up at run time as the type it has (through the generic procedure
// type, which converts to any other).
template <class Call>
Call Lookup(const wchar_t* module, const char* name)
{
    const HMODULE handle = GetModuleHandleW(module);
    const FARPROC procedure = handle != nullptr ? GetProcAddress(handle, name) : nullptr;
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(procedure));
}

}  // namespace

void XpPlatformInitProcessHeap()
{
    if (const auto setInformation = Lookup<HeapSetInformationCall>(L"kernel32.dll", "HeapSetInformation")) {
        ULONG mode = kLowFragmentationHeap;
        setInformation(reinterpret_cast<HANDLE>(_get_heap_handle()), HeapCompatibilityInformation, &mode, sizeof(mode));
        return;
    }
    // Only the old run-time heaps without that call have a small-block heap to tune.
    if (const auto setThreshold = Lookup<SetSbhThresholdCall>(L"msvcrt.dll", "_set_sbh_threshold"))
        setThreshold(kSmallBlockThreshold);
}
