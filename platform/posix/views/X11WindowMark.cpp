#include "platform/posix/views/X11WindowMark.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>

namespace {

// Windows may go while they are looked at: errors of that kind are ignored while the
// trap is set, instead of reaching Xlib's handler, which ends the process.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : m_display(display)
    {
        XSync(m_display, False);
        m_previous = XSetErrorHandler(&Ignore);
    }
    ~ErrorTrap()
    {
        XSync(m_display, False);
        XSetErrorHandler(m_previous);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

private:
    static int Ignore(Display*, XErrorEvent*) { return 0; }
    Display* m_display;
    int (*m_previous)(Display*, XErrorEvent*);
};

// The 32-bit items of a property, up to max of them; empty when it is missing or of
// another type.
std::vector<unsigned long> ReadLongs(Display* display, Window window, Atom property, Atom type, long max)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(display, window, property, 0, max, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        if (actualType == type && format == 32) {
            // Xlib hands format-32 items as longs.
            const auto* values = reinterpret_cast<const unsigned long*>(data);
            items.assign(values, values + count);
        }
        XFree(data);
    }
    return items;
}

bool HasProperty(Display* display, Window window, Atom property)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool read = XGetWindowProperty(display, window, property, 0, 1, False, AnyPropertyType, &actualType, &format,
                                         &count, &after, &data) == Success;
    if (data != nullptr) XFree(data);
    return read && actualType != None;
}

std::vector<Window> Children(Display* display, Window window)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> list;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0 && children != nullptr) {
        list.assign(children, children + count);
        XFree(children);
    }
    return list;
}

// The top-level windows: the window manager's client list, else the root's children and
// their children.
std::vector<Window> TopLevelWindows(Display* display)
{
    const Window root = DefaultRootWindow(display);
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
    std::vector<unsigned long> clients = ReadLongs(display, root, clientList, XA_WINDOW, 4096);
    if (!clients.empty()) return std::vector<Window>(clients.begin(), clients.end());
    std::vector<Window> windows;
    for (Window child : Children(display, root)) {
        windows.push_back(child);
        for (Window grandchild : Children(display, child)) windows.push_back(grandchild);
    }
    return windows;
}

}  // namespace

void X11SetWindowMark(Display* display, unsigned long window, const std::string& key, bool on)
{
    const Atom mark = XInternAtom(display, key.c_str(), False);
    if (on) {
        const long value = 1;
        XChangeProperty(display, window, mark, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&value), 1);
    } else {
        XDeleteProperty(display, window, mark);
    }
    XFlush(display);
}

unsigned long X11FindMarkedWindow(Display* display, const std::string& key, long ownPid)
{
    // No atom of that name: no window has ever carried the mark on this display.
    const Atom mark = XInternAtom(display, key.c_str(), True);
    if (mark == None) return 0;
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    ErrorTrap trap(display);
    for (Window window : TopLevelWindows(display)) {
        if (!HasProperty(display, window, mark)) continue;
        const std::vector<unsigned long> pid = ReadLongs(display, window, pidAtom, XA_CARDINAL, 1);
        if (!pid.empty() && static_cast<long>(pid[0]) == ownPid) continue;
        return window;
    }
    return 0;
}

void X11ActivateWindow(Display* display, unsigned long window)
{
    ErrorTrap trap(display);
    // Mapping an iconic window restores it; mapping raises it as well.
    XMapRaised(display, window);

    // A pager's request (source 2), which the window manager grants without its
    // focus-stealing rules; no window manager, no one to hear it.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);

    XWMHints* hints = XGetWMHints(display, window);
    if (hints == nullptr) hints = XAllocWMHints();
    if (hints != nullptr) {
        hints->flags |= XUrgencyHint;
        XSetWMHints(display, window, hints);
        XFree(hints);
    }
    XFlush(display);
}
