// The program's way to the GTK dialog. GTK and the X libraries are many shared libraries
// that take longer to load than the rest of the program together, and a run without a
// display has no use for them; so the dialog is a module of its own, beside the program
// ("kestrow-gtk-view.so"), loaded only once a display is named. The module finds the
// dialog framework's code in the program, which exports it for that.
//
// The module is taken from the program's own folder only, never from a search path or a
// name in the environment: the updater runs with administrator rights, and its folder is
// as protected as the program file itself.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/files/XpPath.h"
#include "platform/posix/PosixCommon.h"
#include "ui/WindowView.h"

namespace {

constexpr const char* kFactoryName = "KestrowCreateGtkView";

using ViewFactory = DialogView* (*)();

// The terminal view still serves; says why the window did not come.
DialogView* NoWindow(const char* why)
{
    std::fprintf(stderr, "kestrow: the dialog module cannot be loaded (%s); the terminal view serves\n", why);
    return nullptr;
}

}  // namespace

DialogView* CreateWindowView()
{
    // The mark and the activation are X11's; without a display the terminal view serves.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return nullptr;
    const XpString module = GetModuleSiblingPath(XpString(XP_T("kestrow-gtk-view.so")));
    if (module.IsEmpty()) return NoWindow("kestrow-gtk-view.so is not beside the program");
    // Loaded for the life of the process: GTK cannot be unloaded once it is set up.
    void* library = dlopen(XpPosixToUtf8(module.GetString()).c_str(), RTLD_NOW | RTLD_LOCAL);
    ViewFactory factory = nullptr;
    if (library != nullptr) factory = reinterpret_cast<ViewFactory>(dlsym(library, kFactoryName));
    if (factory == nullptr) {
        const char* why = dlerror();
        return NoWindow(why != nullptr ? why : "no reason given");
    }
    return factory();
}
