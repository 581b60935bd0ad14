#include "foundation/plist/XpIniReader.h"

#include <new>
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

// Where a value goes: under a key of a dictionary, or at the end of an array.
class Target {
public:
    Target(XpIniDict& dict, const XpChar* key) : m_pDict(&dict), m_pKey(key) {}
    explicit Target(XpIniArray& array) : m_pArray(&array) {}

    // Creates the element; *created is the new element when the result is 0, else null.
    XpResult Add(uint32_t type, XpIniInitial initial, XpIniElement** created)
    {
        *created = nullptr;
        if (m_pDict) {
            const XpResult rc = m_pDict->AddNew(m_pKey, type, initial);
            if (rc == XpRc::Ok) *created = m_pDict->Find(m_pKey);
            return rc;
        }
        const XpResult rc = m_pArray->InsertNewAt(m_pArray->Count(), type, initial);
        if (rc == XpRc::Ok) *created = m_pArray->GetAt(m_pArray->Count() - 1);
        return rc;
    }

private:
    XpIniDict* m_pDict = nullptr;
    const XpChar* m_pKey = nullptr;
    XpIniArray* m_pArray = nullptr;
};

XpResult ReadDict(const XpXmlDocument& document, uint32_t element, XpIniDict& dict);

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

XpResult ReadValue(const XpXmlDocument& document, uint32_t value, Target target)
{
    const Kind kind = Classify(document, value);
    uint32_t length = 0;
    XpIniElement* created = nullptr;
    XpResult rc = XpRc::Ok;
    switch (kind) {
        case Kind::Integer:
            return target.Add(XpIniType::Int, XpIniReadInt64(ElementText(document, value, &length)), &created);
        case Kind::String:
            return target.Add(XpIniType::String, ElementText(document, value, &length), &created);
        case Kind::True:
        case Kind::False:
            return target.Add(XpIniType::Bool, kind == Kind::True ? 1 : 0, &created);
        case Kind::Real: {
            rc = target.Add(XpIniType::Real, 0, &created);
            if (!created) return rc;
            const double real = XpIniReadRealText(ElementText(document, value, &length));
            return real != 0.0 ? created->SetReal(real) : rc;
        }
        case Kind::Data: {
            rc = target.Add(XpIniType::MemChunk, 0, &created);
            if (!created) return rc;
            const XpChar* text = ElementText(document, value, &length);
            StoreData(text, length, *created);
            return rc;
        }
        case Kind::Date: {
            rc = target.Add(XpIniType::Date, 0, &created);
            if (!created) return rc;
            const XpChar* text = ElementText(document, value, &length);
            return StoreDate(text, length, *created);
        }
        case Kind::Array: {
            rc = target.Add(XpIniType::Array, 0, &created);
            if (!created) return rc;
            auto& array = static_cast<XpIniArray&>(*created);
            for (uint32_t item = document.FirstChild(value); item != kXpXmlNone; item = document.NextSibling(item))
                if (document.Kind(item) != XpXmlKind::Comment) ReadValue(document, item, Target(array));
            return rc;
        }
        case Kind::Dict:
            rc = target.Add(XpIniType::Dict, 0, &created);
            if (!created) return rc;
            return ReadDict(document, value, static_cast<XpIniDict&>(*created));
        case Kind::Comment:
            return XpRc::Ok;
        default:
            return XpRc::PlistUnexpected;
    }
}

XpResult ReadDict(const XpXmlDocument& document, uint32_t element, XpIniDict& dict)
{
    uint32_t child = NextNonComment(document, document.FirstChild(element));
    while (child != kXpXmlNone) {
        if (Classify(document, child) != Kind::Key) return XpRc::PlistUnexpected;
        uint32_t length = 0;
        const XpChar* key = ElementText(document, child, &length);
        if (length == 0) return XpRc::PlistUnexpected;
        const uint32_t value = NextNonComment(document, document.NextSibling(child));
        if (value == kXpXmlNone) break;  // a key without a value is dropped
        ReadValue(document, value, Target(dict, key));
        child = NextNonComment(document, document.NextSibling(value));
    }
    return XpRc::Ok;
}

XpResult ReadRoot(const XpXmlDocument& document, XpIniDict& dict)
{
    const uint32_t root = document.Root();
    if (root == kXpXmlNone) return XpRc::PlistFailed;
    if (Classify(document, root) != Kind::Plist) return XpRc::PlistUnexpected;
    for (uint32_t child = document.FirstChild(root); child != kXpXmlNone; child = document.NextSibling(child))
        if (Classify(document, child) == Kind::Dict) return ReadDict(document, child, dict);
    return XpRc::PlistUnexpected;
}

}  // namespace

XpResult XpIniReadDocument(const XpXmlDocument& document, XpIniDict& dict)
{
    try {
        return ReadRoot(document, dict);
    } catch (const std::bad_alloc&) {
        return XpRc::OutOfMemory;
    }
}
