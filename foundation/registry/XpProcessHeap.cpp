#include "foundation/registry/XpProcessHeap.h"

#include <clocale>

#include "platform/PlatformHeap.h"

void InitProcessHeap()
{
    std::setlocale(LC_ALL, "");
    XpPlatformInitProcessHeap();
}
