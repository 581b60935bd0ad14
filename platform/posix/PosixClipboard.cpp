// The clipboard on Linux: GTK's clipboard of the X display. GTK is loaded and set up on
// the first call that finds a display, without letting it change the process's locale
// (the decimal point of number texts depends on it): the program does not link GTK, so
// that a run without a display never pays for loading it. The text formats are the
// clipboard's text; any other format is a target of its own that holds UTF-8.

#include <dlfcn.h>
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

// The GTK functions the clipboard calls, looked up in the library once it is loaded.
struct GtkCalls {
    decltype(&gtk_disable_setlocale) disableSetlocale;
    decltype(&gtk_init_check) initCheck;
    decltype(&gtk_clipboard_get) clipboardGet;
    decltype(&gtk_clipboard_wait_for_text) waitForText;
    decltype(&gtk_clipboard_wait_for_contents) waitForContents;
    decltype(&gtk_clipboard_set_text) setText;
    decltype(&gtk_clipboard_set_with_data) setWithData;
    decltype(&gtk_selection_data_set) selectionSet;
    decltype(&gtk_selection_data_get_target) selectionTarget;
    decltype(&gtk_selection_data_get_data_with_length) selectionData;
    decltype(&gtk_selection_data_free) selectionFree;
    decltype(&gdk_atom_intern) atomIntern;
    decltype(&gdk_atom_name) atomName;
    decltype(&g_free) free;
};

GtkCalls g_gtk;

template <typename Function>
bool Find(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

bool LoadGtk()
{
    // Kept loaded for the life of the process, as GTK cannot be unloaded once set up.
    void* library = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    GtkCalls& f = g_gtk;
    return Find(library, "gtk_disable_setlocale", f.disableSetlocale) && Find(library, "gtk_init_check", f.initCheck) &&
           Find(library, "gtk_clipboard_get", f.clipboardGet) &&
           Find(library, "gtk_clipboard_wait_for_text", f.waitForText) &&
           Find(library, "gtk_clipboard_wait_for_contents", f.waitForContents) &&
           Find(library, "gtk_clipboard_set_text", f.setText) &&
           Find(library, "gtk_clipboard_set_with_data", f.setWithData) &&
           Find(library, "gtk_selection_data_set", f.selectionSet) &&
           Find(library, "gtk_selection_data_get_target", f.selectionTarget) &&
           Find(library, "gtk_selection_data_get_data_with_length", f.selectionData) &&
           Find(library, "gtk_selection_data_free", f.selectionFree) &&
           Find(library, "gdk_atom_intern", f.atomIntern) && Find(library, "gdk_atom_name", f.atomName) &&
           Find(library, "g_free", f.free);
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
        if (LoadGtk()) {
            g_gtk.disableSetlocale();
            ready = g_gtk.initCheck(nullptr, nullptr) != FALSE;
        }
    }
    return ready ? g_gtk.clipboardGet(GDK_SELECTION_CLIPBOARD) : nullptr;
}

bool IsTextFormat(uint32_t format)
{
    return format == XpClipboardFormat::Text || format == XpClipboardFormat::OemText ||
           format == XpClipboardFormat::UnicodeText;
}

GdkAtom FormatTarget(uint32_t format)
{
    const std::string name = "application/x-kestrow-clipboard-format-" + std::to_string(format);
    return g_gtk.atomIntern(name.c_str(), FALSE);
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
    g_gtk.selectionSet(selection, g_gtk.selectionTarget(selection), 8, reinterpret_cast<const guchar*>(bytes->data()),
                       static_cast<gint>(bytes->size()));
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
            gchar* utf8 = g_gtk.waitForText(clipboard);
            if (!utf8) return XpClipboardError::FormatMissing;
            text = FromUtf8(utf8, std::strlen(utf8));
            g_gtk.free(utf8);
            return 0;
        }
        GtkSelectionData* selection = g_gtk.waitForContents(clipboard, FormatTarget(format));
        if (!selection) return XpClipboardError::FormatMissing;
        gint size = 0;
        const guchar* bytes = g_gtk.selectionData(selection, &size);
        uint32_t result = XpClipboardError::NoData;
        if (bytes && size >= 0) {
            text = FromUtf8(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
            result = 0;
        }
        g_gtk.selectionFree(selection);
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
        g_gtk.setText(clipboard, payload->data(), static_cast<gint>(payload->size()));
        delete payload;
        return 0;
    }
    gchar* target = g_gtk.atomName(FormatTarget(format));
    const GtkTargetEntry entry = {target, 0, 0};
    const bool set = g_gtk.setWithData(clipboard, &entry, 1, ServeData, DropData, payload) != FALSE;
    g_gtk.free(target);
    if (!set) {
        delete payload;
        return XpClipboardError::NoData;
    }
    return 0;
}
