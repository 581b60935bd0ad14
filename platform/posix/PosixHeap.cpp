// The start-up heap set-up on Linux: the C library's allocator needs none.

#include "platform/PlatformHeap.h"

void XpPlatformInitProcessHeap() {}
