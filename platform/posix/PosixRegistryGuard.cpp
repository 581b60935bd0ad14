// Whether the machine hive can only have been written by an administrator: the hive
// file, its folder and every folder above it are checked by their owner and mode.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/PlatformRegistry.h"
#include "platform/posix/PosixRegistryStore.h"

namespace {

// Owned by root or by this process's user, and writable by nobody else: a folder that
// others may write counts when it is sticky (nobody renames another's entries there).
bool IsGuarded(const struct stat& info, bool folder)
{
    if (info.st_uid != 0 && info.st_uid != geteuid()) return false;
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
    return folder && (info.st_mode & S_ISVTX) != 0;
}

}  // namespace

bool XpPlatformRegMachineHiveIsProtected()
{
    const std::string file = XpPosixHivePath(XpPosixHive::Machine);
    const std::string::size_type slash = file.find_last_of('/');
    const std::string folder = slash == 0 ? std::string("/") : file.substr(0, slash);
    // The folders as the system resolves them: a link on the way is checked where it leads.
    char* resolved = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (resolved == nullptr) return false;
    std::string walk(resolved);
    std::free(resolved);
    for (;;) {
        struct stat info {};
        if (lstat(walk.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !IsGuarded(info, true)) return false;
        if (walk == "/") break;
        const std::string::size_type up = walk.find_last_of('/');
        walk = up == 0 ? std::string("/") : walk.substr(0, up);
    }
    // The hive itself, not followed if it is a link: a link there is no administrator's file.
    struct stat info {};
    if (lstat(file.c_str(), &info) != 0) return true;  // no hive: nothing to take from it
    return S_ISREG(info.st_mode) && IsGuarded(info, false);
}
