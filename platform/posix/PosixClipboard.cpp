// The clipboard on Linux: GTK's clipboard of the X display. GTK is set up on the first
// call that finds a display, without letting it change the process's locale (the
// decimal point of number texts depends on it). The text formats are the clipboard's
// text; any other format is a target of its own that holds UTF-8.

#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "platform/PlatformClipboard.h"
#include "platform/posix/PosixCommon.h"

namespace {

bool HasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

GtkClipboard* Clipboard()
{
    static std::mutex guard;
    static bool tried = false;
    static bool ready = false;
    std::lock_guard<std::mutex> lock(guard);
    if (!tried) {
        if (!HasDisplay()) return nullptr;
        tried = true;
        gtk_disable_setlocale();
        ready = gtk_init_check(nullptr, nullptr) != FALSE;
    }
    return ready ? gtk_clipboard_get(GDK_SELECTION_CLIPBOARD) : nullptr;
}

bool IsTextFormat(uint32_t format)
{
    return format == XpClipboardFormat::Text || format == XpClipboardFormat::OemText ||
           format == XpClipboardFormat::UnicodeText;
}

GdkAtom FormatTarget(uint32_t format)
{
    const std::string name = "application/x-kestrow-clipboard-format-" + std::to_string(format);
    return gdk_atom_intern(name.c_str(), FALSE);
}

// UTF-8 up to its first zero byte.
XpPlatformString FromUtf8(const char* bytes, size_t size)
{
    const void* zero = std::memchr(bytes, 0, size);
    return XpPosixFromUtf8(bytes, zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size);
}

void ServeData(GtkClipboard*, GtkSelectionData* selection, guint, gpointer payload)
{
    const auto* bytes = static_cast<const std::string*>(payload);
    gtk_selection_data_set(selection, gtk_selection_data_get_target(selection), 8,
                           reinterpret_cast<const guchar*>(bytes->data()), static_cast<gint>(bytes->size()));
}

void DropData(GtkClipboard*, gpointer payload)
{
    delete static_cast<std::string*>(payload);
}

}  // namespace

uint32_t XpPlatformClipboardGetText(uint32_t format, XpPlatformString& text)
{
    GtkClipboard* clipboard = Clipboard();
    if (!clipboard) return XpClipboardError::NoClipboard;
    try {
        if (IsTextFormat(format)) {
            gchar* utf8 = gtk_clipboard_wait_for_text(clipboard);
            if (!utf8) return XpClipboardError::FormatMissing;
            text = FromUtf8(utf8, std::strlen(utf8));
            g_free(utf8);
            return 0;
        }
        GtkSelectionData* selection = gtk_clipboard_wait_for_contents(clipboard, FormatTarget(format));
        if (!selection) return XpClipboardError::FormatMissing;
        gint size = 0;
        const guchar* bytes = gtk_selection_data_get_data_with_length(selection, &size);
        uint32_t result = XpClipboardError::NoData;
        if (bytes && size >= 0) {
            text = FromUtf8(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
            result = 0;
        }
        gtk_selection_data_free(selection);
        return result;
    } catch (const std::bad_alloc&) {
        return XpClipboardError::OutOfMemory;
    }
}

uint32_t XpPlatformClipboardSetText(uint32_t format, const XpChar* text, size_t length)
{
    GtkClipboard* clipboard = Clipboard();
    if (!clipboard) return XpClipboardError::NoClipboard;
    std::string* payload = nullptr;
    try {
        payload = new std::string(XpPosixToUtf8(text, static_cast<std::ptrdiff_t>(length)));
    } catch (const std::bad_alloc&) {
        return XpClipboardError::OutOfMemory;
    }
    if (IsTextFormat(format)) {
        gtk_clipboard_set_text(clipboard, payload->data(), static_cast<gint>(payload->size()));
        delete payload;
        return 0;
    }
    gchar* target = gdk_atom_name(FormatTarget(format));
    const GtkTargetEntry entry = {target, 0, 0};
    const bool set = gtk_clipboard_set_with_data(clipboard, &entry, 1, ServeData, DropData, payload) != FALSE;
    g_free(target);
    if (!set) {
        delete payload;
        return XpClipboardError::NoData;
    }
    return 0;
}
