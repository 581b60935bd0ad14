#include "ui/WindowView.h"

// The Win32 dialog from the program's template joins here.
DialogView* CreateWindowView()
{
    return nullptr;
}
