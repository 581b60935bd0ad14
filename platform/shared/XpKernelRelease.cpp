#include "platform/shared/XpKernelRelease.h"

namespace {

// Reads the decimal number at *p and moves past it; false without a digit or on overflow.
bool Number(const char*& p, uint32_t* value)
{
    if (*p < '0' || *p > '9') return false;
    uint64_t n = 0;
    while (*p >= '0' && *p <= '9') {
        n = n * 10 + static_cast<uint64_t>(*p - '0');
        if (n > UINT32_MAX) return false;
        ++p;
    }
    *value = static_cast<uint32_t>(n);
    return true;
}

}  // namespace

bool XpParseKernelRelease(const char* text, XpKernelRelease* release)
{
    if (text == nullptr || release == nullptr) return false;
    XpKernelRelease parsed;
    const char* p = text;
    if (!Number(p, &parsed.major) || *p != '.') return false;
    ++p;
    if (!Number(p, &parsed.minor)) return false;
    if (p[0] == '.' && p[1] >= '0' && p[1] <= '9') {
        ++p;
        if (!Number(p, &parsed.patch)) return false;
    }
    *release = parsed;
    return true;
}
