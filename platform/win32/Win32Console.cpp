#include <windows.h>

#include "platform/PlatformConsole.h"

bool XpPlatformIsInputTerminal()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    return input != nullptr && input != INVALID_HANDLE_VALUE && GetFileType(input) == FILE_TYPE_CHAR;
}
