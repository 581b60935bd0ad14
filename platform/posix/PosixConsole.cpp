#include <unistd.h>

#include "platform/PlatformConsole.h"

bool XpPlatformIsInputTerminal()
{
    return isatty(0) == 1;
}
