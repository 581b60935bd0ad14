#include "update/LanguageCode.h"

namespace {

struct Language {
    const XpChar* localeId;
    const XpChar* code;
};

// Fixed at compile time: built before anything can ask, and never changed.
constexpr Language kLanguages[] = {
    {XP_T("1041"), XP_T("JP")}, {XP_T("1033"), XP_T("US")}, {XP_T("1040"), XP_T("IT")}, {XP_T("1036"), XP_T("FR")},
    {XP_T("1053"), XP_T("SE")}, {XP_T("1043"), XP_T("NL")}, {XP_T("1031"), XP_T("DE")}, {XP_T("1046"), XP_T("BR")},
    {XP_T("1049"), XP_T("RU")}, {XP_T("2052"), XP_T("CS")}, {XP_T("1028"), XP_T("CT")}, {XP_T("1042"), XP_T("KR")},
    {XP_T("3082"), XP_T("ES")}, {XP_T("1045"), XP_T("PL")},
};

bool SameText(const XpChar* a, const XpChar* b)
{
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

}  // namespace

XpString LookupLanguageCode(const XpChar* localeId)
{
    if (localeId == nullptr) return XpString();
    for (const Language& language : kLanguages) {
        if (SameText(localeId, language.localeId)) return XpString(language.code);
    }
    return XpString();
}

XpString LookupLanguageCode(uint32_t localeId)
{
    XpString text;
    text.Format(XP_T("%u"), localeId);
    return LookupLanguageCode(text.GetString());
}

XpString ChooseLanguageCode(const XpChar* vimblyLanguage, const XpChar* tessaroLanguage,
                            std::initializer_list<uint32_t> userLocales)
{
    for (const XpChar* installed : {vimblyLanguage, tessaroLanguage}) {
        XpString code = LookupLanguageCode(installed);
        if (!code.IsEmpty()) return code;
    }
    for (const uint32_t localeId : userLocales) {
        XpString code = LookupLanguageCode(localeId);
        if (!code.IsEmpty()) return code;
    }
    return LookupLanguageCode(XP_T("1033"));
}
