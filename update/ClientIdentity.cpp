#include "update/ClientIdentity.h"

#include <vector>

#include "foundation/registry/XpProductInfo.h"
#include "foundation/registry/XpRegistry.h"
#include "foundation/version/XpVersionInfo.h"
#include "platform/PlatformLocale.h"
#include "update/LanguageCode.h"
#include "update/OperatingSystem.h"
#include "update/RegistryValueRules.h"

namespace {

// The keys as the product's installers wrote them, trailing separators included.
const XpChar kSettingsKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly\\Kestrow\\1.0\\Settings\\");
const XpChar kVimblyKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly\\");
const XpChar kTessaroKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Tessaro\\");
const XpChar kTessaroCountryKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Tessaro\\GlobalSettings\\1.0\\");
const XpChar kUnknownCountry[] = XP_T("XXX");

// One value's type and bytes from a key opened for reading; false when the key does not
// open or the value does not read, so that no value is ever asked of a key that is not
// open.
bool ReadRaw(int32_t root, const XpString& key, const XpChar* name, uint32_t* type, std::vector<uint8_t>* data)
{
    XpRegistry registry;
    if (registry.Open(key, root, XpRegFlag::Read) != XpRc::Ok) return false;
    const bool read = registry.GetRawValue(XpString(name), type, data);
    registry.Close();
    return read;
}

// A string value read directly (RegistryValueRules.h); false when it counts as absent.
bool ReadDirectString(int32_t root, const XpString& key, const XpChar* name, XpString* text)
{
    uint32_t type = 0;
    std::vector<uint8_t> data;
    return ReadRaw(root, key, name, &type, &data) && DirectStringValue(type, data.data(), data.size(), text);
}

}  // namespace

uint32_t ReadTestFlags(const XpString& keyBase)
{
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!ReadRaw(kXpRegUserRoot, keyBase + kSettingsKey, XP_T("TestFlag"), &type, &data)) return 0;
    return TestFlagsValue(data.data(), data.size());
}

XpString ReadTestClientVersion(const XpString& keyBase)
{
    XpString version;
    if (!ReadDirectString(kXpRegUserRoot, keyBase + kSettingsKey, XP_T("TestClientVersion"), &version)) {
        return XpString();
    }
    return version;
}

XpString DetermineInstalledVersion(const XpString& keyBase)
{
    const XpString vimbly = ReadInstalledVersion(keyBase + kXpProductKey);
    if (!vimbly.IsEmpty()) return vimbly;
    XpString location;
    if (!ReadDirectString(kXpRegMachineRoot, keyBase + kTessaroKey, XP_T("InstalledLocation"), &location)) {
        return XpString();
    }
    return ReadVersionFile(location);  // empty for an empty or relative location
}

XpString DetermineCountryCode(const XpString& keyBase)
{
    const XpString vimbly = ReadCountryOrAreaCode(keyBase + kXpProductKey);
    if (!vimbly.IsEmpty()) return vimbly;
    // An empty text would send no country at all: the unknown country's code stands in.
    XpString tessaro;
    if (ReadDirectString(kXpRegMachineRoot, keyBase + kTessaroCountryKey, XP_T("CountryOrAreaCode"), &tessaro) &&
        !tessaro.IsEmpty()) {
        return tessaro;
    }
    return XpString(kUnknownCountry);
}

XpString DetermineLanguageCode(const XpString& keyBase)
{
    // Tessaro's value is read only when Vimbly's names no language of the table.
    XpString vimbly;
    if (ReadDirectString(kXpRegMachineRoot, keyBase + kVimblyKey, XP_T("InstalledLanguage"), &vimbly)) {
        XpString code = LookupLanguageCode(vimbly.GetString());
        if (!code.IsEmpty()) return code;
    }
    XpString tessaro;
    const bool hasTessaro =
        ReadDirectString(kXpRegMachineRoot, keyBase + kTessaroKey, XP_T("InstalledLanguage"), &tessaro);
    return ChooseLanguageCode(
        nullptr, hasTessaro ? tessaro.GetString() : nullptr,
        {XpPlatformUserDefaultLocale(), XpPlatformUserDefaultUiLanguage(), XpPlatformUserDefaultLanguage()});
}

XpString DetermineUpdaterVersion()
{
    const XpString self = GetModulePath();
    return self.IsEmpty() ? XpString() : GetModuleVersion(self.GetString());
}

void FillClientIdentity(ClientIdentity* identity, const XpString& keyBase)
{
    if (identity == nullptr) return;
    identity->m_strUpdaterVersion = DetermineUpdaterVersion();
    identity->m_osVersionInfo = ReadOsVersion();
    identity->m_strLanguage = DetermineLanguageCode(keyBase);
    identity->m_strCountry = DetermineCountryCode(keyBase);
    identity->m_strInstalledVersion = DetermineInstalledVersion(keyBase);
    identity->m_dwTestFlags = ReadTestFlags(keyBase);
}

void FillClientIdentity(ClientIdentity* identity)
{
    FillClientIdentity(identity, XpString());
}

uint32_t ReadTestFlags()
{
    return ReadTestFlags(XpString());
}

XpString ReadTestClientVersion()
{
    return ReadTestClientVersion(XpString());
}

XpString DetermineInstalledVersion()
{
    return DetermineInstalledVersion(XpString());
}

XpString DetermineCountryCode()
{
    return DetermineCountryCode(XpString());
}

XpString DetermineLanguageCode()
{
    return DetermineLanguageCode(XpString());
}
