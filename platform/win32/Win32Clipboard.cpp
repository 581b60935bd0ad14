// The clipboard on Windows: the Win32 clipboard, opened without an owner window and
// closed again on every path; texts travel as zero-terminated UTF-16 in global memory.

#include <windows.h>

#include <cstring>
#include <new>

#include "platform/PlatformClipboard.h"

uint32_t XpPlatformClipboardGetText(uint32_t format, XpPlatformString& text)
{
    if (!IsClipboardFormatAvailable(format)) return XpClipboardError::FormatMissing;
    if (!OpenClipboard(nullptr)) return XpClipboardError::NoClipboard;
    uint32_t result = XpClipboardError::NoData;
    if (HANDLE data = GetClipboardData(format)) {
        if (const auto* characters = static_cast<const wchar_t*>(GlobalLock(data))) {
            // The block's size bounds the text: a text without its terminator ends there.
            const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
            size_t length = 0;
            while (length < capacity && characters[length] != 0) ++length;
            try {
                text.assign(characters, length);
                result = 0;
            } catch (const std::bad_alloc&) {
                result = XpClipboardError::OutOfMemory;
            }
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return result;
}

uint32_t XpPlatformClipboardSetText(uint32_t format, const XpChar* text, size_t length)
{
    if (length > (SIZE_MAX / sizeof(wchar_t)) - 1) return XpClipboardError::OutOfMemory;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, (length + 1) * sizeof(wchar_t));
    if (!block) return XpClipboardError::OutOfMemory;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return XpClipboardError::OutOfMemory;
    }
    std::memcpy(target, text, length * sizeof(wchar_t));  // the terminator is the block's zeroed end
    GlobalUnlock(block);
    if (!OpenClipboard(nullptr)) {
        GlobalFree(block);
        return XpClipboardError::NoClipboard;
    }
    uint32_t result = 0;
    if (!EmptyClipboard() || !SetClipboardData(format, block)) {
        GlobalFree(block);  // still ours: the clipboard did not take it
        result = XpClipboardError::NoData;
    }
    CloseClipboard();
    return result;
}
