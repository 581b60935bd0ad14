// The recycle bin on Windows: one shell delete request with undo allowed, after a check
// that the bin can take every item.

#include <windows.h>
//
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "platform/PlatformErrors.h"
#include "platform/PlatformRecycleBin.h"

namespace {

constexpr FILEOP_FLAGS kQuietFlags =
    FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
static_assert(kQuietFlags == 0x654);

// Whether the bin of the volume holding path can take it. The shell, asked quietly,
// deletes for good what its bin cannot take and still reports success, so this is asked
// before anything moves: Windows keeps bins on fixed volumes only (removable, network,
// optical and RAM drives have none), and a bin that does not answer a query cannot be
// relied on either.
uint32_t CheckBinTakes(const wchar_t* path)
{
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0) return GetLastError();
    std::vector<wchar_t> full(needed + 1), root(needed + 2);
    const DWORD length = GetFullPathNameW(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return ERROR_INVALID_NAME;
    if (!GetVolumePathNameW(full.data(), root.data(), static_cast<DWORD>(root.size()))) return GetLastError();
    if (GetDriveTypeW(root.data()) != DRIVE_FIXED) return ERROR_NOT_SUPPORTED;
    SHQUERYRBINFO bin = {};
    bin.cbSize = sizeof bin;
    if (FAILED(SHQueryRecycleBinW(root.data(), &bin))) return ERROR_NOT_SUPPORTED;
    return XpWinError::Success;
}

}  // namespace

uint32_t XpPlatformMoveToRecycleBin(const XpChar* const* paths, std::size_t count, bool quiet)
{
    if (count == 0) return XpWinError::Success;
    if (paths == nullptr) return XpWinError::InvalidParameter;

    // Every path followed by its terminator, and one more terminator after the last. An
    // empty path would end the list early and leave the paths after it where they are
    // while the call reports success, so it is refused before anything moves.
    std::size_t total = 1;
    for (std::size_t i = 0; i < count; ++i) {
        if (paths[i] == nullptr || paths[i][0] == 0) return XpWinError::InvalidParameter;
        total += std::wcslen(paths[i]) + 1;
    }
    // Asked for confirmation, the shell asks the user before it deletes what the bin cannot
    // take; asked quietly, it would not.
    if (quiet) {
        for (std::size_t i = 0; i < count; ++i) {
            const uint32_t checked = CheckBinTakes(paths[i]);
            if (checked != XpWinError::Success) return checked;
        }
    }
    auto* buffer = static_cast<wchar_t*>(std::calloc(total, sizeof(wchar_t)));
    if (buffer == nullptr) return XpWinError::NotEnoughMemory;
    wchar_t* next = buffer;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = std::wcslen(paths[i]);
        std::wmemcpy(next, paths[i], length);
        next += length + 1;
    }

    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = GetActiveWindow();
    operation.wFunc = FO_DELETE;
    operation.pFrom = buffer;
    operation.pTo = nullptr;
    operation.fFlags = quiet ? kQuietFlags : FOF_ALLOWUNDO;

    // The shell shows its own confirmation and progress: the owner window takes no input
    // meanwhile.
    bool disabled = false;
    if (!quiet && operation.hwnd != nullptr) disabled = EnableWindow(operation.hwnd, FALSE) == 0;
    const int answer = SHFileOperationW(&operation);
    if (disabled) EnableWindow(operation.hwnd, TRUE);
    std::free(buffer);

    if (answer != 0 && answer != static_cast<int>(XpWinError::ShellErrorOnDestination))
        return static_cast<uint32_t>(answer);
    // A request the user cancelled in the shell's confirmation left the items in place.
    if (operation.fAnyOperationsAborted) return XpWinError::Cancelled;
    // A shell whose bin stopped working has been seen to answer success and leave the
    // items in place: an item that is still there did not move.
    for (std::size_t i = 0; i < count; ++i)
        if (GetFileAttributesW(paths[i]) != INVALID_FILE_ATTRIBUTES) return XpWinError::GenFailure;
    return XpWinError::Success;
}
