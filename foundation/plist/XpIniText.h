#pragma once
// The texts of property-list values: numbers read the way the Windows C run-time reads
// them (_wtoi, _wtoi64, _wtof), dates of six numbers, byte pairs in hexadecimal, and the
// C run-time's current decimal point. The same on both targets.

#include <cstdint>

#include "platform/XpChar.h"

// _wtoi64: leading white space, a sign, decimal digits; 0 without digits. Values beyond
// the 64-bit range stop at its ends.
int64_t XpIniReadInt64(const XpChar* text);
// _wtoi: the same within 32 bits.
int32_t XpIniReadInt32(const XpChar* text);
// The decimal point of the C run-time's current locale when it is one character, else '.'.
XpChar XpIniDecimalPoint();
// _wtof with the given decimal point: white space, a sign, digits, the decimal point and
// digits, an exponent (e, E, d or D); 0 without digits. Overflow gives an infinity.
double XpIniReadReal(const XpChar* text, XpChar decimalPoint);
// A real's text in the file: the first "," or "." becomes the current decimal point, then
// the text is read as above.
double XpIniReadRealText(const XpChar* text);

// Six numbers (year, month, day, hour, minute, second), each a run of decimal digits and
// one separator of any kind; numbers missing at the end are 0. False when a number does
// not fit in 32 bits.
bool XpIniReadDateFields(const XpChar* text, int fields[6]);
// The value of one hexadecimal digit: 0-9, A-F and a-f; any other character gives its
// own low byte.
unsigned XpIniHexValue(XpChar c);
