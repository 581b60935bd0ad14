#pragma once
// XpIniArray: an ordered list of elements, addressed by decimal indexes (read as the C
// run-time's _wtoi reads them: leading digits, a text without digits as 0). An index
// below 0 is out of range as much as one at or above the count.

#include <vector>

#include "foundation/plist/XpIniElement.h"

class XpIniArray : public XpIniElement {
public:
    XpIniArray() = default;
    // Destroys the items from the front.
    ~XpIniArray() override;

    int Count() const override;
    XpIniElement* Find(const XpChar* path) const override;
    XpIniElement* GetAt(int index) const override;
    XpResult Remove(const XpChar* path) override;
    XpResult RemoveAt(int index) override;
    XpResult AddNew(const XpChar* path, uint32_t type, XpIniInitial initial) override;
    // -1 appends, as does the count itself; any other index outside 0 ... count gives 0x8502.
    XpResult InsertNewAt(int index, uint32_t type, XpIniInitial initial) override;
    uint32_t GetType() const override { return XpIniType::Array; }

private:
    std::vector<XpIniElement*> m_items;
};
