#include "foundation/strings/XpStringsManager.h"

#include "foundation/plist/XpIniDict.h"
#include "foundation/plist/XpIniScalars.h"

namespace {

// The element's text when it is a string element, else null. (A found text is copied
// from here: a default-constructed string costs far more than the lookup.)
const XpString* TextOf(const XpIniElement* element)
{
    if (!element || element->GetType() != XpIniType::String) return nullptr;
    return &static_cast<const XpIniString*>(element)->GetValue();
}

bool StartsWith(const XpString& text, const XpChar* prefix)
{
    int32_t i = 0;
    for (; prefix[i] != 0; ++i)
        if (i >= text.GetLength() || text.GetString()[i] != prefix[i]) return false;
    return true;
}

}  // namespace

XpStringsManager::XpStringsManager(XpIniDict* root) : m_pRoot(root) {}

XpStringsManager::~XpStringsManager()
{
    if (m_pRoot && m_pRoot->IsStandalone()) delete m_pRoot;
}

XpString XpStringsManager::GetString(const XpChar* keyPath) const
{
    if (const XpString* text = Lookup(keyPath, 0)) return *text;
    return XpString();
}

XpString XpStringsManager::GetStringInSection(const XpChar* section, const XpChar* key) const
{
    if (const XpString* text = LookupInSection(section, key, 0)) return *text;
    return XpString();
}

const XpString* XpStringsManager::FindText(const XpChar* keyPath) const
{
    return Lookup(keyPath, 0);
}

const XpString* XpStringsManager::Lookup(const XpChar* keyPath, int references) const
{
    if (!m_pRoot || !keyPath || references > kMaxReferences) return nullptr;
    const XpIniElement* element = m_pRoot->Find(keyPath);
    const XpString* text = TextOf(element);
    if (!text && element && element->GetType() == XpIniType::Dict) text = TextOf(element->Find(XP_T("Name")));
    if (!text || !StartsWith(*text, XP_T("::"))) return text;
    if (StartsWith(*text, XP_T("::/"))) return Lookup(text->GetString() + 3, references + 1);
    // A relative reference resolves in the section that holds the entry; a key path
    // without one keeps the text as it is.
    int32_t slash = -1;
    for (int32_t i = 0; keyPath[i] != 0; ++i)
        if (keyPath[i] == XP_T('/')) slash = i;
    if (slash < 0) return text;
    const XpString section(keyPath, slash);
    return LookupInSection(section.GetString(), text->GetString() + 2, references + 1);
}

const XpString* XpStringsManager::LookupInSection(const XpChar* section, const XpChar* key, int references) const
{
    if (!m_pRoot || !section || !key || references > kMaxReferences) return nullptr;
    const XpIniElement* dict = m_pRoot->Find(section);
    if (!dict || dict->GetType() != XpIniType::Dict) return nullptr;
    const XpString* text = TextOf(dict->Find(key));
    if (!text) text = TextOf(dict->Find(XP_T("Other")));
    if (!text || !StartsWith(*text, XP_T("::"))) return text;
    if (StartsWith(*text, XP_T("::/"))) return Lookup(text->GetString() + 3, references + 1);
    return LookupInSection(section, text->GetString() + 2, references + 1);
}
