// The hive files of the Linux registry: locations, cached reads, locked atomic changes.

#include "platform/posix/PosixRegistryStore.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/PlatformErrors.h"
#include "platform/posix/PosixCommon.h"

namespace {

constexpr XpHiveRoot kMachineRoot{XP_T("HKEY_LOCAL_MACHINE"), XP_T("HKLM")};
constexpr XpHiveRoot kUserRoot{XP_T("HKEY_CURRENT_USER"), XP_T("HKCU")};

// A file changed this recently may change again within the file system's time-stamp
// granularity without its size or time showing it: such a read is not kept.
constexpr time_t kRacySeconds = 2;

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFolder()
{
    std::string home = Environment("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        home = found->pw_dir;
    return home;
}

std::string FolderOf(const std::string& file)
{
    const std::size_t slash = file.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// What identifies one version of a hive file.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
    struct timespec changed {};

    static FileStamp Of(const struct stat& info)
    {
        return FileStamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    }
    bool operator==(const FileStamp& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

struct CachedHive {
    FileStamp stamp;
    std::shared_ptr<const XpHiveImage> image;
};

std::mutex g_cacheLock;

// The application object reads the registry during static initialisation, possibly before
// this file's own objects are constructed: the cache is made on first use.
std::map<std::string, CachedHive>& Cache()
{
    static std::map<std::string, CachedHive> cache;
    return cache;
}

bool IsRacy(const struct stat& info)
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return info.st_mtim.tv_sec + kRacySeconds >= now.tv_sec;
}

// Reads the whole file. A missing file gives an empty image and *exists false.
uint32_t ReadFile(const std::string& file, XpPosixHive hive, std::shared_ptr<const XpHiveImage>* image,
                  struct stat* info, bool* exists)
{
    *exists = false;
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            *image = std::make_shared<XpHiveImage>(std::vector<char16_t>(), 0, XpPosixHiveRoot(hive));
            return XpWinError::Success;
        }
        return XpPosixWinError(error, file);
    }
    if (fstat(fd, info) != 0) {
        const int error = errno;
        close(fd);
        return XpPosixWinError(error, file);
    }
    if (!S_ISREG(info->st_mode)) {
        close(fd);
        return XpWinError::AccessDenied;
    }
    const std::size_t size = static_cast<std::size_t>(info->st_size);
    std::vector<char16_t> storage(size / 2 + 1);
    auto* bytes = reinterpret_cast<char*>(storage.data());
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, bytes + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            close(fd);
            return XpPosixWinError(error, file);
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    *exists = true;
    *image = std::make_shared<XpHiveImage>(std::move(storage), done, XpPosixHiveRoot(hive));
    return XpWinError::Success;
}

uint32_t WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return XpPosixWinError(put < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(put);
    }
    return XpWinError::Success;
}

// Every missing folder on the way to path.
uint32_t MakeFolders(const std::string& path, mode_t mode)
{
    struct stat info;
    if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : XpWinError::PathNotFound;
    const std::string parent = FolderOf(path);
    if (parent != path) {
        const uint32_t rc = MakeFolders(parent, mode);
        if (rc != 0) return rc;
    }
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return XpPosixWinError(errno, path);
    return XpWinError::Success;
}

// Writes the new text beside the hive, flushes it and renames it over the hive: after a
// crash the hive is the old file or the new one, whole. The folder is not flushed: as
// with the Windows registry's lazy flush, the last change may be lost, never torn.
uint32_t ReplaceFile(const std::string& file, const std::string& bytes, mode_t mode)
{
    const std::string temporary = file + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return XpPosixWinError(errno, temporary);
    uint32_t rc = WriteAll(fd, bytes);
    if (rc == 0 && fchmod(fd, mode) != 0) rc = XpPosixWinError(errno);
    if (rc == 0 && fdatasync(fd) != 0) rc = XpPosixWinError(errno);
    if (close(fd) != 0 && rc == 0) rc = XpPosixWinError(errno);
    if (rc == 0 && rename(temporary.c_str(), file.c_str()) != 0) rc = XpPosixWinError(errno, file);
    if (rc != 0) unlink(temporary.c_str());
    return rc;
}

}  // namespace

std::string XpPosixHivePath(XpPosixHive hive)
{
    const char* name = hive == XpPosixHive::Machine ? "machine.reg" : "user.reg";
    std::string folder = Environment("NORVALE_REGISTRY_DIR");
    if (folder.empty()) {
        if (hive == XpPosixHive::Machine) {
            folder = "/var/lib/norvale/registry";
        } else {
            std::string config = Environment("XDG_CONFIG_HOME");
            if (config.empty() || config[0] != '/') config = HomeFolder() + "/.config";
            folder = config + "/norvale/registry";
        }
    }
    if (folder.back() != '/') folder += '/';
    return folder + name;
}

const XpHiveRoot& XpPosixHiveRoot(XpPosixHive hive)
{
    return hive == XpPosixHive::Machine ? kMachineRoot : kUserRoot;
}

uint32_t XpPosixReadHive(const std::string& file, XpPosixHive hive, std::shared_ptr<const XpHiveImage>* image)
{
    std::lock_guard<std::mutex> guard(g_cacheLock);
    struct stat info;
    const auto cached = Cache().find(file);
    if (cached != Cache().end() && stat(file.c_str(), &info) == 0 && cached->second.stamp == FileStamp::Of(info)) {
        *image = cached->second.image;
        return XpWinError::Success;
    }
    if (cached != Cache().end()) Cache().erase(cached);
    bool exists = false;
    const uint32_t rc = ReadFile(file, hive, image, &info, &exists);
    if (rc == 0 && exists && !IsRacy(info)) Cache()[file] = CachedHive{FileStamp::Of(info), *image};
    return rc;
}

uint32_t XpPosixChangeHive(const std::string& file, XpPosixHive hive, const XpPosixHiveChange& change)
{
    const std::string lockName = file + ".lock";
    int lock = open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    uint32_t rc = 0;
    if (lock < 0 && errno == ENOENT) {
        // No folder yet, so no hive: only a change that writes makes the folder.
        XpHiveModel empty;
        bool changed = false;
        rc = change(empty, &changed);
        if (rc != 0 || !changed) return rc;
        rc = MakeFolders(FolderOf(file), hive == XpPosixHive::Machine ? 0755 : 0700);
        if (rc != 0) return rc;
        lock = open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    }
    if (lock < 0) return XpPosixWinError(errno, lockName);
    while (flock(lock, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            close(lock);
            return XpPosixWinError(error);
        }
    }
    std::shared_ptr<const XpHiveImage> image;
    struct stat info;
    bool exists = false;
    rc = ReadFile(file, hive, &image, &info, &exists);
    XpHiveModel model;
    if (rc == 0 && !image->ToModel(model)) rc = XpWinError::BadDb;
    bool changed = false;
    if (rc == 0) rc = change(model, &changed);
    if (rc == 0 && changed) {
        const mode_t mode = exists ? (info.st_mode & 07777) : (hive == XpPosixHive::Machine ? 0644 : 0600);
        rc = ReplaceFile(file, model.Serialize(XpPosixHiveRoot(hive)), mode);
        std::lock_guard<std::mutex> guard(g_cacheLock);
        Cache().erase(file);
    }
    close(lock);
    return rc;
}

uint32_t XpPosixCanWriteHive(const std::string& file)
{
    if (faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return XpPosixWinError(errno, file);
    const std::string folder = FolderOf(file);
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return XpPosixWinError(errno, folder);
    return XpWinError::Success;
}

void XpPosixForgetHives()
{
    std::lock_guard<std::mutex> guard(g_cacheLock);
    Cache().clear();
}
