#include "ui/WindowView.h"

// The GTK dialog joins here.
DialogView* CreateWindowView()
{
    return nullptr;
}
