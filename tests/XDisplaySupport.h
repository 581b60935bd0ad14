// A private X display for the tests of the GTK dialog: an Xvfb server of the test's own,
// the program started on it, and what a test looks at through Xlib (the top-level windows,
// their properties and urgency, their pixels), and the close request it sends.
//
// Linux only. No X headers here: windows are plain numbers.
#pragma once

#if !defined(_WIN32)

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ProcessSupport.h"

struct _XDisplay;

namespace kestrow_test {

class XvfbDisplay {
public:
    XvfbDisplay() = default;
    ~XvfbDisplay() { Stop(); }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // Starts Xvfb on a free display number and connects to it; an empty text on success,
    // else why not (Xvfb missing, or no server came up within a few seconds).
    std::string Start();
    void Stop();
    // ":N", for DISPLAY.
    const std::string& Name() const { return m_name; }

    // The mapped top-level windows, in stacking order.
    std::vector<unsigned long> MappedWindows();
    // The first top-level window that carries the property named key; 0 when none.
    unsigned long FindMarked(const std::string& key);
    // Waits up to timeout for FindMarked to find one that is mapped.
    unsigned long WaitForMarked(const std::string& key, std::chrono::milliseconds timeout);
    void RemoveProperty(unsigned long window, const std::string& key);
    long Pid(unsigned long window);
    std::string Title(unsigned long window);
    // The window's icon images (_NET_WM_ICON): each one's size and the colour 0xAARRGGBB
    // at its centre.
    struct IconImage {
        int width = 0, height = 0;
        uint32_t centre = 0;
    };
    std::vector<IconImage> Icons(unsigned long window);
    bool IsUrgent(unsigned long window);
    // Width and height of the window's inside.
    std::pair<int, int> Size(unsigned long window);
    // What the close button or the window menu's Close asks of the window (WM_DELETE_WINDOW).
    void RequestClose(unsigned long window);

    // The window's pixels, 0xRRGGBB, row by row.
    struct Image {
        int width = 0, height = 0;
        std::vector<uint32_t> pixels;
        uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    };
    Image Capture(unsigned long window);

private:
    _XDisplay* m_display = nullptr;
    std::unique_ptr<ChildProcess> m_server;
    std::string m_name;
};

// Writes the image as an 8-bit RGB PNG file; false when it cannot.
bool WritePng(const XvfbDisplay::Image& image, const std::filesystem::path& path);

}  // namespace kestrow_test

#endif
