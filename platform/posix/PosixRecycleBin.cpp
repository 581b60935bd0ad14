// The recycle bin on Linux: the freedesktop.org Trash.
//
// An item on the same file system as the home trash ($XDG_DATA_HOME/Trash) goes there;
// an item on another file system goes to the trash of that file system's top folder,
// $topdir/.Trash-$uid, made on first use. The shared $topdir/.Trash/$uid form (a sticky
// folder an administrator prepares) is not used: .Trash-$uid is always acceptable.
// Items are never copied across file systems and never deleted outright: when no trash
// can take an item, the item stays where it is and the call fails.
//
// Each item gets its record info/NAME.trashinfo (original path and deletion date) before
// it is moved to files/NAME, so that a trash browser never sees an item it cannot put
// back. The record is created exclusively, which also reserves NAME against other
// programs trashing an item of the same name at the same moment.
//
// There is no user interface on this side: quiet and not quiet behave the same.

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformFolders.h"
#include "platform/PlatformRecycleBin.h"
#include "platform/posix/PosixCommon.h"
#include "platform/posix/PosixShareModes.h"

namespace {

constexpr std::size_t kMaxFileNameBytes = 255;
constexpr char kInfoSuffix[] = ".trashinfo";

struct Item {
    std::string path;    // absolute, through the real path of its folder
    std::string folder;  // the real path of its folder
    std::string name;    // the last part
    dev_t device = 0;
};

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

uint32_t ResolveItem(const XpChar* path, Item& item)
{
    std::string text = XpPosixToUtf8(path);
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    const std::size_t slash = text.find_last_of('/');
    item.name = slash == std::string::npos ? text : text.substr(slash + 1);
    if (item.name.empty() || item.name == "." || item.name == "..") return XpWinError::InvalidParameter;

    const std::string folder = FolderOf(text);
    char* real = realpath(folder.c_str(), nullptr);
    if (real == nullptr) {
        const int error = errno;
        return error == ENOENT ? XpWinError::PathNotFound : XpPosixWinError(error, folder);
    }
    item.folder = real;
    free(real);
    item.path = Join(item.folder, item.name);

    struct stat info;
    if (lstat(item.path.c_str(), &info) != 0) return XpPosixWinError(errno, item.path);
    item.device = info.st_dev;
    return XpWinError::Success;
}

// The device of path, or of its nearest existing folder when it does not exist yet.
bool DeviceOf(std::string path, dev_t& device)
{
    for (;;) {
        struct stat info;
        if (stat(path.c_str(), &info) == 0) {
            device = info.st_dev;
            return true;
        }
        if (errno != ENOENT || path == "/" || path.empty()) return false;
        path = FolderOf(path);
    }
}

// Makes a folder of the trash. Existing folders of the home trash are taken as they are
// (a user may link the trash elsewhere); in a volume's trash, which anyone with write
// access to the volume could have prepared, only a real folder of our own is trusted.
uint32_t MakeTrashFolder(const std::string& path, bool mustBeOwn)
{
    if (mkdir(path.c_str(), 0700) == 0) return XpWinError::Success;
    const int error = errno;
    if (error != EEXIST) return XpPosixWinError(error, path);
    struct stat info;
    if (mustBeOwn) {
        if (lstat(path.c_str(), &info) != 0) return XpPosixWinError(errno, path);
        if (!S_ISDIR(info.st_mode) || info.st_uid != getuid()) return XpWinError::AccessDenied;
    } else {
        if (stat(path.c_str(), &info) != 0) return XpPosixWinError(errno, path);
        if (!S_ISDIR(info.st_mode)) return XpWinError::AccessDenied;
    }
    return XpWinError::Success;
}

// Makes every missing level of an absolute path.
uint32_t MakeFolders(const std::string& path)
{
    std::size_t pos = 1;
    for (;;) {
        const std::size_t slash = path.find('/', pos);
        const std::string level = path.substr(0, slash);
        if (!level.empty() && level.back() != '/') {
            const uint32_t result = MakeTrashFolder(level, false);
            if (result != XpWinError::Success) return result;
        }
        if (slash == std::string::npos) return XpWinError::Success;
        pos = slash + 1;
    }
}

uint32_t MakeSubfolders(const std::string& trash, bool mustBeOwn)
{
    uint32_t result = MakeTrashFolder(trash + "/files", mustBeOwn);
    if (result == XpWinError::Success) result = MakeTrashFolder(trash + "/info", mustBeOwn);
    return result;
}

// The home trash folder, empty when there is no home folder.
std::string HomeTrash()
{
    XpPlatformString dataHome;
    if (!XpPlatformGetSpecialFolder(XpSpecialFolder::AppData, dataHome, nullptr)) return std::string();
    return Join(XpPosixToUtf8(dataHome.c_str()), "Trash");
}

// The top folder of the file system that holds the item: the highest folder above it on
// the same device.
uint32_t FindTopFolder(const Item& item, std::string& top)
{
    struct stat info;
    if (stat(item.folder.c_str(), &info) != 0) return XpPosixWinError(errno, item.folder);
    // The item is itself the root of a mounted file system: it cannot be moved anywhere.
    if (info.st_dev != item.device) return XpWinError::AccessDenied;
    top = item.folder;
    while (top != "/") {
        const std::string up = FolderOf(top);
        if (stat(up.c_str(), &info) != 0 || info.st_dev != item.device) break;
        top = up;
    }
    return XpWinError::Success;
}

// Percent-encodes a path for the Path key: everything but the unreserved characters and
// the separator, byte by byte, so names in any encoding survive.
std::string EncodePath(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        const unsigned char b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '_' ||
            b == '.' || b == '~' || b == '/') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

std::string DeletionDate()
{
    const time_t now = time(nullptr);
    struct tm local;
    char text[32] = {};
    if (localtime_r(&now, &local) == nullptr || strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0)
        return "1970-01-01T00:00:00";
    return text;
}

// The name of the n-th try: the item's own name first, then "name.2", "name.3", ...
// Long names are shortened (at a character boundary) so that the record's file name
// still fits the file system; the record keeps the full original path.
std::string TrashName(const std::string& name, unsigned attempt)
{
    const std::string suffix = attempt > 1 ? "." + std::to_string(attempt) : std::string();
    const std::size_t room = kMaxFileNameBytes - (sizeof kInfoSuffix - 1) - suffix.size();
    std::string base = name;
    if (base.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    return base + suffix;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Moves without ever replacing an existing entry.
int RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
    // A file system without the no-replace flag: check first, then rename.
    struct stat info;
    if (lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from.c_str(), to.c_str());
}

uint32_t MoveIntoTrash(const Item& item, const std::string& trash, const std::string& recordedPath)
{
    const std::string record =
        "[Trash Info]\nPath=" + EncodePath(recordedPath) + "\nDeletionDate=" + DeletionDate() + "\n";
    for (unsigned attempt = 1; attempt < 100000; ++attempt) {
        const std::string name = TrashName(item.name, attempt);
        const std::string infoPath = trash + "/info/" + name + kInfoSuffix;
        const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return XpPosixWinError(errno, infoPath);
        }
        const bool written = WriteAll(fd, record);
        int error = written ? 0 : errno;
        if (close(fd) != 0 && written) error = errno;
        if (error != 0) {
            unlink(infoPath.c_str());
            return XpPosixWinError(error, infoPath);
        }

        if (RenameNoReplace(item.path, trash + "/files/" + name) == 0) return XpWinError::Success;
        error = errno;
        unlink(infoPath.c_str());
        // A stray entry under files/ without its record: try the next name.
        if (error == EEXIST || error == ENOTEMPTY) continue;
        return XpPosixWinError(error, item.path);
    }
    return XpWinError::AlreadyExists;
}

// Moves a resolved item into the trash that can take it, or fails and leaves it.
uint32_t TrashResolved(const Item& item)
{
    uint32_t result = XpWinError::Success;
    const std::string homeTrash = HomeTrash();
    dev_t homeDevice = 0;
    if (!homeTrash.empty() && DeviceOf(homeTrash, homeDevice) && homeDevice == item.device) {
        result = MakeFolders(homeTrash);
        if (result == XpWinError::Success) result = MakeSubfolders(homeTrash, false);
        if (result != XpWinError::Success) return result;
        return MoveIntoTrash(item, homeTrash, item.path);
    }

    std::string top;
    result = FindTopFolder(item, top);
    if (result != XpWinError::Success) return result;
    const std::string trash = Join(top, ".Trash-" + std::to_string(getuid()));
    result = MakeTrashFolder(trash, true);
    if (result == XpWinError::Success) result = MakeSubfolders(trash, true);
    if (result != XpWinError::Success) return result;
    // A volume's trash records paths relative to its top folder, so the records stay
    // right wherever the volume is mounted next time.
    const std::string relative = top == "/" ? item.path.substr(1) : item.path.substr(top.size() + 1);
    return MoveIntoTrash(item, trash, relative);
}

uint32_t TrashOne(const XpChar* path)
{
    Item item;
    uint32_t result = ResolveItem(path, item);
    if (result != XpWinError::Success) return result;
    // Moving a file is deleting its name: refused while an open denies delete, and held
    // against such opens until the move is done.
    int holder = -1;
    result = XpPosixBeginDelete(AT_FDCWD, item.path.c_str(), &holder);
    if (result != XpWinError::Success) return result;
    result = TrashResolved(item);
    if (holder >= 0) close(holder);
    return result;
}

}  // namespace

uint32_t XpPlatformMoveToRecycleBin(const XpChar* const* paths, std::size_t count, bool quiet)
{
    (void)quiet;
    if (count == 0) return XpWinError::Success;
    if (paths == nullptr) return XpWinError::InvalidParameter;
    // An empty or missing entry is refused before anything moves.
    for (std::size_t i = 0; i < count; ++i)
        if (paths[i] == nullptr || paths[i][0] == 0) return XpWinError::InvalidParameter;
    for (std::size_t i = 0; i < count; ++i) {
        const uint32_t result = TrashOne(paths[i]);
        if (result != XpWinError::Success) return result;
    }
    return XpWinError::Success;
}
