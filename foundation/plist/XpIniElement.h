#pragma once
// XpIniElement: one value of a property list, a tree of typed values (dictionaries keyed
// by text, arrays, strings, 64-bit integers, reals, booleans, dates and byte data) whose
// one external form is an XML document with the root element "plist".
//
// The base class answers every operation as "not supported" (0x8501, a null element or a
// count of 0); each concrete class overrides what its type supports. Elements are
// addressed by paths of components joined by "/": a key at a dictionary, a decimal index
// at an array. Only the first "/" is split at each level, so keys cannot hold "/".
//
// Containers own their elements: destroying or removing an entry destroys its element.
// No operation lets an exception out: allocation failures answer 0x8401.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "foundation/XpResult.h"
#include "foundation/text/XpString.h"

class XpAbstractFile;
class XpDateTime;
class XpMemoryFile;

// Result codes of the property lists.
namespace XpRc {
inline constexpr XpResult PlistFailed = 0x8500;        // no root element, a failed save, an empty date text
inline constexpr XpResult PlistNotSupported = 0x8501;  // not an operation of this element's type
inline constexpr XpResult PlistNotFound = 0x8502;      // path component or index not found, index out of range
inline constexpr XpResult PlistNotParsed = 0x8503;     // the document did not parse
inline constexpr XpResult PlistUnexpected = 0x8504;    // unexpected content in the document
inline constexpr XpResult PlistComInit = 0x8505;       // COM refused the calling thread
inline constexpr XpResult PlistNoDocument = 0x8506;    // no XML document object
inline constexpr XpResult PlistUnknownType = 0x8507;
inline constexpr XpResult PlistKeyExists = 0x8508;
inline constexpr XpResult PlistNotInt32 = 0x8509;  // the integer does not fit in 32 bits
}  // namespace XpRc

// Type codes.
namespace XpIniType {
inline constexpr uint32_t Bool = 0;
inline constexpr uint32_t Int = 1;
inline constexpr uint32_t Real = 2;
inline constexpr uint32_t String = 3;
inline constexpr uint32_t MemChunk = 4;
inline constexpr uint32_t Date = 5;
inline constexpr uint32_t Array = 6;
inline constexpr uint32_t Dict = 7;
}  // namespace XpIniType

// The initial value of a new element: a number for a boolean (nonzero is true) or an
// integer, a zero-terminated text for a string (null gives an empty string); ignored for
// the other types.
class XpIniInitial {
public:
    XpIniInitial() = default;
    template <class T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
    XpIniInitial(T number) : m_nNumber(static_cast<int64_t>(number))
    {
    }
    XpIniInitial(const XpChar* text) : m_pText(text) {}

    int64_t Number() const { return m_nNumber; }
    const XpChar* Text() const { return m_pText; }

private:
    int64_t m_nNumber = 0;
    const XpChar* m_pText = nullptr;
};

class XpIniElement;

// One entry of a dictionary.
struct XpIniEntry {
    XpString key;
    XpIniElement* element = nullptr;
};

class XpIniElement {
public:
    XpIniElement() = default;
    XpIniElement(const XpIniElement&) = delete;
    XpIniElement& operator=(const XpIniElement&) = delete;
    virtual ~XpIniElement();

    // Entries or items; 0 for scalars.
    virtual int Count() const;
    virtual XpIniElement* Find(const XpChar* path) const;
    virtual XpIniElement* GetAt(int index) const;
    virtual XpResult Remove(const XpChar* path);
    virtual XpResult RemoveAt(int index);
    virtual XpResult LoadFromFile(const XpChar* path);
    virtual XpResult SaveToFile(const XpChar* path) const;
    virtual XpResult AddNew(const XpChar* path, uint32_t type, XpIniInitial initial);
    virtual XpResult InsertNewAt(int index, uint32_t type, XpIniInitial initial);
    virtual XpResult GetEntryAt(int index, XpIniEntry& entry) const;
    virtual uint32_t GetType() const = 0;
    virtual XpResult GetData(XpMemoryFile& data) const;
    virtual XpResult GetDate(XpDateTime& date) const;
    // Shares the string's buffer.
    virtual XpResult GetString(XpString& text) const;
    virtual XpResult GetReal(double& value) const;
    virtual XpResult GetInt64(int64_t& value) const;
    // The low 32 bits in every case; 0x8509 when the value lies outside the 32-bit range.
    virtual XpResult GetInt32(int32_t& value) const;
    virtual XpResult GetBool(bool& value) const;
    // The bytes of source from offset on: length of them, or all that is left for -1.
    virtual XpResult SetData(XpAbstractFile& source, int64_t offset, int64_t length);
    virtual XpResult SetDate(const XpDateTime& date);
    // Null is taken as "".
    virtual XpResult SetString(const XpChar* text);
    virtual XpResult SetReal(double value);
    virtual XpResult SetInt64(int64_t value);
};

// A new element of the type with the initial value: 0x8507 for an unknown type code,
// 0x8401 when memory is exhausted; *element is null on failure.
XpResult CreateElement(uint32_t type, XpIniInitial initial, XpIniElement** element);

// A run of characters, for keys and path components that are not zero-terminated where
// they stand.
struct XpIniKeyView {
    const XpChar* text;
    size_t length;
};

// Splits a path at its first "/": the first component, and the rest (null without "/").
inline XpIniKeyView SplitPath(const XpChar* path, const XpChar** rest)
{
    size_t length = 0;
    while (path[length] != 0 && path[length] != XP_T('/')) ++length;
    *rest = path[length] == XP_T('/') ? path + length + 1 : nullptr;
    return XpIniKeyView{path, length};
}
