// The running programs by executable file name, from /proc, and the administrator test.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformProcess.h"
#include "platform/posix/PosixCommon.h"

namespace {

std::string LastPart(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable's path from the exe link. A file that was replaced or removed since the
// start is shown with " (deleted)" after its name: the process still runs that program.
bool ExecutablePath(const std::string& folder, std::string* path)
{
    char buffer[4096];
    const ssize_t length = readlink((folder + "/exe").c_str(), buffer, sizeof buffer);
    if (length <= 0 || length == static_cast<ssize_t>(sizeof buffer)) return false;
    path->assign(buffer, static_cast<size_t>(length));
    static const std::string kDeleted = " (deleted)";
    if (path->size() > kDeleted.size() && path->compare(path->size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        path->resize(path->size() - kDeleted.size());
    return true;
}

// The first word of the command line, for a process whose exe link this process may not
// read. Kernel threads and ended processes have none.
bool FirstArgument(const std::string& folder, std::string* word)
{
    const int fd = open((folder + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t length;
    do {
        length = read(fd, buffer, sizeof buffer - 1);
    } while (length < 0 && errno == EINTR);
    close(fd);
    if (length <= 0) return false;
    buffer[length] = 0;
    word->assign(buffer);
    return !word->empty();
}

}  // namespace

uint32_t XpPlatformListProcessFileNames(std::vector<XpPlatformString>* names)
{
    names->clear();
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return XpPosixWinError(errno, "/proc");
    while (const dirent* entry = readdir(proc)) {
        const std::string id = entry->d_name;
        if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string folder = "/proc/" + id;
        std::string path;
        if (!ExecutablePath(folder, &path) && !FirstArgument(folder, &path)) continue;
        const std::string name = LastPart(path);
        if (!name.empty()) names->push_back(XpPosixFromUtf8(name));
    }
    closedir(proc);
    return XpWinError::Success;
}

bool XpPlatformIsUserAnAdmin()
{
    return geteuid() == 0;
}
