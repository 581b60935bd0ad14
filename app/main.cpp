// Kestrow: the network updater of the Vimbly photo and video browser.
//
// The program's static objects, in the order of their construction: the fixed texts
// (constants in KestrowApp.h), the single-instance mutex, the application object, the
// stage thread manager. main gives the application its arguments and the view it can
// show, and runs it; the process ends with exit status 0 on every path.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/KestrowApp.h"
#include "app/NamedMutex.h"
#include "app/ThreadManager.h"
#include "platform/PlatformConsole.h"
#include "ui/TerminalView.h"
#include "ui/WindowView.h"

NamedMutex g_instanceMutex(kInstanceMutexName);
KestrowApp theApp(g_instanceMutex, ProgramStrings());
ThreadManager g_threadManager;

int main(int argc, char** argv)
{
    std::vector<XpString> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(XpNarrowString(argv[i]).ToWide());
    theApp.SetArguments(arguments);
    // The window-system view when there is one; otherwise the terminal view. The terminal
    // view lives as long as the process: its reader of the standard input may still wait
    // for a line when the program ends. KESTROW_TERMINAL_INPUT=1 takes the answers from a
    // standard input that is not a terminal too (scripted runs: "echo y | kestrow
    // Vimbly_Kestrow").
    DialogView* view = CreateWindowView();
    if (view == nullptr) {
        const char* scripted = std::getenv("KESTROW_TERMINAL_INPUT");
        const bool typed = XpPlatformIsInputTerminal() || (scripted != nullptr && std::strcmp(scripted, "1") == 0);
        view = new TerminalView(stdout, typed);
    }
    theApp.SetView(view);
    theApp.Run();
    std::fflush(stdout);
    return 0;
}
