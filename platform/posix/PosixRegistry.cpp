// The registry on Linux: key handles over the hive files of PosixRegistryStore.

#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/PlatformErrors.h"
#include "platform/PlatformRegistry.h"
#include "platform/posix/PosixRegistryStore.h"

namespace {

constexpr uint32_t kWriteRights = XpRegAccess::SetValue | XpRegAccess::CreateSubKey;

struct OpenKey {
    XpPosixHive hive;
    std::string file;       // the hive file as it was named when the key was opened
    XpPlatformString path;  // canonical, below the root
    uint32_t access;
};

std::mutex g_keysLock;

// The application object opens keys during static initialisation, possibly before this
// file's own objects are constructed: the table is made on first use.
std::unordered_map<XpRegKey, OpenKey>& Keys()
{
    static std::unordered_map<XpRegKey, OpenKey> keys;
    return keys;
}
XpRegKey g_nextKey = 0x1000;

uint32_t Resolve(XpRegKey key, OpenKey* out)
{
    if (key == XpRegRoot::LocalMachine || key == XpRegRoot::CurrentUser) {
        const XpPosixHive hive = key == XpRegRoot::LocalMachine ? XpPosixHive::Machine : XpPosixHive::User;
        *out = OpenKey{hive, XpPosixHivePath(hive), XpPlatformString(), 0xFFFFFFFF};
        return XpWinError::Success;
    }
    std::lock_guard<std::mutex> guard(g_keysLock);
    const auto it = Keys().find(key);
    if (it == Keys().end()) return XpWinError::InvalidHandle;
    *out = it->second;
    return XpWinError::Success;
}

XpRegKey AddKey(OpenKey key)
{
    std::lock_guard<std::mutex> guard(g_keysLock);
    const XpRegKey handle = g_nextKey;
    g_nextKey += 4;
    Keys().emplace(handle, std::move(key));
    return handle;
}

// A hive file is made of lines: a name that holds a line break cannot be stored.
bool Storable(const XpChar* name)
{
    for (; name != nullptr && *name != 0; ++name)
        if (*name == '\r' || *name == '\n') return false;
    return true;
}

XpPlatformString NameOf(const XpChar* name)
{
    return name != nullptr ? XpPlatformString(name) : XpPlatformString();
}

// The key as the hive holds it now: KeyDeleted when it is gone.
uint32_t CurrentImage(const OpenKey& key, std::shared_ptr<const XpHiveImage>* image)
{
    const uint32_t rc = XpPosixReadHive(key.file, key.hive, image);
    if (rc != 0) return rc;
    return (*image)->KeyExists(key.path) ? XpWinError::Success : XpWinError::KeyDeleted;
}

// The key that path names below parent, and its hive as it is now; *key is cleared.
uint32_t Locate(XpRegKey parent, const XpChar* path, uint32_t access, XpRegKey* key, OpenKey* opened,
                std::shared_ptr<const XpHiveImage>* image)
{
    if (key == nullptr) return XpWinError::InvalidParameter;
    *key = kXpRegNoKey;
    OpenKey base;
    uint32_t rc = Resolve(parent, &base);
    if (rc != 0) return rc;
    *opened = OpenKey{base.hive, base.file, XpPlatformString(), access};
    rc = XpHiveJoinPath(base.path, path, opened->path);
    if (rc != 0) return rc;
    return XpPosixReadHive(opened->file, opened->hive, image);
}

}  // namespace

uint32_t XpPlatformRegOpenKey(XpRegKey parent, const XpChar* path, uint32_t access, XpRegKey* key)
{
    OpenKey opened;
    std::shared_ptr<const XpHiveImage> image;
    uint32_t rc = Locate(parent, path, access, key, &opened, &image);
    if (rc != 0) return rc;
    if (!image->KeyExists(opened.path)) return XpWinError::FileNotFound;
    *key = AddKey(std::move(opened));
    return XpWinError::Success;
}

uint32_t XpPlatformRegCreateKey(XpRegKey parent, const XpChar* path, uint32_t access, XpRegKey* key)
{
    if (!Storable(path)) return XpWinError::InvalidParameter;
    OpenKey opened;
    std::shared_ptr<const XpHiveImage> image;
    uint32_t rc = Locate(parent, path, access, key, &opened, &image);
    if (rc != 0) return rc;
    if (!image->IsValid()) return XpWinError::BadDb;
    if (image->KeyExists(opened.path)) {
        if ((access & kWriteRights) != 0) rc = XpPosixCanWriteHive(opened.file);
    } else {
        const XpPlatformString& target = opened.path;
        rc = XpPosixChangeHive(opened.file, opened.hive, [&target](XpHiveModel& model, bool* changed) {
            *changed = !model.KeyExists(target) && model.CreateKey(target);
            return XpWinError::Success;
        });
    }
    if (rc != 0) return rc;
    *key = AddKey(std::move(opened));
    return XpWinError::Success;
}

uint32_t XpPlatformRegOpenCurrentUser(uint32_t access, XpRegKey* key)
{
    if (key == nullptr) return XpWinError::InvalidParameter;
    *key = AddKey(OpenKey{XpPosixHive::User, XpPosixHivePath(XpPosixHive::User), XpPlatformString(), access});
    return XpWinError::Success;
}

uint32_t XpPlatformRegCloseKey(XpRegKey key)
{
    if (key == XpRegRoot::LocalMachine || key == XpRegRoot::CurrentUser) return XpWinError::Success;
    std::lock_guard<std::mutex> guard(g_keysLock);
    return Keys().erase(key) != 0 ? XpWinError::Success : XpWinError::InvalidHandle;
}

uint32_t XpPlatformRegQueryValue(XpRegKey key, const XpChar* name, uint32_t* type, void* data, uint32_t* size)
{
    OpenKey opened;
    uint32_t rc = Resolve(key, &opened);
    if (rc != 0) return rc;
    if (data != nullptr && size == nullptr) return XpWinError::InvalidParameter;
    if ((opened.access & XpRegAccess::QueryValue) == 0) return XpWinError::AccessDenied;
    std::shared_ptr<const XpHiveImage> image;
    rc = CurrentImage(opened, &image);
    if (rc != 0) return rc;
    XpHiveValue value;
    if (!image->FindValue(opened.path, name, &value)) return XpWinError::FileNotFound;
    if (type != nullptr) *type = value.type;
    if (size == nullptr) return XpWinError::Success;
    const uint32_t needed = static_cast<uint32_t>(value.data.size());
    if (data != nullptr && *size < needed) {
        *size = needed;
        return XpWinError::MoreData;
    }
    if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return XpWinError::Success;
}

uint32_t XpPlatformRegSetValue(XpRegKey key, const XpChar* name, uint32_t type, const void* data, uint32_t size)
{
    OpenKey opened;
    uint32_t rc = Resolve(key, &opened);
    if (rc != 0) return rc;
    if ((data == nullptr && size > 0) || !Storable(name)) return XpWinError::InvalidParameter;
    if ((opened.access & XpRegAccess::SetValue) == 0) return XpWinError::AccessDenied;
    XpHiveValue value;
    value.name = NameOf(name);
    value.type = type;
    if (size > 0) value.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return XpPosixChangeHive(opened.file, opened.hive, [&](XpHiveModel& model, bool* changed) {
        if (!model.KeyExists(opened.path)) return XpWinError::KeyDeleted;
        model.SetValue(opened.path, value);
        *changed = true;
        return XpWinError::Success;
    });
}

uint32_t XpPlatformRegDeleteValue(XpRegKey key, const XpChar* name)
{
    OpenKey opened;
    uint32_t rc = Resolve(key, &opened);
    if (rc != 0) return rc;
    if ((opened.access & XpRegAccess::SetValue) == 0) return XpWinError::AccessDenied;
    const XpPlatformString target = NameOf(name);
    return XpPosixChangeHive(opened.file, opened.hive, [&](XpHiveModel& model, bool* changed) {
        if (!model.KeyExists(opened.path)) return XpWinError::KeyDeleted;
        *changed = model.DeleteValue(opened.path, target);
        return *changed ? XpWinError::Success : XpWinError::FileNotFound;
    });
}

uint32_t XpPlatformRegDeleteTree(XpRegKey parent, const XpChar* path)
{
    OpenKey base;
    uint32_t rc = Resolve(parent, &base);
    if (rc != 0) return rc;
    XpPlatformString target;
    rc = XpHiveJoinPath(base.path, path, target);
    if (rc != 0) return rc;
    const bool keepKey = path == nullptr || path[0] == 0;
    return XpPosixChangeHive(base.file, base.hive, [&](XpHiveModel& model, bool* changed) {
        if (!model.KeyExists(target)) return keepKey ? XpWinError::KeyDeleted : XpWinError::FileNotFound;
        *changed = model.DeleteTree(target);
        // Below a key named by its handle alone, the key itself stays.
        if (keepKey && !target.empty()) *changed = model.CreateKey(target) || *changed;
        return XpWinError::Success;
    });
}

void XpPlatformRegForgetCachedHives()
{
    XpPosixForgetHives();
}
