#pragma once
// Writing a dictionary as a property-list document. The whole text is made in memory
// before anything is saved, so a failure leaves whatever was to be replaced untouched.
//
// The element formats: integers "%I64d"; reals "%.15f" with the current decimal point;
// data two lower-case hexadecimal digits per byte; dates "YYYY:MM:DDThh:mm:ssZ" (colons
// in the date part; a date that is not valid is written with zeros); texts escaped, a
// CR as a character reference (so it survives the parser's line-end rule), and a text of
// blanks only marked xml:space="preserve" (so it is not dropped as blank). No indentation.

#include <string>

#include "foundation/XpResult.h"
#include "platform/XpChar.h"

class XpIniDict;

namespace XpIniForm {
// A file's document declares its encoding (UTF-8); a text's does not.
inline constexpr bool File = true;
inline constexpr bool Text = false;
}  // namespace XpIniForm

// 0; 0x8500 when a key or string holds a character that XML cannot carry (a control
// character, U+FFFE, U+FFFF or an unpaired surrogate): such a document would not load
// again; 0x8401 when memory ran out. text is complete only on 0.
XpResult XpIniWriteDocument(const XpIniDict& dict, bool form, std::basic_string<XpChar>& text);
