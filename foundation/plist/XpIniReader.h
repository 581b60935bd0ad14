#pragma once
// Reading a parsed property-list document into a dictionary. The document element must
// be "plist"; its first "dict" child is read into the dictionary. Below that, reading is
// tolerant: a bad value costs only its own entry (or item), and only the root dictionary's
// own reading decides the result.

#include "foundation/XpResult.h"
#include "platform/shared/XpXmlDocument.h"

class XpIniDict;

// 0, 0x8500 without a document element, 0x8504 for unexpected content at the top or in
// the root dictionary (whose entries read before it stay).
XpResult XpIniReadDocument(const XpXmlDocument& document, XpIniDict& dict);
