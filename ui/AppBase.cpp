#include "ui/AppBase.h"

#include <atomic>

namespace {
std::atomic<AppBase*> g_currentApp{nullptr};
}

AppBase::AppBase(DialogView* view) : m_pView(view)
{
    g_currentApp.store(this);
}

AppBase::~AppBase()
{
    AppBase* self = this;
    g_currentApp.compare_exchange_strong(self, nullptr);
}

int AppBase::Run()
{
    InitInstance();
    return ExitInstance();
}

int AppBase::DoMessageBox(const XpString& prompt, uint32_t type)
{
    return m_pView != nullptr ? m_pView->MessageBox(prompt, m_appName, type) : DialogBox::kIdOk;
}

AppBase* AppBase::Current()
{
    return g_currentApp.load();
}

int AppMessageBox(const XpString& prompt, uint32_t type)
{
    AppBase* app = AppBase::Current();
    return app != nullptr ? app->DoMessageBox(prompt, type) : DialogBox::kIdOk;
}
