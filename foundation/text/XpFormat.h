#pragma once
// The system's own printf-style formatter, with the meanings of the Windows C run-time's wide
// printf on every target, so that one format string gives one text everywhere:
//
//   %s %ls %ws    a wide text (const XpChar*)       %S %hs       a narrow text (const char*)
//   %c %lc        a wide character (int)             %C %hc       a narrow character (int)
//   %d %i %u %o %x %X   32-bit integers, also with l (long is 32 bits on Windows) and I32
//   %lld %I64d %Id %jd %zd %td (and u, o, x, X)       64-bit integers
//   %hd %hu ...   16-bit integers                    %hhd ...     8-bit integers
//   %p            a pointer as 16 uppercase hex digits
//   %f %F %e %E %g %G %a %A   doubles (L is ignored: long double is double on Windows); the
//                 decimal forms are rounded on the exact value of the double, and an exact
//                 half away from zero, as the Windows C run-time does ("%.1f" of 0.25 is 0.3)
//   %%            a percent sign
//
// Flags - + space 0 #, widths and precisions, either of them "*" (taken from the arguments,
// a negative width meaning left alignment and a negative precision none). A null text prints
// as "(null)". An unknown conversion (%n among them: nothing is ever written through an
// argument) is copied to the output as it stands. Narrow texts and characters are read in the
// system ANSI code page.

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/XpChar.h"

// Where the formatter takes its arguments from: one call per conversion, and one NextInt32
// per "*". The formatter never asks for more than the format names.
class XpFormatArguments {
public:
    virtual int32_t NextInt32() = 0;
    virtual int64_t NextInt64() = 0;
    virtual double NextDouble() = 0;
    virtual const void* NextPointer() = 0;
    virtual const XpChar* NextWideText() = 0;
    virtual const char* NextNarrowText() = 0;

protected:
    ~XpFormatArguments() = default;
};

// The arguments of a variadic call. It works on its own copy of the list; the caller's list
// is left as it was.
class XpFormatVaArguments final : public XpFormatArguments {
public:
    explicit XpFormatVaArguments(va_list arguments);
    ~XpFormatVaArguments();
    XpFormatVaArguments(const XpFormatVaArguments&) = delete;
    XpFormatVaArguments& operator=(const XpFormatVaArguments&) = delete;

    int32_t NextInt32() override;
    int64_t NextInt64() override;
    double NextDouble() override;
    const void* NextPointer() override;
    const XpChar* NextWideText() override;
    const char* NextNarrowText() override;

private:
    va_list m_arguments;
};

// Formats into buffer, which holds count elements (count 0 or a null buffer: only measures).
// Writes at most count - 1 characters and always a terminator when there is room for one.
// Returns the length of the whole formatted text, terminator excluded, whether it fit or not.
// A null format gives 0 and an empty text.
uint64_t XpFormatTo(XpChar* buffer, size_t count, const XpChar* format, XpFormatArguments& arguments);

// The truncating entry point, like _vsnwprintf_s with _TRUNCATE: the number of characters
// written, or -1 when the text did not fit (the buffer then holds as much of it as fits,
// terminated), or -1 for a null buffer, a count of 0 or a null format. `needed`, when given,
// receives the length of the whole text (0 for the invalid calls).
int XpFormatV(XpChar* buffer, size_t count, const XpChar* format, va_list arguments, uint64_t* needed = nullptr);
int XpFormat(XpChar* buffer, size_t count, const XpChar* format, ...);
