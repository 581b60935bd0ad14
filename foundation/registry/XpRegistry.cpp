#include "foundation/registry/XpRegistry.h"

#include <cstdlib>
#include <new>

#include "platform/PlatformVersion.h"

namespace {

// The copy handed to the registry: every "/" a "\".
XpPlatformString RegistryForm(const XpString& text)
{
    XpPlatformString copy(text.GetString(), static_cast<std::size_t>(text.GetLength()));
    for (XpChar& c : copy)
        if (c == '/') c = '\\';
    return copy;
}

XpRegKey RootKey(int32_t root)
{
    return root == kXpRegMachineRoot ? XpRegRoot::LocalMachine : XpRegRoot::CurrentUser;
}

bool AsksReadOrWrite(uint32_t access)
{
    return (access & (XpRegFlag::Read | XpRegFlag::Write)) != 0;
}

}  // namespace

XpRegistry::~XpRegistry()
{
    if (m_hKey != kXpRegNoKey) XpPlatformRegCloseKey(m_hKey);
}

uint32_t XpRegistry::RequestedRights(uint32_t access, bool withViews)
{
    uint32_t rights = 0;
    if ((access & XpRegFlag::Read) != 0) rights |= XpRegAccess::Read;
    if ((access & XpRegFlag::Write) != 0) rights |= XpRegAccess::Write;
    if (withViews) {
        if ((access & XpRegFlag::View32) != 0) rights |= XpRegAccess::View32;
        if ((access & XpRegFlag::View64) != 0) rights |= XpRegAccess::View64;
    }
    return rights;
}

XpResult XpRegistry::OpenBelow(XpRegKey parent, const XpString& path, int32_t root, uint32_t access, uint32_t rights)
{
    const XpPlatformString native = RegistryForm(path);
    XpRegKey key = kXpRegNoKey;
    const bool readOnly = (access & (XpRegFlag::Read | XpRegFlag::Write)) == XpRegFlag::Read;
    const uint32_t rc = readOnly ? XpPlatformRegOpenKey(parent, native.c_str(), rights, &key)
                                 : XpPlatformRegCreateKey(parent, native.c_str(), rights, &key);
    if (rc != 0) return XpRc::Failure;
    m_hKey = key;
    m_strPath = path;
    m_nRoot = root;
    m_dwAccess = access;
    return XpRc::Ok;
}

XpResult XpRegistry::Open(const XpString& path, int32_t root, uint32_t access)
{
    Close();
    // Without a read or write flag nothing is asked for: a view flag alone would
    // otherwise reach the creating open and make the key.
    if (!AsksReadOrWrite(access)) return XpRc::Failure;
    bool views = false;
    if ((access & (XpRegFlag::View64 | XpRegFlag::View32)) != 0) {
        uint32_t minor = 0, platform = 0, major = 0;
        views = GetOSVersion(&minor, &platform, &major) == XpRc::Ok && platform == 2 &&
                (major > 5 || (major == 5 && minor >= 1));
    }
    return OpenBelow(RootKey(root), path, root, access, RequestedRights(access, views));
}

XpResult XpRegistry::Close()
{
    if (m_hKey == kXpRegNoKey) return XpRc::Failure;
    if (XpPlatformRegCloseKey(m_hKey) != 0) return XpRc::Failure;
    m_hKey = kXpRegNoKey;
    return XpRc::Ok;
}

XpString XpRegistry::GetStringValue(const XpString& name) const
{
    if (m_hKey == kXpRegNoKey) return XpString();
    const XpPlatformString native = RegistryForm(name);
    uint32_t size = 0;
    if (XpPlatformRegQueryValue(m_hKey, native.c_str(), nullptr, nullptr, &size) != 0) return XpString();
    // Four zero bytes beyond the value end the text whatever the value holds. The read
    // asks for the size first reported only, so a value that grew in between fails to
    // read instead of filling them.
    void* buffer = std::calloc(static_cast<std::size_t>(size) + 4, 1);
    if (buffer == nullptr) return XpString();
    uint32_t type = 0;
    uint32_t got = size;
    XpString text;
    if (XpPlatformRegQueryValue(m_hKey, native.c_str(), &type, buffer, &got) == 0 && type == XpRegType::Sz)
        text = static_cast<const XpChar*>(buffer);
    std::free(buffer);
    return text;
}

uint32_t XpRegistry::GetDWORDValue(const XpString& name) const
{
    const XpPlatformString native = RegistryForm(name);
    uint8_t bytes[4] = {};
    uint32_t size = sizeof(bytes);
    uint32_t type = 0;
    if (XpPlatformRegQueryValue(m_hKey, native.c_str(), &type, bytes, &size) != 0 || type != XpRegType::Dword ||
        size == 0)
        return 0;
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool XpRegistry::HasValue(const XpString& name) const
{
    if (m_hKey == kXpRegNoKey) return false;
    const XpPlatformString native = RegistryForm(name);
    uint32_t size = 0;
    return XpPlatformRegQueryValue(m_hKey, native.c_str(), nullptr, nullptr, &size) == 0 && size > 0;
}

bool XpRegistry::GetRawValue(const XpString& name, uint32_t* type, std::vector<uint8_t>* data) const
{
    if (m_hKey == kXpRegNoKey || type == nullptr || data == nullptr) return false;
    const XpPlatformString native = RegistryForm(name);
    uint32_t size = 0;
    if (XpPlatformRegQueryValue(m_hKey, native.c_str(), nullptr, nullptr, &size) != 0) return false;
    try {
        data->assign(size, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint32_t got = size;
    if (XpPlatformRegQueryValue(m_hKey, native.c_str(), type, data->data(), &got) != 0) {
        data->clear();
        return false;
    }
    data->resize(got);
    return true;
}

bool QueryDWORD(const XpRegistry* key, const XpString& name, uint32_t* value)
{
    if (key == nullptr || !key->HasValue(name)) return false;
    if (value != nullptr) *value = key->GetDWORDValue(name);
    return true;
}

XpRegistry* OpenSubKey(const XpRegistry* parent, const XpString& name)
{
    if (parent == nullptr || !parent->IsOpen()) return nullptr;
    XpString path = parent->GetPath();
    path += XP_T("/");
    path += name;
    XpRegistry* key = new (std::nothrow) XpRegistry;
    if (key == nullptr) return nullptr;
    if (key->Open(path, parent->GetRoot(), XpRegFlag::Read) != XpRc::Ok) {
        delete key;
        return nullptr;
    }
    return key;
}

XpRegistry* OpenMachineKey(const XpString& path)
{
    XpRegistry* key = new (std::nothrow) XpRegistry;
    if (key == nullptr) return nullptr;
    if (key->Open(path, kXpRegMachineRoot, XpRegFlag::Read) != XpRc::Ok) {
        delete key;
        return nullptr;
    }
    return key;
}

XpResult GetOSVersion(uint32_t* minor, uint32_t* platform, uint32_t* major)
{
    if (minor != nullptr) *minor = 0;
    if (platform != nullptr) *platform = 0;
    if (major != nullptr) *major = 0;
    // The one version record of the system; a Linux record's platform is none of the two
    // Windows ones, so the views (which Linux does not have) are never asked for there.
    XpOsVersion system;
    if (XpPlatformReadOsVersion(&system) != 0) return XpRc::Failure;
    if (platform != nullptr && (system.platformId == 1 || system.platformId == 2)) *platform = system.platformId;
    if (major != nullptr) *major = system.majorVersion;
    if (minor != nullptr) *minor = system.minorVersion;
    return XpRc::Ok;
}
