#include "app/AppStrings.h"

#if __has_include("foundation/strings/SfStringsManagerKeeper.h")
#include "foundation/strings/SfStringsManagerKeeper.h"
#define KESTROW_HAS_STRINGS_MANAGER 1
#endif

namespace {

class ManagerStrings : public AppStrings {
public:
#if defined(KESTROW_HAS_STRINGS_MANAGER)
    XpResult Load(const std::vector<XpString>& paths) override
    {
        return SfStringsManagerKeeper::Initialize(paths);
    }
    XpString Get(const XpChar* keyPath) override
    {
        return SfStringsManagerKeeper::GetString(keyPath);
    }
    void Release() override
    {
        delete SfStringsManagerKeeper::GetInstance();
    }
#else
    // No strings manager in this build yet: nothing loads, nothing answers.
    XpResult Load(const std::vector<XpString>&) override
    {
        return XpRc::Failure;
    }
    XpString Get(const XpChar*) override
    {
        return XpString();
    }
    void Release() override {}
#endif
};

}  // namespace

AppStrings& ProgramStrings()
{
    static ManagerStrings strings;
    return strings;
}
