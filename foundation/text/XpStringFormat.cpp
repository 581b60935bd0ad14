// The formatting and code-page conversion operations of XpStringT.

#include <climits>
#include <cstdlib>

#include "foundation/text/XpFormat.h"
#include "foundation/text/XpString.h"
#include "platform/PlatformText.h"

namespace {

// Most formatted texts fit this stack buffer; only longer ones cost a heap buffer.
constexpr size_t kStackElements = 256;
// Heap buffers for longer texts: 512, 1024, 1536, ... elements.
constexpr size_t kHeapStep = 512;
// Conversions between code pages start in a stack buffer of 4 bytes per character (narrow) or
// 2 characters per character (wide), but never a larger one than this: a text of a million
// characters must not put megabytes on the stack. Longer texts are measured and converted
// into a heap block instead.
constexpr size_t kStackConversionBytes = 4096;

void TakeFormatted(XpString& target, bool append, const XpChar* text)
{
    if (append) {
        target.Append(text);
    } else {
        target = text;
    }
}

// Formats into the stack buffer first, then into heap buffers of growing size. Every try
// formats the same arguments again from its own copy of the list. A text that cannot be
// taken (the C allocator fails, or it is longer than a string can hold) leaves the string as
// it was.
void FormatInto(XpString& target, bool append, const XpChar* format, va_list arguments)
{
    if (format == nullptr) return;
    XpChar stackBuffer[kStackElements] = {};
    uint64_t needed = 0;
    va_list copy;
    va_copy(copy, arguments);
    const int written = XpFormatV(stackBuffer, kStackElements, format, copy, &needed);
    va_end(copy);
    if (static_cast<unsigned>(written) <= kStackElements - 1) {
        TakeFormatted(target, append, stackBuffer);
        return;
    }
    const uint64_t room = XpString::kMaxLength - (append ? static_cast<uint64_t>(target.GetLength()) : 0);
    for (size_t size = kHeapStep;; size += kHeapStep) {
        // The text is the same at every try, and the formatter reports its whole length even
        // when truncated: sizes that cannot hold it are skipped, so that the first try on the
        // heap is the first size of the sequence that fits.
        if (needed >= size) size = static_cast<size_t>((needed / kHeapStep + 1) * kHeapStep);
        if (needed > room) return;
        auto* heapBuffer = static_cast<XpChar*>(std::malloc(sizeof(XpChar) * size));
        if (heapBuffer == nullptr) return;
        heapBuffer[0] = 0;
        va_copy(copy, arguments);
        const int result = XpFormatV(heapBuffer, size, format, copy, &needed);
        va_end(copy);
        const bool taken = result >= 0 && static_cast<size_t>(result) < size;
        if (taken) TakeFormatted(target, append, heapBuffer);
        std::free(heapBuffer);
        // A try that failed without being too small would fail again at any size.
        if (taken || needed < size) return;
    }
}

}  // namespace

template <class T>
void XpStringT<T>::Format(const T* format, ...) requires std::is_same_v<T, XpChar>
{
    va_list arguments;
    va_start(arguments, format);
    FormatInto(*this, false, format, arguments);
    va_end(arguments);
}

template <class T>
void XpStringT<T>::FormatV(const T* format, va_list arguments) requires std::is_same_v<T, XpChar>
{
    FormatInto(*this, false, format, arguments);
}

template <class T>
void XpStringT<T>::AppendFormat(const T* format, ...) requires std::is_same_v<T, XpChar>
{
    va_list arguments;
    va_start(arguments, format);
    FormatInto(*this, true, format, arguments);
    va_end(arguments);
}

// Both conversions take the whole text with its terminator (length -1), so the result count
// includes the terminator.
template <class T>
XpStringT<char> XpStringT<T>::ToNarrow() const requires std::is_same_v<T, XpChar>
{
    const size_t firstTry = 4 * static_cast<size_t>(GetLength()) + 4;
    if (firstTry <= kStackConversionBytes) {
        char stackBuffer[kStackConversionBytes];
        const int converted = XpPlatformWideToAnsi(m_data, -1, stackBuffer, static_cast<int>(firstTry));
        if (converted > 0) return XpStringT<char>(stackBuffer, converted - 1);
    }
    const int needed = XpPlatformWideToAnsi(m_data, -1, nullptr, 0);
    if (needed <= 0) return XpStringT<char>();
    auto* heapBuffer = static_cast<char*>(std::malloc(static_cast<size_t>(needed)));
    if (heapBuffer == nullptr) return XpStringT<char>();
    const int converted = XpPlatformWideToAnsi(m_data, -1, heapBuffer, needed);
    XpStringT<char> result = converted > 0 ? XpStringT<char>(heapBuffer, converted - 1) : XpStringT<char>();
    std::free(heapBuffer);
    return result;
}

template <class T>
XpStringT<XpChar> XpStringT<T>::ToWide() const requires(!std::is_same_v<T, XpChar>)
{
    const size_t firstTry = 2 * static_cast<size_t>(GetLength()) + 2;
    if (firstTry * sizeof(XpChar) <= kStackConversionBytes) {
        XpChar stackBuffer[kStackConversionBytes / sizeof(XpChar)];
        const int converted = XpPlatformAnsiToWide(m_data, -1, stackBuffer, static_cast<int>(firstTry));
        if (converted > 0) return XpStringT<XpChar>(stackBuffer, converted - 1);
    }
    const int needed = XpPlatformAnsiToWide(m_data, -1, nullptr, 0);
    if (needed <= 0) return XpStringT<XpChar>(XP_T(""));
    auto* heapBuffer = static_cast<XpChar*>(std::malloc(sizeof(XpChar) * static_cast<size_t>(needed)));
    if (heapBuffer == nullptr) return XpStringT<XpChar>(XP_T(""));
    const int converted = XpPlatformAnsiToWide(m_data, -1, heapBuffer, needed);
    XpStringT<XpChar> result =
        converted > 0 ? XpStringT<XpChar>(heapBuffer, converted - 1) : XpStringT<XpChar>(XP_T(""));
    std::free(heapBuffer);
    return result;
}

template void XpStringT<XpChar>::Format(const XpChar*, ...);
template void XpStringT<XpChar>::FormatV(const XpChar*, va_list);
template void XpStringT<XpChar>::AppendFormat(const XpChar*, ...);
template XpStringT<char> XpStringT<XpChar>::ToNarrow() const;
template XpStringT<XpChar> XpStringT<char>::ToWide() const;
