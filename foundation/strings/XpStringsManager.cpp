#include "foundation/strings/XpStringsManager.h"

#include "foundation/plist/XpIniDict.h"

namespace {

// The element's text when it is a string element.
bool TextOf(const XpIniElement* element, XpString& text)
{
    return element && element->GetType() == XpIniType::String && element->GetString(text) == XpRc::Ok;
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
    return Lookup(keyPath, 0);
}

XpString XpStringsManager::GetStringInSection(const XpChar* section, const XpChar* key) const
{
    return LookupInSection(section, key, 0);
}

XpString XpStringsManager::Lookup(const XpChar* keyPath, int references) const
{
    XpString text;
    if (!m_pRoot || !keyPath || references > kMaxReferences) return text;
    const XpIniElement* element = m_pRoot->Find(keyPath);
    if (element && element->GetType() == XpIniType::Dict) element = element->Find(XP_T("Name"));
    if (!TextOf(element, text)) return XpString();
    if (!StartsWith(text, XP_T("::"))) return text;
    if (StartsWith(text, XP_T("::/"))) return Lookup(text.GetString() + 3, references + 1);
    // A relative reference resolves in the section that holds the entry; a key path
    // without one keeps the text as it is.
    int32_t slash = -1;
    for (int32_t i = 0; keyPath[i] != 0; ++i)
        if (keyPath[i] == XP_T('/')) slash = i;
    if (slash < 0) return text;
    const XpString section(keyPath, slash);
    return LookupInSection(section.GetString(), text.GetString() + 2, references + 1);
}

XpString XpStringsManager::LookupInSection(const XpChar* section, const XpChar* key, int references) const
{
    XpString text;
    if (!m_pRoot || !section || !key || references > kMaxReferences) return text;
    const XpIniElement* dict = m_pRoot->Find(section);
    if (!dict || dict->GetType() != XpIniType::Dict) return text;
    if (!TextOf(dict->Find(key), text) && !TextOf(dict->Find(XP_T("Other")), text)) return XpString();
    if (!StartsWith(text, XP_T("::"))) return text;
    if (StartsWith(text, XP_T("::/"))) return Lookup(text.GetString() + 3, references + 1);
    return LookupInSection(section, text.GetString() + 2, references + 1);
}
