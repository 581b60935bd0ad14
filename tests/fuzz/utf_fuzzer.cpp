// Arbitrary bytes through the UTF codec, read both as UTF-8 and as UTF-16 units: every
// result is well-formed (no unpaired surrogate, no ill-formed byte sequence), and a
// well-formed result converts back and forth unchanged.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/shared/XpUtf.h"

namespace {

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

void CheckWellFormed(const XpPlatformString& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<uint16_t>(text[i]);
        if (XpIsHighSurrogate(unit)) {
            Check(i + 1 < text.size() && XpIsLowSurrogate(static_cast<uint16_t>(text[i + 1])));
            ++i;
        } else {
            Check(!XpIsLowSurrogate(unit));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    const XpPlatformString fromBytes = XpUtf8ToUtf16(bytes, size);
    CheckWellFormed(fromBytes);
    const std::string bytesAgain = XpUtf16ToUtf8(fromBytes.data(), fromBytes.size());
    Check(XpUtf8ToUtf16(bytesAgain.data(), bytesAgain.size()) == fromBytes);
    // Valid UTF-8 comes back as it was.
    if (fromBytes.find(static_cast<XpChar>(kXpReplacementCharacter)) == XpPlatformString::npos)
        Check(bytesAgain == std::string(bytes, size));

    XpPlatformString units(size / 2, 0);
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * sizeof(XpChar));
    const std::string fromUnits = XpUtf16ToUtf8(units.data(), units.size());
    const XpPlatformString unitsAgain = XpUtf8ToUtf16(fromUnits.data(), fromUnits.size());
    CheckWellFormed(unitsAgain);
    Check(XpUtf16ToUtf8(unitsAgain.data(), unitsAgain.size()) == fromUnits);
    return 0;
}
