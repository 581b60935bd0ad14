// The temporary folder, the running executable and the special folders on Linux.
//
// The user's folders follow the XDG base directories and the xdg-user-dirs file
// ($XDG_CONFIG_HOME/user-dirs.dirs). Linux has no shared counterpart of the "common"
// pictures, videos, music, documents and desktop folders of Windows, so those kinds
// report that the system has no such folder.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/PlatformFolders.h"
#include "platform/posix/PosixCommon.h"

namespace {

bool IsAbsolute(const std::string& path)
{
    return !path.empty() && path[0] == '/';
}

bool IsDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A path without its trailing separators ("/" stays "/").
std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// An environment value that names an absolute path; relative values are ignored, as the
// XDG base directories ask.
std::string AbsoluteEnv(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || !IsAbsolute(value)) return std::string();
    return WithoutTrailingSlash(value);
}

// $HOME, or the home folder of the user's passwd entry when $HOME is unset or empty.
std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != 0) return WithoutTrailingSlash(home);

    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == 0) return std::string();
    return WithoutTrailingSlash(found->pw_dir);
}

std::string ConfigHome(const std::string& home)
{
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (config.empty() && !home.empty()) config = home + "/.config";
    return config;
}

std::string DataHome(const std::string& home)
{
    std::string data = AbsoluteEnv("XDG_DATA_HOME");
    if (data.empty() && !home.empty()) data = home + "/.local/share";
    return data;
}

// The value of one line of user-dirs.dirs: a double-quoted text with backslash escapes,
// or a bare word. "$HOME" (or "${HOME}") at its start stands for the home folder. Only
// absolute results count; anything else leaves the folder at its default.
std::string ParseUserDirValue(const std::string& text, std::size_t pos, const std::string& home)
{
    std::string value;
    if (pos < text.size() && text[pos] == '"') {
        bool closed = false;
        for (++pos; pos < text.size(); ++pos) {
            const char c = text[pos];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c == '\\' && pos + 1 < text.size()) ++pos;
            value += text[pos];
        }
        if (!closed) return std::string();
    } else {
        while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t' && text[pos] != '#') value += text[pos++];
    }

    for (const char* variable : {"$HOME", "${HOME}"}) {
        const std::string prefix(variable);
        if (value.compare(0, prefix.size(), prefix) == 0 &&
            (value.size() == prefix.size() || value[prefix.size()] == '/')) {
            if (home.empty()) return std::string();
            value = home + value.substr(prefix.size());
            break;
        }
    }
    return IsAbsolute(value) ? WithoutTrailingSlash(value) : std::string();
}

// The folder that user-dirs.dirs names under key (XDG_PICTURES_DIR, ...), or empty.
// The file is shell syntax: the last assignment of a name wins.
std::string UserDir(const char* key, const std::string& home)
{
    const std::string config = ConfigHome(home);
    if (config.empty()) return std::string();
    std::ifstream file(config + "/user-dirs.dirs");
    if (!file) return std::string();

    const std::string name = std::string(key) + "=";
    std::string result;
    std::string line;
    while (std::getline(file, line)) {
        std::size_t pos = line.find_first_not_of(" \t");
        if (pos == std::string::npos || line[pos] == '#') continue;
        if (line.compare(pos, name.size(), name) != 0) continue;
        const std::string value = ParseUserDirValue(line, pos + name.size(), home);
        if (!value.empty()) result = value;
    }
    return result;
}

// A user folder: the user-dirs.dirs entry, else the home folder's subfolder.
std::string UserFolder(const char* key, const char* defaultName)
{
    const std::string home = HomeFolder();
    std::string folder = UserDir(key, home);
    if (folder.empty() && !home.empty()) folder = home + "/" + defaultName;
    return folder;
}

bool Answer(const std::string& path, XpPlatformString& out)
{
    if (path.empty()) return false;
    out = XpPosixFromUtf8(path);
    return true;
}

}  // namespace

bool XpPlatformGetTempPath(XpPlatformString& out)
{
    std::string path = AbsoluteEnv("TMPDIR");
    if (path.empty() || !IsDirectory(path)) path = "/tmp";
    if (path.back() != '/') path += '/';
    out = XpPosixFromUtf8(path);
    return true;
}

bool XpPlatformGetModulePath(XpPlatformString& out)
{
    std::vector<char> buffer(1024);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            out = XpPosixFromUtf8(buffer.data(), static_cast<std::size_t>(length));
            return true;
        }
        if (buffer.size() >= (1u << 16)) return false;
        buffer.resize(buffer.size() * 4);
    }
}

bool XpPlatformGetSpecialFolder(int kind, XpPlatformString& out, bool* createIfMissing)
{
    if (createIfMissing != nullptr)
        *createIfMissing =
            kind == XpSpecialFolder::Pictures || kind == XpSpecialFolder::Videos || kind == XpSpecialFolder::Music;

    switch (kind) {
        case XpSpecialFolder::Temp:
            return XpPlatformGetTempPath(out);
        case XpSpecialFolder::ModulePath:
            return XpPlatformGetModulePath(out);
        case XpSpecialFolder::Pictures:
            return Answer(UserFolder("XDG_PICTURES_DIR", "Pictures"), out);
        case XpSpecialFolder::Videos:
            return Answer(UserFolder("XDG_VIDEOS_DIR", "Videos"), out);
        case XpSpecialFolder::Music:
            return Answer(UserFolder("XDG_MUSIC_DIR", "Music"), out);
        case XpSpecialFolder::Documents:
            return Answer(UserFolder("XDG_DOCUMENTS_DIR", "Documents"), out);
        case XpSpecialFolder::Desktop:
            return Answer(UserFolder("XDG_DESKTOP_DIR", "Desktop"), out);
        case XpSpecialFolder::AppData:
            return Answer(DataHome(HomeFolder()), out);
        case XpSpecialFolder::Profile:
            return Answer(HomeFolder(), out);
        case XpSpecialFolder::CommonAppData:
            return Answer("/var/lib", out);
        // No shared pictures, videos, music, documents or desktop folders on Linux.
        case XpSpecialFolder::CommonPictures:
        case XpSpecialFolder::CommonVideos:
        case XpSpecialFolder::CommonMusic:
        case XpSpecialFolder::CommonDocuments:
        case XpSpecialFolder::CommonDesktop:
        default:
            return false;
    }
}
