// Reads arbitrary bytes as a property-list document (each byte one character, so that
// ASCII seeds stay documents) and checks what a load must give: a result code, never a
// crash; and a tree that, written and read again, settles to one text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/plist/XpIniDict.h"

namespace {

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::basic_string<XpChar> text;
    text.reserve(size);
    for (size_t i = 0; i < size; ++i)
        if (data[i] != 0) text += static_cast<XpChar>(data[i]);

    XpIniDict dict;
    const XpResult rc = dict.LoadFromString(text.c_str());
    Check(rc == XpRc::Ok || (rc >= XpRc::PlistFailed && rc <= XpRc::PlistNotInt32) || rc == XpRc::OutOfMemory);
    for (int i = 0; i < dict.Count(); ++i) Check(dict.GetElementAt(i) != nullptr);

    // Whatever was read writes and reads again; from the second writing on the text no
    // longer changes (the first may still drop what the writer's formats cannot hold,
    // such as a real's digits beyond fifteen decimals).
    XpString first;
    if (dict.SaveToString(first) != XpRc::Ok) return 0;
    XpIniDict again;
    Check(again.LoadFromString(first.GetString()) == XpRc::Ok);
    XpString second;
    Check(again.SaveToString(second) == XpRc::Ok);
    XpIniDict third;
    Check(third.LoadFromString(second.GetString()) == XpRc::Ok);
    XpString last;
    Check(third.SaveToString(last) == XpRc::Ok);
    Check(second == last);
    return 0;
}
