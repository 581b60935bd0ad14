#include "foundation/text/XpString.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>

#include "foundation/sync/XpSyncObject.h"
#include "platform/PlatformSync.h"

namespace {

// Set when the registry below is destroyed at process exit. The destructors of static
// objects made before the registry run after that, and the strings they default-construct
// then get an empty buffer of their own instead of reaching into the destroyed map.
std::atomic<bool> g_registryDestroyed{false};

// The per-thread empty strings: thread identifier -> that thread's empty string.
// Entries stay until process exit, so a buffer taken from here outlives the lookup.
struct EmptyStringRegistry {
    ~EmptyStringRegistry() { g_registryDestroyed.store(true); }

    XpCriticalSection section;
    std::map<uint32_t, XpString> strings;
};

EmptyStringRegistry& Registry()
{
    static EmptyStringRegistry registry;
    return registry;
}

template <class T>
T* Chars(XpStringBuffer* buffer)
{
    return static_cast<T*>(buffer->characters);
}

template <class T>
constexpr T kEmptyText[1] = {0};

// Where a string goes when not even its first block can be allocated: a shared empty
// text whose count never reaches zero, so the string stays readable and is never freed.
template <class T>
XpStringBuffer* OutOfMemoryBuffer()
{
    static T empty[1] = {0};
    static XpStringBuffer buffer{empty, 0, 1, {1 << 30}};
    return &buffer;
}

}  // namespace

template <class T>
int32_t XpStringT<T>::TargetCapacity(int32_t current, int32_t required)
{
    if (required < 0 || required > kMaxLength) return -1;
    const int32_t target = (required / 64 + 1) * 64;
    if (current < target) return target;
    if (target < current / 2 && current > 128) return target;
    return current;
}

template <class T>
XpStringT<T>::XpStringT() : m_data(nullptr), m_buffer(nullptr)
{
    if constexpr (kWide) {
        if (!g_registryDestroyed.load()) {
            EmptyStringRegistry& registry = Registry();
            const uint32_t thread = XpPlatformCurrentThreadId();
            XpStringBuffer* buffer;
            {
                XpSingleLock lock(registry.section);
                auto found = registry.strings.find(thread);
                if (found == registry.strings.end()) {
                    XpStringT fresh(XP_T(""));
                    found = registry.strings.emplace(thread, fresh).first;
                }
                buffer = found->second.m_buffer;
            }
            Share(buffer);
            return;
        }
    }
    AssignText(kEmptyText<T>, 0);
}

template <class T>
XpStringT<T>::XpStringT(const T* text) : m_data(nullptr), m_buffer(nullptr)
{
    if (text == nullptr) text = kEmptyText<T>;
    AssignText(text, XpTextLength(text));
}

template <class T>
XpStringT<T>::XpStringT(const T* text, int32_t length) : m_data(nullptr), m_buffer(nullptr)
{
    if (text == nullptr || length < 0) length = 0;
    AssignText(text, length);
}

template <class T>
XpStringT<T>::XpStringT(const XpStringT& other) : m_data(nullptr), m_buffer(nullptr)
{
    Share(other.m_buffer);
}

template <class T>
XpStringT<T>::~XpStringT()
{
    Release();
}

template <class T>
XpStringT<T>& XpStringT<T>::operator=(const XpStringT& other)
{
    if (m_buffer != other.m_buffer) {
        XpStringBuffer* source = other.m_buffer;
        source->refCount.fetch_add(1);  // keeps the source alive should it be ours alone
        Release();
        m_buffer = source;
        m_data = Chars<T>(source);
    }
    return *this;
}

template <class T>
XpStringT<T>& XpStringT<T>::operator=(const T* text)
{
    if (text == nullptr) text = kEmptyText<T>;
    const int32_t length = XpTextLength(text);
    if (length < 0) return *this;  // too long: refused, the string stays as it was
    // The text may lie inside our own block (a substring of ourselves): copy it first
    // when the block may move.
    if (text >= m_data && text <= m_data + GetLength()) {
        const XpStringT copy(text, length);
        AssignText(copy.GetString(), length);
    } else {
        AssignText(text, length);
    }
    return *this;
}

template <class T>
void XpStringT<T>::Share(XpStringBuffer* buffer)
{
    buffer->refCount.fetch_add(1);
    m_buffer = buffer;
    m_data = Chars<T>(buffer);
}

template <class T>
void XpStringT<T>::Release()
{
    if (m_buffer == nullptr) return;
    if (m_buffer->refCount.fetch_sub(1) == 1) {
        std::free(m_buffer->characters);
        delete m_buffer;
    }
    m_buffer = nullptr;
    m_data = nullptr;
}

template <class T>
void XpStringT<T>::MakePrivate()
{
    if (m_buffer->refCount.load() == 1) return;
    const int32_t length = m_buffer->length;
    const int32_t capacity = TargetCapacity(0, length);
    T* block = static_cast<T*>(std::malloc(sizeof(T) * static_cast<size_t>(capacity)));
    if (block == nullptr) return;  // stays shared; the caller's change is dropped
    std::memcpy(block, m_data, sizeof(T) * static_cast<size_t>(length + 1));
    XpStringBuffer* fresh = new XpStringBuffer{block, length, capacity, {1}};
    Release();
    m_buffer = fresh;
    m_data = block;
}

template <class T>
bool XpStringT<T>::Resize(int32_t length)
{
    const int32_t current = m_buffer ? m_buffer->capacity : 0;
    const int32_t target = TargetCapacity(current, length);
    if (target < 0) return false;
    if (m_buffer == nullptr) {
        T* block = static_cast<T*>(std::malloc(sizeof(T) * static_cast<size_t>(target)));
        if (block == nullptr) return false;
        block[0] = 0;
        m_buffer = new XpStringBuffer{block, 0, target, {1}};
        m_data = block;
    } else if (target != current) {
        void* block = std::realloc(m_buffer->characters, sizeof(T) * static_cast<size_t>(target));
        if (block == nullptr) return false;
        m_buffer->characters = block;
        m_buffer->capacity = target;
        m_data = static_cast<T*>(block);
    }
    m_buffer->length = length;
    return true;
}

template <class T>
void XpStringT<T>::AssignText(const T* text, int32_t length)
{
    // A length no string can hold (or a text too long to measure) is refused before the text
    // is read: a string being constructed becomes empty, as when its block cannot be had.
    if (length < 0 || length > kMaxLength) {
        if (m_buffer == nullptr) Share(OutOfMemoryBuffer<T>());
        return;
    }
    if (m_buffer != nullptr) {
        MakePrivate();
        if (m_buffer->refCount.load() != 1) return;
    }
    if (!Resize(length)) {
        if (m_buffer == nullptr) Share(OutOfMemoryBuffer<T>());
        return;
    }
    if (length > 0) std::memmove(m_data, text, sizeof(T) * static_cast<size_t>(length));
    m_data[length] = 0;
}

template <class T>
void XpStringT<T>::AppendText(const T* text, int32_t length)
{
    if (length <= 0) return;  // nothing, or a text too long to measure
    const int32_t oldLength = m_buffer->length;
    if (int64_t{oldLength} + length > kMaxLength) return;
    // Appending our own characters: remember where they lie before making the block
    // private, since that and the resize may both move them. (Once made private, the shared
    // block may be freed at any moment by its other sharer on another thread.)
    const T* begin = m_data;
    const bool own = text >= begin && text <= begin + oldLength;
    const std::ptrdiff_t offset = own ? text - begin : 0;
    MakePrivate();
    if (m_buffer->refCount.load() != 1) return;
    if (!Resize(oldLength + length)) return;
    if (own) text = m_data + offset;
    std::memmove(m_data + oldLength, text, sizeof(T) * static_cast<size_t>(length));
    m_data[oldLength + length] = 0;
}

template <class T>
void XpStringT<T>::Append(const T* text)
{
    if (text == nullptr) return;
    AppendText(text, XpTextLength(text));
}

template <class T>
int XpStringT<T>::Compare(const T* text) const
{
    using Unit = std::make_unsigned_t<T>;
    const T* mine = m_data;
    for (;; ++mine, ++text) {
        const Unit a = static_cast<Unit>(*mine);
        const Unit b = static_cast<Unit>(*text);
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
}

template <class T>
XpStringT<T> XpStringT<T>::Left(int32_t n) const
{
    if (n < 0) n = 0;
    if (n < GetLength()) return XpStringT(m_data, n);
    return *this;
}

template <class T>
XpStringT<T> XpStringT<T>::Right(int32_t n) const
{
    if (n < 0) n = 0;
    const int32_t length = GetLength();
    if (n < length) return XpStringT(m_data + (length - n), n);
    return *this;
}

namespace {
// The lengths are those of zero-terminated texts: -1 for one too long to measure.
template <class T>
XpStringT<T> Concatenate(const T* left, int32_t leftLength, const T* right, int32_t rightLength)
{
    // A result that no string can hold is empty, as when its block cannot be had; neither
    // text is copied.
    if (leftLength < 0 || rightLength < 0 || int64_t{leftLength} + rightLength > XpStringT<T>::kMaxLength)
        return XpStringT<T>(nullptr);
    XpStringT<T> result(left, leftLength);
    XpStringT<T> tail(right, rightLength);
    result += tail;
    return result;
}
}  // namespace

template <class T>
XpStringT<T> operator+(const XpStringT<T>& left, const XpStringT<T>& right)
{
    return Concatenate(left.GetString(), left.GetLength(), right.GetString(), right.GetLength());
}

template <class T>
XpStringT<T> operator+(const XpStringT<T>& left, const T* right)
{
    return Concatenate(left.GetString(), left.GetLength(), right, XpTextLength(right));
}

template <class T>
XpStringT<T> operator+(const T* left, const XpStringT<T>& right)
{
    return Concatenate(left, XpTextLength(left), right.GetString(), right.GetLength());
}

template class XpStringT<XpChar>;
template class XpStringT<char>;
template XpString operator+(const XpString&, const XpString&);
template XpString operator+(const XpString&, const XpChar*);
template XpString operator+(const XpChar*, const XpString&);
template XpNarrowString operator+(const XpNarrowString&, const XpNarrowString&);
template XpNarrowString operator+(const XpNarrowString&, const char*);
template XpNarrowString operator+(const char*, const XpNarrowString&);
