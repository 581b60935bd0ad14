#pragma once
// The version numbers at the start of a Linux kernel's release text (uname's "release"):
// "6.1.0-18-amd64" is 6, 1, 0; "4.4" is 4, 4, 0. At least a major and a minor number are
// needed; anything after the third number is ignored.

#include <cstdint>

struct XpKernelRelease {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t patch = 0;
};

// False for a text that does not begin with "major.minor" or whose numbers do not fit in
// 32 bits; release is then left as it was.
bool XpParseKernelRelease(const char* text, XpKernelRelease* release);
