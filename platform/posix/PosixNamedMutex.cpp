#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformNamedMutex.h"
#include "platform/posix/PosixCommon.h"

namespace {

const char kDefaultFolder[] = "/tmp/.norvale-mutexes";

// The folder of the lock files, made world-writable and sticky when this process makes
// it. An existing one must be a real folder (not a link), sticky when others may write
// it, so that nobody can swap another's lock file.
std::string LockFolderName()
{
    const char* configured = std::getenv("KESTROW_MUTEX_DIR");
    return configured != nullptr && configured[0] != 0 ? configured : kDefaultFolder;
}

uint32_t LockFolder(std::string& folder)
{
    folder = LockFolderName();
    if (mkdir(folder.c_str(), 01777) == 0) {
        chmod(folder.c_str(), 01777);  // the umask took bits away
    } else if (errno != EEXIST) {
        return XpPosixWinError(errno, folder);
    }
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) return XpPosixWinError(errno, folder);
    if (!S_ISDIR(info.st_mode)) return XpWinError::AccessDenied;
    if ((info.st_mode & S_IWOTH) != 0 && (info.st_mode & S_ISVTX) == 0) return XpWinError::AccessDenied;
    return XpWinError::Success;
}

// "Global\\name" -> "global.name"; "Local\\name" and "name" -> "user-<uid>.name". Slashes
// cannot name a folder.
std::string LockFileName(const XpChar* name)
{
    std::string text = XpPosixToUtf8(name);
    std::string file;
    if (text.rfind("Global\\", 0) == 0) {
        file = "global." + text.substr(7);
    } else {
        if (text.rfind("Local\\", 0) == 0) text = text.substr(6);
        file = "user-" + std::to_string(static_cast<unsigned long>(geteuid())) + "." + text;
    }
    for (char& c : file)
        if (c == '/' || c == '\\') c = '_';
    return file;
}

// Whether /proc/locks lists a granted flock lock on the file (device and inode as the
// kernel prints them: "1: FLOCK  ADVISORY  WRITE 123 fd:01:4567 0 EOF"; lines of
// waiting requests start with "->").
bool HasFlockHolder(const struct stat& file, bool* known)
{
    *known = false;
    FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) return false;
    *known = true;
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, " %02x:%02x:%llu ", major(file.st_dev), minor(file.st_dev),
                  static_cast<unsigned long long>(file.st_ino));
    bool held = false;
    char line[512];
    while (!held && std::fgets(line, sizeof line, locks) != nullptr) {
        if (std::strstr(line, "->") != nullptr || std::strstr(line, " FLOCK ") == nullptr) continue;
        held = std::strstr(line, wanted) != nullptr;
    }
    std::fclose(locks);
    return held;
}

}  // namespace

uint32_t XpPlatformNamedMutexExists(const XpChar* name, bool* exists)
{
    *exists = true;
    if (name == nullptr || name[0] == 0) return XpWinError::InvalidParameter;
    const std::string path = LockFolderName() + "/" + LockFileName(name);
    // Opened only to learn its device and inode: no lock is taken, nothing is created.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) *exists = false;
        return errno == ENOENT || errno == ENOTDIR || errno == EACCES ? XpWinError::Success
                                                                      : XpPosixWinError(errno, path);
    }
    struct stat file {};
    const bool statted = fstat(fd, &file) == 0;
    close(fd);
    if (!statted) return XpPosixWinError(errno, path);
    bool known = false;
    *exists = HasFlockHolder(file, &known);
    if (!known) {
        *exists = true;
        return XpWinError::AccessDenied;
    }
    return XpWinError::Success;
}

uint32_t XpPlatformCreateNamedMutex(const XpChar* name, intptr_t* handle, bool* existed)
{
    *handle = 0;
    *existed = false;
    if (name == nullptr || name[0] == 0) return XpWinError::InvalidParameter;
    std::string folder;
    if (const uint32_t error = LockFolder(folder)) return error;
    const std::string path = folder + "/" + LockFileName(name);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return XpPosixWinError(errno, path);
    // Everyone must be able to lock it, whatever this process's umask; a file of another
    // user keeps its mode.
    fchmod(fd, 0666);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            const uint32_t error = XpPosixWinError(errno, path);
            close(fd);
            return error;
        }
        *existed = true;
    }
    *handle = fd + 1;  // 0 stays "no handle"
    return XpWinError::Success;
}

void XpPlatformCloseNamedMutex(intptr_t handle)
{
    if (handle != 0) close(static_cast<int>(handle - 1));
}
