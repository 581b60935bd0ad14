#include "update/RegistryValueRules.h"

#include <vector>

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;

}  // namespace

bool DirectStringValue(uint32_t type, const unsigned char* data, size_t size, XpString* text)
{
    if (text == nullptr || (type != kRegSz && type != kRegExpandSz)) return false;
    if (size % 2 != 0 || size > 2 * kDirectStringLimit || (size != 0 && data == nullptr)) return false;
    const size_t count = size / 2;
    std::vector<XpChar> characters(count + 1, 0);
    for (size_t i = 0; i < count; ++i) {
        characters[i] = static_cast<XpChar>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    if (count != 0 && characters[count - 1] != 0) return false;
    *text = XpString(characters.data());
    return true;
}

uint32_t TestFlagsValue(const unsigned char* data, size_t size)
{
    if (data == nullptr || size > 4) return 0;
    uint32_t flags = 0;
    for (size_t i = 0; i < size; ++i) flags |= static_cast<uint32_t>(data[i]) << (8 * i);
    return flags;
}
