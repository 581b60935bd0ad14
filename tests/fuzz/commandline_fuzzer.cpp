// Arbitrary bytes through the Windows command-line rules: any text splits without fault,
// and arguments made of the bytes (split at NUL, each byte one character), quoted and put
// after a program name, split back into exactly themselves.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/shared/XpCommandLine.h"

namespace {

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    XpPlatformString text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const XpChar unit = static_cast<XpChar>(data[i] | data[i + 1] << 8);
        if (unit != 0) text += unit;
    }
    XpSplitCommandLine(text.c_str());

    std::vector<XpPlatformString> arguments(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += static_cast<XpChar>(data[i]);
        }
    }
    XpPlatformString line = XP_T("program");
    for (const XpPlatformString& argument : arguments) line += XP_T(" ") + XpQuoteCommandLineArgument(argument);
    const std::vector<XpPlatformString> words = XpSplitCommandLine(line.c_str());
    Check(words.size() == arguments.size() + 1);
    Check(words[0] == XP_T("program"));
    for (size_t i = 0; i < arguments.size(); ++i) Check(words[i + 1] == arguments[i]);
    return 0;
}
