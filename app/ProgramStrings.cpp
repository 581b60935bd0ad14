#include "app/AppStrings.h"
#include "foundation/strings/SfStringsManagerKeeper.h"

namespace {

class ManagerStrings : public AppStrings {
public:
    XpResult Load(const std::vector<XpString>& paths) override { return SfStringsManagerKeeper::Initialize(paths); }
    XpString Get(const XpChar* keyPath) override { return SfStringsManagerKeeper::GetString(keyPath); }
    void Release() override { delete SfStringsManagerKeeper::GetInstance(); }
};

}  // namespace

AppStrings& ProgramStrings()
{
    static ManagerStrings strings;
    return strings;
}
