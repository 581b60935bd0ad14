// The running program's path and the version block of executable files on Windows: the
// system's own calls. A block is the whole buffer that GetFileVersionInfoW fills, so that
// VerQueryValueW works on it as on any other.

#include <windows.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformVersion.h"

namespace {

constexpr DWORD kFirstPathBuffer = MAX_PATH;
constexpr DWORD kLargestPathBuffer = 32768;  // the longest path the system has

uint32_t LastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : XpWinError::GenFailure;
}

}  // namespace

uint32_t XpPlatformModulePath(XpPlatformString& path)
{
    // A name that fills the buffer may have been cut (and, on older systems, left without
    // its terminator): it is asked again with a larger buffer, and one that fills the
    // largest counts as a failure.
    for (DWORD capacity = kFirstPathBuffer; capacity <= kLargestPathBuffer; capacity *= 2) {
        XpPlatformString buffer(capacity, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
        if (length == 0) return LastError();
        if (length < capacity) {
            buffer.resize(length);
            path = buffer;
            return XpWinError::Success;
        }
    }
    return XpWinError::FilenameExcedRange;
}

uint32_t XpPlatformReadVersionBlock(const XpChar* path, std::vector<unsigned char>& block)
{
    block.clear();
    if (path == nullptr) return XpWinError::InvalidParameter;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return LastError();
    std::vector<unsigned char> bytes(size);
    if (!GetFileVersionInfoW(path, 0, size, bytes.data())) return LastError();
    block.swap(bytes);
    return XpWinError::Success;
}

bool XpPlatformQueryVersionBlock(const std::vector<unsigned char>& block, const XpChar* subBlock, XpVersionValue* value)
{
    if (block.empty() || subBlock == nullptr || value == nullptr) return false;
    void* data = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), subBlock, &data, &length) || data == nullptr) return false;
    value->data = static_cast<const unsigned char*>(data);
    value->length = length;
    return true;
}
