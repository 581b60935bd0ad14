#pragma once
// XpStringT: the one string type. A reference-counted, copy-on-write string whose copies
// share one heap buffer until one of them changes. The wide form (XpString, UTF-16 code
// units) carries every text; the narrow form (XpNarrowString) holds text in the system
// ANSI code page where bytes are needed.
//
// Character blocks come from the C allocator and always follow one capacity rule
// (multiples of 64 elements, shrunk only when more than twice the need and above 128).
// Default-constructed wide strings share their thread's one empty buffer.
//
// A string holds at most kMaxLength characters, the most whose capacity the rule can give
// in a 32-bit field. A text, append or concatenation that would pass it is refused the way
// an allocation failure is: the string stays as it was (a string being constructed, or the
// result of a concatenation, is empty).

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/XpChar.h"

struct XpStringBuffer {
    void* characters;               // malloc'd block: capacity elements, zero-terminated
    int32_t length;                 // characters, terminator excluded
    int32_t capacity;               // elements the block holds
    std::atomic<int32_t> refCount;  // strings sharing this record
};

template <class T>
class XpStringT {
    static constexpr bool kWide = std::is_same_v<T, XpChar>;
    static_assert(kWide || std::is_same_v<T, char>, "XpStringT holds XpChar or char");

public:
    // (2^31 - 1) - 64: its capacity, the next multiple of 64 above it, is the largest such
    // multiple that an int32_t holds.
    static constexpr int32_t kMaxLength = INT32_MAX - 64;

    XpStringT();
    XpStringT(const T* text);                  // null is taken as ""
    XpStringT(const T* text, int32_t length);  // a negative length is taken as 0
    XpStringT(const XpStringT& other);
    ~XpStringT();

    XpStringT& operator=(const XpStringT& other);
    XpStringT& operator=(const T* text);  // null is taken as ""

    const T* GetString() const { return m_data; }
    int32_t GetLength() const { return m_buffer->length; }
    bool IsEmpty() const { return m_buffer->length == 0; }

    // Ordinal comparison of code units as unsigned numbers: -1, 0 or +1.
    int Compare(const T* text) const;
    bool operator==(const XpStringT& other) const { return Compare(other.GetString()) == 0; }
    bool operator<(const XpStringT& other) const { return Compare(other.GetString()) < 0; }

    void Append(const T* text);  // null is taken as ""
    XpStringT& operator+=(const T* text)
    {
        Append(text);
        return *this;
    }
    XpStringT& operator+=(const XpStringT& text)
    {
        Append(text.GetString());
        return *this;
    }

    // n below 0 counts as 0; n at or beyond the length gives a copy sharing this buffer.
    XpStringT Left(int32_t n) const;
    XpStringT Right(int32_t n) const;

    // Formatting with the Windows C run-time meanings ("%s" wide, "%S" narrow,
    // "%I64d" 64-bit, ...). Wide form only. (The constraints name the type rather than
    // kWide: clang 14 cannot match an out-of-line definition whose constraint names a
    // class member.)
    void Format(const T* format, ...) requires std::is_same_v<T, XpChar>;
    void FormatV(const T* format, va_list arguments) requires std::is_same_v<T, XpChar>;
    void AppendFormat(const T* format, ...) requires std::is_same_v<T, XpChar>;

    // Conversions through the system ANSI code page.
    XpStringT<char> ToNarrow() const requires std::is_same_v<T, XpChar>;
    XpStringT<XpChar> ToWide() const requires(!std::is_same_v<T, XpChar>);

    // Introspection of the shared buffer, for tests and diagnostics.
    int32_t GetCapacity() const { return m_buffer->capacity; }
    int32_t GetRefCount() const { return m_buffer->refCount.load(); }
    const void* GetBufferId() const { return m_buffer; }

    // The capacity that the rule gives for a required length, starting from capacity
    // `current` (0 for no block yet); -1 when the length is negative or above kMaxLength.
    static int32_t TargetCapacity(int32_t current, int32_t required);

private:
    void Share(XpStringBuffer* buffer);
    void Release();
    void MakePrivate();
    // Sets the length, resizing the block by the capacity rule; false when the C
    // allocator fails (the string is left as it was).
    bool Resize(int32_t length);
    void AssignText(const T* text, int32_t length);
    void AppendText(const T* text, int32_t length);
    template <class U>
    friend class XpStringT;

    T* m_data;
    XpStringBuffer* m_buffer;
};

using XpString = XpStringT<XpChar>;
using XpNarrowString = XpStringT<char>;

template <class T>
XpStringT<T> operator+(const XpStringT<T>& left, const XpStringT<T>& right);
template <class T>
XpStringT<T> operator+(const XpStringT<T>& left, const T* right);
template <class T>
XpStringT<T> operator+(const T* left, const XpStringT<T>& right);

// Length of a zero-terminated text of either character type; -1 when it is longer than a
// string can hold (the count stops there, so it never wraps).
template <class T>
int32_t XpTextLength(const T* text)
{
    constexpr size_t kLimit = size_t{XpStringT<T>::kMaxLength} + 1;
    if constexpr (sizeof(T) == 1) {
        // memchr stops at the first zero it meets, so the limit is only a bound.
        const void* end = std::memchr(text, 0, kLimit);
        return end != nullptr ? static_cast<int32_t>(static_cast<const T*>(end) - text) : -1;
    } else {
        for (size_t n = 0; n < kLimit; ++n) {
            if (text[n] == 0) return static_cast<int32_t>(n);
        }
        return -1;
    }
}

extern template class XpStringT<XpChar>;
extern template class XpStringT<char>;
