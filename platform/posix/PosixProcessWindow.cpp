// The first top-level window of a process on X11, through XCB: its errors come back with
// each reply, so no process-wide error handler (which the GTK view's own connection
// relies on) is touched from the worker thread that looks.

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/PlatformProcess.h"
#include "platform/posix/PosixCommon.h"

namespace {

struct Free {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

bool WindowPid(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t pidAtom, uint32_t* pid)
{
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return false;
    std::memcpy(pid, xcb_get_property_value(reply.get()), 4);
    return true;
}

// The window inside a top-level one that says which process it belongs to: the window
// itself, or, below a window manager's frame, a client up to two levels down.
bool OwnedWindow(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t pidAtom, int depth, uint32_t* pid,
                 xcb_window_t* owned)
{
    if (WindowPid(connection, window, pidAtom, pid)) {
        *owned = window;
        return true;
    }
    if (depth == 0) return false;
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    if (!tree) return false;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i)
        if (OwnedWindow(connection, children[i], pidAtom, depth - 1, pid, owned)) return true;
    return false;
}

using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// A connection to the display that DISPLAY names, and its screen number; null when none
// is named or it does not answer.
Connection ConnectToDisplay(int* screenNumber)
{
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == 0) return nullptr;
    Connection connection(xcb_connect(display, screenNumber));
    if (xcb_connection_has_error(connection.get())) return nullptr;
    return connection;
}

}  // namespace

bool XpPosixDisplayAnswers()
{
    return ConnectToDisplay(nullptr) != nullptr;
}

bool XpPlatformIsFirstWindowVisible(uint32_t processId)
{
    int screenNumber = 0;
    const Connection connection = ConnectToDisplay(&screenNumber);
    if (!connection) return false;
    const xcb_atom_t pidAtom = Atom(connection.get(), "_NET_WM_PID");
    if (pidAtom == XCB_ATOM_NONE) return false;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) return false;
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection.get(), xcb_query_tree(connection.get(), screens.data->root), nullptr));
    if (!tree) return false;

    // The root's children come bottom first; the topmost is the first in enumeration order.
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
        uint32_t pid = 0;
        xcb_window_t owned = 0;
        if (!OwnedWindow(connection.get(), children[i], pidAtom, 2, &pid, &owned) || pid != processId) continue;
        const Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            connection.get(), xcb_get_window_attributes(connection.get(), owned), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    return false;
}
