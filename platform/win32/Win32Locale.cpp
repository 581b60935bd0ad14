// The user's locale identifiers on Windows, as the system gives them.

#include <windows.h>

#include "platform/PlatformLocale.h"

uint32_t XpPlatformUserDefaultLocale()
{
    return GetUserDefaultLCID();
}

uint32_t XpPlatformUserDefaultUiLanguage()
{
    return GetUserDefaultUILanguage();
}

uint32_t XpPlatformUserDefaultLanguage()
{
    return GetUserDefaultLangID();
}
