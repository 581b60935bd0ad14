#include "XDisplaySupport.h"

#if !defined(_WIN32)

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace kestrow_test {

namespace {

using namespace std::chrono_literals;

std::filesystem::path FindInPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string list = path != nullptr ? path : "/usr/bin:/bin";
    size_t from = 0;
    while (from <= list.size()) {
        const size_t to = std::min(list.find(':', from), list.size());
        const std::filesystem::path candidate = std::filesystem::path(list.substr(from, to - from)) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        from = to + 1;
    }
    return {};
}

// Windows may go while the test looks at them.
int IgnoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

std::string XvfbDisplay::Start()
{
    const std::filesystem::path server = FindInPath("Xvfb");
    if (server.empty()) return "Xvfb is not installed";
    // A display number that no server holds: neither its lock file nor its socket exists.
    for (int attempt = 0; attempt < 20 && m_display == nullptr; ++attempt) {
        const int number = 100 + static_cast<int>((getpid() * 7 + attempt * 13) % 800);
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (access(lock.c_str(), F_OK) == 0 || access(socket.c_str(), F_OK) == 0) continue;
        m_name = ":" + std::to_string(number);
        m_server = std::make_unique<ChildProcess>(
            server, std::vector<std::string>{m_name, "-nolisten", "tcp", "-screen", "0", "800x600x24"},
            std::vector<std::string>{}, "/dev/null");
        if (m_server->Pid() < 0) return "Xvfb could not be started";
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (m_display == nullptr && std::chrono::steady_clock::now() < deadline) {
            if (m_server->Poll()) break;  // lost the race for the number: try another
            m_display = XOpenDisplay(m_name.c_str());
            if (m_display == nullptr) std::this_thread::sleep_for(20ms);
        }
        if (m_display == nullptr && m_server->Pid() > 0) {
            Stop();
            return "Xvfb did not come up within 5 seconds";
        }
    }
    if (m_display == nullptr) return "no free display number for Xvfb";
    XSetErrorHandler(&IgnoreErrors);
    return std::string();
}

void XvfbDisplay::Stop()
{
    if (m_display != nullptr) XCloseDisplay(m_display);
    m_display = nullptr;
    // Asked to end, the server removes its lock file and socket.
    if (m_server) m_server->Terminate();
    m_server.reset();
}

std::vector<unsigned long> XvfbDisplay::MappedWindows()
{
    std::vector<unsigned long> mapped;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    XSync(m_display, False);
    if (XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count) == 0) return mapped;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(m_display, children[i], &attributes) != 0 && attributes.map_state == IsViewable)
            mapped.push_back(children[i]);
    }
    if (children != nullptr) XFree(children);
    return mapped;
}

unsigned long XvfbDisplay::FindMarked(const std::string& key)
{
    const Atom mark = XInternAtom(m_display, key.c_str(), False);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    XSync(m_display, False);
    if (XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count) == 0) return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_display, children[i], mark, 0, 1, False, AnyPropertyType, &type, &format, &items,
                               &after, &data) == Success &&
            type != None)
            found = children[i];
        if (data != nullptr) XFree(data);
    }
    if (children != nullptr) XFree(children);
    return found;
}

unsigned long XvfbDisplay::WaitForMarked(const std::string& key, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const unsigned long window = FindMarked(key);
        XWindowAttributes attributes{};
        if (window != 0 && XGetWindowAttributes(m_display, window, &attributes) != 0 &&
            attributes.map_state == IsViewable)
            return window;
        if (std::chrono::steady_clock::now() >= deadline) return 0;
        std::this_thread::sleep_for(20ms);
    }
}

void XvfbDisplay::RemoveProperty(unsigned long window, const std::string& key)
{
    XDeleteProperty(m_display, window, XInternAtom(m_display, key.c_str(), False));
    XSync(m_display, False);
}

long XvfbDisplay::Pid(unsigned long window)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                           &type, &format, &items, &after, &data) == Success &&
        data != nullptr && items == 1)
        pid = *reinterpret_cast<long*>(data);
    if (data != nullptr) XFree(data);
    return pid;
}

std::vector<XvfbDisplay::IconImage> XvfbDisplay::Icons(unsigned long window)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<IconImage> icons;
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_ICON", False), 0, 1 << 20, False,
                           XA_CARDINAL, &type, &format, &items, &after, &data) == Success &&
        data != nullptr && format == 32) {
        // Xlib hands 32-bit items out as longs: width, height, then the pixels, repeated.
        const long* values = reinterpret_cast<const long*>(data);
        for (unsigned long at = 0; at + 2 <= items;) {
            IconImage icon;
            icon.width = static_cast<int>(values[at]);
            icon.height = static_cast<int>(values[at + 1]);
            const unsigned long pixels = static_cast<unsigned long>(icon.width) * icon.height;
            if (icon.width <= 0 || icon.height <= 0 || at + 2 + pixels > items) break;
            const unsigned long centre = static_cast<unsigned long>(icon.height / 2) * icon.width + icon.width / 2;
            icon.centre = static_cast<uint32_t>(values[at + 2 + centre]);
            icons.push_back(icon);
            at += 2 + pixels;
        }
    }
    if (data != nullptr) XFree(data);
    return icons;
}

std::string XvfbDisplay::Title(unsigned long window)
{
    XTextProperty text{};
    std::string title;
    if (XGetWMName(m_display, window, &text) != 0 && text.value != nullptr) {
        title.assign(reinterpret_cast<char*>(text.value), text.nitems);
        XFree(text.value);
    }
    return title;
}

bool XvfbDisplay::IsUrgent(unsigned long window)
{
    XSync(m_display, False);
    XWMHints* hints = XGetWMHints(m_display, window);
    const bool urgent = hints != nullptr && (hints->flags & XUrgencyHint) != 0;
    if (hints != nullptr) XFree(hints);
    return urgent;
}

std::pair<int, int> XvfbDisplay::Size(unsigned long window)
{
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(m_display, window, &attributes) == 0) return {0, 0};
    return {attributes.width, attributes.height};
}

void XvfbDisplay::RequestClose(unsigned long window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, window, False, NoEventMask, &event);
    XSync(m_display, False);
}

XvfbDisplay::Image XvfbDisplay::Capture(unsigned long window)
{
    Image image;
    const auto [width, height] = Size(window);
    XImage* pixels = width > 0 ? XGetImage(m_display, window, 0, 0, width, height, AllPlanes, ZPixmap) : nullptr;
    if (pixels == nullptr) return image;
    image.width = width;
    image.height = height;
    image.pixels.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.pixels.push_back(XGetPixel(pixels, x, y) & 0xFFFFFF);
    XDestroyImage(pixels);
    return image;
}

bool WritePng(const XvfbDisplay::Image& image, const std::filesystem::path& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool written = false;
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(static_cast<size_t>(image.width) * 3);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const uint32_t pixel = image.At(x, y);
                row[x * 3] = static_cast<png_byte>(pixel >> 16);
                row[x * 3 + 1] = static_cast<png_byte>(pixel >> 8);
                row[x * 3 + 2] = static_cast<png_byte>(pixel);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        written = true;
    }
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    return std::fclose(file) == 0 && written;
}

}  // namespace kestrow_test

#endif
