#pragma once
// How the client identity takes the registry values that it reads directly, from their
// type and bytes as the registry gives them.

#include <cstddef>
#include <cstdint>

#include "foundation/text/XpString.h"

// The longest text read directly, in characters, its terminator included.
inline constexpr size_t kDirectStringLimit = 260;

// A string value read directly: of type REG_SZ or REG_EXPAND_SZ (taken literally, never
// expanded), an even number of bytes, at most kDirectStringLimit characters and, unless
// empty, ending in the terminator; zero bytes are the empty string. False for anything
// else: the value counts as not present. The text ends at its first terminator.
bool DirectStringValue(uint32_t type, const unsigned char* data, size_t size, XpString* text);

// The test flags from the bytes of "TestFlag", whatever its type: up to 4 bytes are a
// little-endian number (missing high bytes 0); longer data counts as absent (0).
uint32_t TestFlagsValue(const unsigned char* data, size_t size);
