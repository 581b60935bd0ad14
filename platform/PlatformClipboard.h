#pragma once
// The clipboard, holding texts under a format number.
// Windows: the Win32 clipboard (OpenClipboard with no owner window, global memory blocks
// of zero-terminated UTF-16 text); the clipboard is closed on every path.
// Linux: the GTK clipboard of the X display (GDK_SELECTION_CLIPBOARD) when a display is
// there; the text formats (CF_TEXT, CF_OEMTEXT, CF_UNICODETEXT) are its text, any other
// format a target of its own named after the number, holding UTF-8. GTK is set up on
// first use, leaving the process's locale alone; the calls belong on one thread (the
// user-interface thread). Without a display every call fails with NoClipboard.
//
// Results: 0 or a Windows error number.

#include <cstddef>
#include <cstdint>

#include "platform/XpChar.h"

namespace XpClipboardFormat {
inline constexpr uint32_t Text = 1;          // CF_TEXT
inline constexpr uint32_t OemText = 7;       // CF_OEMTEXT
inline constexpr uint32_t UnicodeText = 13;  // CF_UNICODETEXT
}  // namespace XpClipboardFormat

namespace XpClipboardError {
inline constexpr uint32_t OutOfMemory = 8;       // ERROR_NOT_ENOUGH_MEMORY: no block for the text
inline constexpr uint32_t FormatMissing = 1168;  // ERROR_NOT_FOUND: nothing in that format
inline constexpr uint32_t NoClipboard = 1418;    // ERROR_CLIPBOARD_NOT_OPEN: not opened, or no display
inline constexpr uint32_t NoData = 13;           // ERROR_INVALID_DATA: no data could be read or set
}  // namespace XpClipboardError

// The text held in the format: up to its first zero, and never beyond the data's block.
uint32_t XpPlatformClipboardGetText(uint32_t format, XpPlatformString& text);
// Empties the clipboard and puts the text (length characters, no terminator needed)
// there in the format.
uint32_t XpPlatformClipboardSetText(uint32_t format, const XpChar* text, size_t length);
