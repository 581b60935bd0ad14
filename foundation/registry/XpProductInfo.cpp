#include "foundation/registry/XpProductInfo.h"

#include "foundation/files/XpFile.h"
#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPathText.h"
#include "foundation/registry/XpRegistry.h"

namespace {

const XpChar kVersionFile[] = XP_T("Version.txt");
const XpChar kInstalledLocation[] = XP_T("InstalledLocation");
const XpChar kCurrentVersion[] = XP_T("CurrentVersion");

// A folder that names its volume: "C:\...", "\\server\share\..." or "/..." (a path
// rooted at the current drive only, "\...", depends on where the program runs).
bool IsAbsoluteFolder(const XpString& folder)
{
    const XpString root = GetPathRoot(folder);
    return kXpNativePathStyle == XpPathStyle::Posix ? !root.IsEmpty() : root.GetLength() > 1;
}

void CloseAndDelete(XpRegistry* key)
{
    if (key == nullptr) return;
    key->Close();
    delete key;
}

// The sub-key of key that its "CurrentVersion" names; null when that value is empty,
// which would otherwise open key itself again.
XpRegistry* OpenCurrentVersion(const XpRegistry* key)
{
    const XpString version = key->GetStringValue(XpString(kCurrentVersion));
    return version.IsEmpty() ? nullptr : OpenSubKey(key, version);
}

}  // namespace

XpString ReadVersionFile(const XpString& folder)
{
    if (folder.IsEmpty() || !IsAbsoluteFolder(folder)) return XpString();
    const XpString path = CombinePath(folder, XpString(kVersionFile));
    if (!XpFileOperation::IsExistingFile(path)) return XpString();
    XpFile file(path);
    XpString version;
    if (file.Open(XpFileFlag::Read | XpFileFlag::Text, XpFileOpen::ShareRead) == XpRc::Ok) {
        XpString line;
        if (file.ReadLine(line) == XpRc::Ok) version = line;
        file.Close();
    }
    return version;
}

XpString ReadInstalledVersion(const XpString& productKey)
{
    XpRegistry* key = OpenMachineKey(productKey);
    if (key == nullptr) return XpString();
    const XpString location = key->GetStringValue(XpString(kInstalledLocation));
    CloseAndDelete(key);
    return ReadVersionFile(location);
}

XpString ReadCountryOrAreaCode(const XpString& productKey)
{
    XpRegistry* settings = OpenMachineKey(productKey + XP_T("\\GlobalSettings"));
    if (settings == nullptr) return XpString();
    XpRegistry* version = OpenCurrentVersion(settings);
    CloseAndDelete(settings);
    if (version == nullptr) return XpString();
    const XpString code = version->GetStringValue(XpString(XP_T("CountryOrAreaCode")));
    CloseAndDelete(version);
    return code;
}

XpString GetComponentExePath(const XpString& productKey, const XpString& component)
{
    if (component.IsEmpty()) return XpString();
    XpRegistry* key = OpenMachineKey(productKey + XP_T("\\") + component);
    if (key == nullptr) return XpString();
    XpRegistry* version = OpenCurrentVersion(key);
    XpString location, exeName;
    if (version != nullptr) {
        location = version->GetStringValue(XpString(kInstalledLocation));
        exeName = version->GetStringValue(XpString(XP_T("ExeName")));
    }
    CloseAndDelete(version);
    CloseAndDelete(key);
    if (exeName.IsEmpty() || !IsAbsoluteFolder(location)) return XpString();
    return CombinePath(location, exeName);
}

XpString ReadInstalledVersion()
{
    return ReadInstalledVersion(XpString(kXpProductKey));
}

XpString ReadCountryOrAreaCode()
{
    return ReadCountryOrAreaCode(XpString(kXpProductKey));
}

XpString GetComponentExePath(const XpString& component)
{
    return GetComponentExePath(XpString(kXpProductKey), component);
}
