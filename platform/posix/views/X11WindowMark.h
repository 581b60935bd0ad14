#pragma once
// The window property by which a second start of the program finds the running dialog,
// and the activation of a top-level window, through Xlib on a display connection that the
// caller owns (the GTK dialog passes GDK's own).

#include <string>

struct _XDisplay;

// Sets the property named by key (CARDINAL, the value 1) on the window, or removes it.
void X11SetWindowMark(_XDisplay* display, unsigned long window, const std::string& key, bool on);

// The first top-level window that carries the property named by key and does not belong
// to the process ownPid (by its _NET_WM_PID); 0 when there is none. The window manager's
// client list names the top-level windows; without a window manager, the root's children
// (and their children, for a manager that reparents without keeping the list).
unsigned long X11FindMarkedWindow(_XDisplay* display, const std::string& key, long ownPid);

// Restores the window from the icon, raises it, asks the window manager to make it the
// active window, and sets its urgency hint: the window flashes in the task bar until its
// owner clears the hint (the dialog does when it gets the focus).
void X11ActivateWindow(_XDisplay* display, unsigned long window);
