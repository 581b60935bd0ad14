#include "update/UpdaterOverrides.h"

#include <vector>

#include "foundation/registry/XpRegistry.h"
#include "platform/PlatformRegistry.h"
#include "update/RegistryValueRules.h"
#include "update/UpdateCheck.h"

namespace {

bool StartsWithFolded(const XpString& text, const char* prefix)
{
    const XpChar* p = text.GetString();
    int32_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.GetLength()) return false;
        XpChar c = p[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<XpChar>(c - 'A' + 'a');
        if (c != static_cast<XpChar>(prefix[i])) return false;
    }
    return true;
}

// A string value of the key, or false when it is missing or not a string.
bool ReadString(const XpRegistry& key, const XpChar* name, XpString* text)
{
    uint32_t type = 0;
    std::vector<uint8_t> data;
    return key.GetRawValue(XpString(name), &type, &data) && DirectStringValue(type, data.data(), data.size(), text) &&
           !text->IsEmpty();
}

}  // namespace

bool IsWebUrl(const XpString& text)
{
    int32_t host = 0;
    if (StartsWithFolded(text, "https://"))
        host = 8;
    else if (StartsWithFolded(text, "http://"))
        host = 7;
    else
        return false;
    if (host >= text.GetLength() || text.GetString()[host] == '/') return false;
    for (int32_t i = 0; i < text.GetLength(); ++i) {
        if (text.GetString()[i] <= 0x20 || text.GetString()[i] == 0x7F) return false;
    }
    return true;
}

UpdaterOverrides ReadUpdaterOverrides(const XpString& keyBase)
{
    UpdaterOverrides overrides;
    overrides.checkEndpoint = kProductionCheckEndpoint;
    overrides.testCheckEndpoint = kTestCheckEndpoint;
    if (!XpPlatformRegMachineHiveIsProtected()) return overrides;
    XpRegistry key;
    if (key.Open(keyBase + kUpdaterSettingsKey, kXpRegMachineRoot, XpRegFlag::Read) != XpRc::Ok) return overrides;
    XpString text;
    if (ReadString(key, XP_T("CheckEndpoint"), &text) && IsWebUrl(text)) overrides.checkEndpoint = text;
    if (ReadString(key, XP_T("TestCheckEndpoint"), &text) && IsWebUrl(text)) overrides.testCheckEndpoint = text;
    if (ReadString(key, XP_T("TrustedRootsFolder"), &text)) overrides.trustedRootsFolder = text;
    key.Close();
    return overrides;
}
