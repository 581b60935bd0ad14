// Directory search on Linux with the answers of FindFirstFileW: the last part of the
// pattern may hold * and ? (matched case-sensitively, as Linux names are); a pattern
// without wildcards finds that one entry.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <new>
#include <string>
#include <string_view>

#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/posix/PosixCommon.h"
#include "platform/posix/PosixFileInfo.h"

namespace {
using XpCharView = std::basic_string_view<XpChar>;

struct FindState {
    DIR* dir = nullptr;  // null once a single-entry search has given its entry
    XpPlatformString pattern;
};

bool HasWildcards(XpCharView text)
{
    return text.find_first_of(XP_T("*?")) != XpCharView::npos;
}

// '*' matches any run of characters and '?' any one. As with Windows, a '.' followed
// only by '*'s at the end of the pattern also matches the end of the name, so "name.*"
// finds "name" and "*.*" finds every entry.
bool Matches(XpCharView pattern, XpCharView name)
{
    constexpr std::size_t kNone = XpCharView::npos;
    std::size_t p = 0, n = 0, star = kNone, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == XP_T('*')) {
            star = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == XP_T('?') || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (star != kNone) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == XP_T('*')) ++p;
    if (p < pattern.size() && pattern[p] == XP_T('.')) {
        ++p;
        while (p < pattern.size() && pattern[p] == XP_T('*')) ++p;
    }
    return p == pattern.size();
}

// Fills data for the entry at path (relative to dirFd). Returns 0, an errno, or -1 for
// a name too long for the record (such an entry is passed over).
int Fill(int dirFd, const char* path, XpCharView name, std::string_view utf8Name, XpFindData* data)
{
    if (name.size() >= sizeof(data->name) / sizeof(data->name[0])) return -1;
    XpPosixFileInfo info;
    const int error = XpPosixStatAt(dirFd, path, AT_SYMLINK_NOFOLLOW, &info);
    if (error != 0) return error;
    data->attributes = XpPosixAttributes(dirFd, path, info.mode, utf8Name);
    data->creationTime = XpPosixToFileTime(info.creation);
    data->lastAccessTime = XpPosixToFileTime(info.access);
    data->lastWriteTime = XpPosixToFileTime(info.modification);
    data->size = S_ISDIR(info.mode) || S_ISLNK(info.mode) ? 0 : info.size;
    name.copy(data->name, name.size());
    data->name[name.size()] = 0;
    return 0;
}

// The folder of a search is not a directory: a file in its place, or a file further up.
uint32_t FolderError(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) return kXpPosixErrorDirectory;
    return XpWinError::PathNotFound;
}

FindState* StateOf(XpFindHandle handle)
{
    return handle == kXpInvalidFindHandle || handle == 0 ? nullptr : reinterpret_cast<FindState*>(handle);
}

// The next entry of the listing that matches; NoMoreFiles at its end.
uint32_t NextMatch(FindState* state, XpFindData* data)
{
    if (state->dir == nullptr) return XpWinError::NoMoreFiles;
    for (;;) {
        errno = 0;
        const struct dirent* entry = readdir(state->dir);
        if (entry == nullptr) return errno == 0 ? XpWinError::NoMoreFiles : XpPosixWinError(errno);
        const std::string_view utf8Name(entry->d_name);
        const XpPlatformString name = XpPosixFromUtf8(utf8Name.data(), utf8Name.size());
        if (!Matches(state->pattern, name)) continue;
        // An entry removed since the listing was read, or with a name too long, is passed over.
        if (Fill(dirfd(state->dir), entry->d_name, name, utf8Name, data) == 0) return XpWinError::Success;
    }
}
}  // namespace

uint32_t XpPlatformFindFirst(const XpChar* pattern, XpFindData* data, XpFindHandle* handle)
{
    if (handle == nullptr) return XpWinError::InvalidParameter;
    *handle = kXpInvalidFindHandle;
    if (pattern == nullptr || data == nullptr) return XpWinError::InvalidParameter;
    const XpCharView text(pattern);
    const std::size_t slash = text.find_last_of(XP_T('/'));
    const std::size_t split = slash == XpCharView::npos ? 0 : slash + 1;
    const std::string folder = XpPosixToUtf8(pattern, static_cast<std::ptrdiff_t>(split));
    const std::string listed = folder.empty() ? std::string(".") : folder;
    const XpCharView last = text.substr(split);

    // A pattern ending in a separator names nothing to look for.
    if (last.empty()) return XpWinError::FileNotFound;
    auto* state = new (std::nothrow) FindState;
    if (state == nullptr) return XpWinError::NotEnoughMemory;
    if (!HasWildcards(last)) {
        const std::string path = folder + XpPosixToUtf8(last.data(), static_cast<std::ptrdiff_t>(last.size()));
        const int error = Fill(AT_FDCWD, path.c_str(), last, XpPosixLastPathPart(path), data);
        if (error != 0) {
            delete state;
            if (error == -1) return XpWinError::FilenameExcedRange;
            return error == ENOTDIR ? FolderError(listed) : XpPosixWinError(error, path);
        }
        *handle = reinterpret_cast<XpFindHandle>(state);
        return XpWinError::Success;
    }
    state->pattern.assign(last.data(), last.size());
    state->dir = opendir(listed.c_str());
    if (state->dir == nullptr) {
        const int error = errno;
        delete state;
        if (error == ENOTDIR) return FolderError(listed);
        return error == ENOENT ? XpWinError::PathNotFound : XpPosixWinError(error);
    }
    const uint32_t rc = NextMatch(state, data);
    if (rc != XpWinError::Success) {
        closedir(state->dir);
        delete state;
        return rc == XpWinError::NoMoreFiles ? XpWinError::FileNotFound : rc;
    }
    *handle = reinterpret_cast<XpFindHandle>(state);
    return XpWinError::Success;
}

uint32_t XpPlatformFindNext(XpFindHandle handle, XpFindData* data)
{
    FindState* state = StateOf(handle);
    if (state == nullptr) return XpWinError::InvalidHandle;
    if (data == nullptr) return XpWinError::InvalidParameter;
    return NextMatch(state, data);
}

uint32_t XpPlatformFindClose(XpFindHandle handle)
{
    FindState* state = StateOf(handle);
    if (state == nullptr) return XpWinError::InvalidHandle;
    if (state->dir != nullptr) closedir(state->dir);
    delete state;
    return XpWinError::Success;
}
