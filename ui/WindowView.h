#pragma once
// The window-system view of the target the program runs on: the Win32 dialog on Windows,
// the GTK dialog on Linux when a display can be opened. Null when there is no window
// system to show the dialog on; the program then shows it on the terminal.
//
// The views live beside the platform code that they need (platform/win32/views,
// platform/posix/views) and build into their own library, kestrow_views, on top of ui/.

#include "ui/DialogView.h"

DialogView* CreateWindowView();
