// The user's locale identifiers on Linux, from the locale names of the environment in
// the order in which the C library and gettext weigh them (docs/identity.md).

#include <stdlib.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "platform/PlatformLocale.h"
#include "platform/shared/XpLocaleName.h"

namespace {

// The first of the variables that is set and not empty; null when none is.
const char* FirstSet(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const char* value = getenv(name);
        if (value != nullptr && value[0] != 0) return value;
    }
    return nullptr;
}

bool IsPlainLocale(const char* name)
{
    return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
           std::strncmp(name, "C.", 2) == 0;
}

}  // namespace

uint32_t XpPlatformUserDefaultLocale()
{
    return XpLocaleIdFromName(FirstSet({"LC_ALL", "LANG"}));
}

uint32_t XpPlatformUserDefaultUiLanguage()
{
    const char* messages = FirstSet({"LC_ALL", "LC_MESSAGES", "LANG"});
    const char* list = getenv("LANGUAGE");
    if (list != nullptr && !IsPlainLocale(messages)) {
        // A list of names separated by ":", the first that is known wins.
        const std::string names(list);
        for (size_t start = 0; start <= names.size();) {
            size_t end = names.find(':', start);
            if (end == std::string::npos) end = names.size();
            if (const uint32_t id = XpLocaleIdFromName(names.substr(start, end - start).c_str())) return id;
            start = end + 1;
        }
    }
    return XpLocaleIdFromName(messages);
}

uint32_t XpPlatformUserDefaultLanguage()
{
    return XpPlatformUserDefaultLocale() & 0xFFFFu;
}
