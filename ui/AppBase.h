#pragma once
// AppBase: the framework's application object. Run calls InitInstance and then
// ExitInstance; every message box of the program goes through DoMessageBox, the hook
// that an application may override. One application object exists at a time.

#include <cstdint>

#include "foundation/text/XpString.h"
#include "ui/DialogView.h"

class ModalDialog;

class AppBase {
public:
    explicit AppBase(DialogView* view = nullptr);
    virtual ~AppBase();
    AppBase(const AppBase&) = delete;
    AppBase& operator=(const AppBase&) = delete;

    // The application's whole life: InitInstance, then ExitInstance, whose result is the
    // exit status. (InitInstance returning true would enter a message loop of the
    // application's own; this framework has none, so the dialogs' loops are the only ones.)
    int Run();

    virtual bool InitInstance() { return false; }
    virtual int ExitInstance() { return 0; }
    // Shows a message box with the application's name as caption; gives the answer.
    virtual int DoMessageBox(const XpString& prompt, uint32_t type);

    // The application running now, or null.
    static AppBase* Current();

    // The view that shows the dialogs and message boxes; null until set.
    DialogView* View() { return m_pView; }
    void SetView(DialogView* view) { m_pView = view; }
    const XpString& AppName() const { return m_appName; }
    void SetAppName(const XpString& name) { m_appName = name; }
    // The application's main window: the dialog while it runs, else null.
    ModalDialog* m_pMainWnd = nullptr;

private:
    DialogView* m_pView;
    XpString m_appName;
};

// A message box through the running application's DoMessageBox; IDOK without one.
int AppMessageBox(const XpString& prompt, uint32_t type);
