#include "foundation/plist/XpIniReader.h"

#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/files/XpMemoryFile.h"
#include "foundation/plist/XpIniArray.h"
#include "foundation/plist/XpIniDict.h"
#include "foundation/plist/XpIniText.h"
#include "foundation/time/XpDateTime.h"

namespace {

enum class Kind { Dict, Key, Array, True, False, Integer, Real, String, Date, Data, Plist, Text, Comment, Unknown };

struct ElementName {
    const char* name;
    Kind kind;
};

constexpr ElementName kElementNames[] = {
    {"dict", Kind::Dict},   {"key", Kind::Key},         {"array", Kind::Array}, {"true", Kind::True},
    {"false", Kind::False}, {"integer", Kind::Integer}, {"real", Kind::Real},   {"string", Kind::String},
    {"date", Kind::Date},   {"data", Kind::Data},       {"plist", Kind::Plist},
};

Kind Classify(const XpXmlDocument& document, uint32_t node)
{
    switch (document.Kind(node)) {
        case XpXmlKind::Element:
            for (const ElementName& element : kElementNames)
                if (document.TextIs(node, element.name)) return element.kind;
            return Kind::Unknown;
        case XpXmlKind::Text:
        case XpXmlKind::CData:
            return Kind::Text;
        case XpXmlKind::Comment:
            return Kind::Comment;
        default:
            return Kind::Unknown;
    }
}

// The value of the element's first text child (CDATA sections do not count); "" without.
const XpChar* ElementText(const XpXmlDocument& document, uint32_t element, uint32_t* length)
{
    for (uint32_t child = document.FirstChild(element); child != kXpXmlNone; child = document.NextSibling(child)) {
        if (document.Kind(child) == XpXmlKind::Text) {
            *length = document.Length(child);
            return document.Text(child);
        }
    }
    *length = 0;
    return XP_T("");
}

uint32_t NextNonComment(const XpXmlDocument& document, uint32_t node)
{
    while (node != kXpXmlNone && document.Kind(node) == XpXmlKind::Comment) node = document.NextSibling(node);
    return node;
}

void StoreData(const XpChar* text, uint32_t length, XpIniElement& element)
{
    if (length < 2) return;
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(length / 2);
    } catch (const std::bad_alloc&) {
        return;
    }
    for (uint32_t i = 0; i < length / 2; ++i)
        bytes[i] =
            static_cast<unsigned char>((XpIniHexValue(text[2 * i]) * 16 + XpIniHexValue(text[2 * i + 1]) % 16) % 256);
    XpMemoryFile source;
    source.Attach(bytes.data(), bytes.size(), false);
    element.SetData(source, 0, -1);
    source.Detach();
}

XpResult StoreDate(const XpChar* text, uint32_t length, XpIniElement& element)
{
    if (length == 0) return XpRc::PlistFailed;
    int fields[6] = {};
    XpDateTime date;
    // A number too large for its field makes the date not valid rather than wrapping.
    if (XpIniReadDateFields(text, fields) && fields[0] >= 100)
        date = XpDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
    return element.SetDate(date);
}

// Reads one document. Keys repeat across the dictionaries of a document (every section
// of a string file has the same ones): each key's text is made once and shared by its
// entries, which spares two allocations per entry.
class Reader {
public:
    explicit Reader(const XpXmlDocument& document) : m_document(document) {}

    XpResult ReadRoot(XpIniDict& dict)
    {
        const uint32_t root = m_document.Root();
        if (root == kXpXmlNone) return XpRc::PlistFailed;
        if (Classify(m_document, root) != Kind::Plist) return XpRc::PlistUnexpected;
        for (uint32_t child = m_document.FirstChild(root); child != kXpXmlNone; child = m_document.NextSibling(child))
            if (Classify(m_document, child) == Kind::Dict) return ReadDict(child, dict);
        return XpRc::PlistUnexpected;
    }

private:
    static constexpr size_t kMaxSharedKeys = 4096;

    // Where a value goes: under a key of a dictionary, or at the end of an array.
    struct Target {
        XpIniDict* dict;
        const XpChar* key;
        uint32_t keyLength;
        XpIniArray* array;
    };

    // Creates the element; *created is the new element when the result is 0, else null.
    XpResult Add(const Target& target, uint32_t type, XpIniInitial initial, XpIniElement** created)
    {
        *created = nullptr;
        if (target.array) {
            const XpResult rc = target.array->InsertNewAt(target.array->Count(), type, initial);
            if (rc == XpRc::Ok) *created = target.array->GetAt(target.array->Count() - 1);
            return rc;
        }
        const std::basic_string_view<XpChar> key(target.key, target.keyLength);
        const XpString* shared = key.find(XP_T('/')) == key.npos ? SharedKey(key) : nullptr;
        if (shared) return target.dict->AddNewUnder(*shared, type, initial, created);
        // A key with "/" names an entry further down (or nothing).
        const XpResult rc = target.dict->AddNew(target.key, type, initial);
        if (rc == XpRc::Ok) *created = target.dict->Find(target.key);
        return rc;
    }

    // The key's one string of this document; null when it cannot be had.
    const XpString* SharedKey(std::basic_string_view<XpChar> key)
    {
        const auto found = m_keys.find(key);
        if (found != m_keys.end()) return &found->second;
        if (m_keys.size() >= kMaxSharedKeys) return nullptr;
        XpString text(key.data(), static_cast<int32_t>(key.size()));
        if (static_cast<size_t>(text.GetLength()) != key.size()) return nullptr;
        try {
            return &m_keys.emplace(key, text).first->second;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    XpResult ReadValue(uint32_t value, const Target& target)
    {
        const Kind kind = Classify(m_document, value);
        uint32_t length = 0;
        XpIniElement* created = nullptr;
        XpResult rc = XpRc::Ok;
        switch (kind) {
            case Kind::Integer:
                return Add(target, XpIniType::Int, XpIniReadInt64(ElementText(m_document, value, &length)), &created);
            case Kind::String:
                return Add(target, XpIniType::String, ElementText(m_document, value, &length), &created);
            case Kind::True:
            case Kind::False:
                return Add(target, XpIniType::Bool, kind == Kind::True ? 1 : 0, &created);
            case Kind::Real: {
                rc = Add(target, XpIniType::Real, 0, &created);
                if (!created) return rc;
                const double real = XpIniReadRealText(ElementText(m_document, value, &length));
                return real != 0.0 ? created->SetReal(real) : rc;
            }
            case Kind::Data: {
                rc = Add(target, XpIniType::MemChunk, 0, &created);
                if (!created) return rc;
                const XpChar* text = ElementText(m_document, value, &length);
                StoreData(text, length, *created);
                return rc;
            }
            case Kind::Date: {
                rc = Add(target, XpIniType::Date, 0, &created);
                if (!created) return rc;
                const XpChar* text = ElementText(m_document, value, &length);
                return StoreDate(text, length, *created);
            }
            case Kind::Array: {
                rc = Add(target, XpIniType::Array, 0, &created);
                if (!created) return rc;
                auto& array = static_cast<XpIniArray&>(*created);
                for (uint32_t item = m_document.FirstChild(value); item != kXpXmlNone;
                     item = m_document.NextSibling(item))
                    if (m_document.Kind(item) != XpXmlKind::Comment)
                        ReadValue(item, Target{nullptr, nullptr, 0, &array});
                return rc;
            }
            case Kind::Dict:
                rc = Add(target, XpIniType::Dict, 0, &created);
                if (!created) return rc;
                return ReadDict(value, static_cast<XpIniDict&>(*created));
            case Kind::Comment:
                return XpRc::Ok;
            default:
                return XpRc::PlistUnexpected;
        }
    }

    XpResult ReadDict(uint32_t element, XpIniDict& dict)
    {
        uint32_t child = NextNonComment(m_document, m_document.FirstChild(element));
        while (child != kXpXmlNone) {
            if (Classify(m_document, child) != Kind::Key) return XpRc::PlistUnexpected;
            uint32_t length = 0;
            const XpChar* key = ElementText(m_document, child, &length);
            if (length == 0) return XpRc::PlistUnexpected;
            const uint32_t value = NextNonComment(m_document, m_document.NextSibling(child));
            if (value == kXpXmlNone) break;  // a key without a value is dropped
            ReadValue(value, Target{&dict, key, length, nullptr});
            child = NextNonComment(m_document, m_document.NextSibling(value));
        }
        return XpRc::Ok;
    }

    const XpXmlDocument& m_document;
    std::unordered_map<std::basic_string_view<XpChar>, XpString> m_keys;
};

}  // namespace

XpResult XpIniReadDocument(const XpXmlDocument& document, XpIniDict& dict)
{
    try {
        return Reader(document).ReadRoot(dict);
    } catch (const std::bad_alloc&) {
        return XpRc::OutOfMemory;
    }
}
