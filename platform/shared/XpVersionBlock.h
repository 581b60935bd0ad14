#pragma once
// Look-ups in a VS_VERSIONINFO block, the version resource of an executable, with the
// rules of VerQueryValueW: a sub-block path of names separated by "\" ("\" alone or an
// empty path names the root's value, the fixed file information); names compare without
// regard to case. Every node is read inside its parent and the block: a node whose
// length runs past its parent is cut at the parent's end, a name without its terminator
// or a length too short for a node ends the walk, so nothing outside the block is read.
//
// Node layout (all little-endian, nodes aligned to 4 bytes from the block's start):
// WORD length; WORD value length; WORD type (1 text, 0 binary); the name, UTF-16 with a
// terminator; padding; the value (text: value length counts characters, binary: bytes);
// padding; the children, up to length.

#include <cstddef>
#include <cstdint>

#include "platform/XpChar.h"

// One value found in a block: where it starts and its length as VerQueryValueW reports it
// (characters for a text value, bytes for a binary one).
struct XpVersionValue {
    const unsigned char* data = nullptr;
    uint32_t length = 0;
};

// Finds the value that subBlock names; false when any name on the way is missing or the
// block is malformed there. The length found never reaches past the value's own node.
bool XpVersionBlockQuery(const unsigned char* block, size_t size, const XpChar* subBlock, XpVersionValue* value);
