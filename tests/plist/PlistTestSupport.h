// Helpers of the property-list and strings tests: texts written in UTF-8 in the tests and
// shown in UTF-8 in their messages, documents loaded from UTF-8 texts, and the text at a
// path of a tree.
#pragma once

#include <string>

#include "foundation/plist/XpIniDict.h"
#include "foundation/text/XpString.h"

namespace kestrow_test {

// UTF-8 to the library's UTF-16 and back (test texts are valid; unpaired surrogates
// come back as U+FFFD).
XpString Wide(const std::string& utf8);
std::string Utf8(const XpChar* text, size_t length);
inline std::string Utf8(const XpString& text)
{
    return Utf8(text.GetString(), static_cast<size_t>(text.GetLength()));
}

// LoadFromString of a document given in UTF-8.
XpResult LoadXml(XpIniDict& dict, const std::string& xml);
// The document of SaveToString in UTF-8; "<failed 0x....>" when the save fails.
std::string SaveXml(const XpIniDict& dict);
// The text of the string element at the path; "<missing>" or "<not a string>" otherwise.
std::string TextAt(const XpIniElement& root, const char* path);
// A document (without XML declaration) of the root dictionary's entries given as XML.
inline std::string Plist(const std::string& entries)
{
    return "<plist version=\"1.0\"><dict>" + entries + "</dict></plist>";
}

}  // namespace kestrow_test
