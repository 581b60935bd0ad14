#pragma once
// The heap set-up that the program does once, first thing at start-up.
// Windows: the C run-time's heap becomes a low-fragmentation heap (HeapSetInformation,
// looked up in kernel32.dll at run time); where that call is missing, the run-time's
// small-block threshold is set to 120 bytes instead.
// Linux: the C library's allocator takes no set-up; nothing is done.

void XpPlatformInitProcessHeap();
