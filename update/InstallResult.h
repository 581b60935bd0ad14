#pragma once
// "InstallResult": what the installer leaves under the host product's key. 0 means the
// installation succeeded.

#include <cstdint>

#include "foundation/text/XpString.h"

// The answer when the key or the value is missing, or the value is not a number.
inline constexpr uint32_t kInstallResultAbsent = 99;

// The value of the key (under HKEY_LOCAL_MACHINE, opened for reading) whatever its type:
// 1 to 4 bytes as a little-endian number (missing high bytes 0); no bytes, more than 4, or
// no such value or key: kInstallResultAbsent.
uint32_t ReadInstallResult(const XpString& productKey);
