#include "platform/shared/XpLocaleName.h"

#include <cstring>
#include <string>

namespace {

struct Locale {
    const char* name;  // "ll" (the language's main identifier) or "ll_CC"
    uint32_t id;
};

// Languages first by their main identifier, then the territories that Windows numbers
// apart. Spanish alone is Spain's modern sort (3082), the identifier Windows gives Spain.
constexpr Locale kLocales[] = {
    {"ar", 1025},     {"bg", 1026},    {"ca", 1027},     {"cs", 1029},    {"da", 1030},     {"de", 1031},
    {"el", 1032},     {"en", 1033},    {"es", 3082},     {"fi", 1035},    {"fr", 1036},     {"he", 1037},
    {"hu", 1038},     {"is", 1039},    {"it", 1040},     {"ja", 1041},    {"ko", 1042},     {"nl", 1043},
    {"nb", 1044},     {"no", 1044},    {"pl", 1045},     {"pt", 1046},    {"ro", 1048},     {"ru", 1049},
    {"hr", 1050},     {"sk", 1051},    {"sq", 1052},     {"sv", 1053},    {"th", 1054},     {"tr", 1055},
    {"id", 1057},     {"uk", 1058},    {"sl", 1060},     {"et", 1061},    {"lv", 1062},     {"lt", 1063},
    {"vi", 1066},     {"zh", 2052},    {"nn", 2068},     {"zh_TW", 1028}, {"zh_CN", 2052},  {"zh_HK", 3076},
    {"zh_SG", 4100},  {"zh_MO", 5124}, {"de_CH", 2055},  {"de_AT", 3079}, {"de_LU", 4103},  {"de_LI", 5127},
    {"en_GB", 2057},  {"en_AU", 3081}, {"en_CA", 4105},  {"en_NZ", 5129}, {"en_IE", 6153},  {"en_ZA", 7177},
    {"en_IN", 16393}, {"es_MX", 2058}, {"es_AR", 11274}, {"es_CO", 9226}, {"es_CL", 13322}, {"es_US", 21514},
    {"fr_BE", 2060},  {"fr_CA", 3084}, {"fr_CH", 4108},  {"fr_LU", 5132}, {"it_CH", 2064},  {"nl_BE", 2067},
    {"pt_PT", 2070},  {"sv_FI", 2077},
};

uint32_t Find(const std::string& name)
{
    for (const Locale& locale : kLocales) {
        if (name == locale.name) return locale.id;
    }
    return 0;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

uint32_t XpLocaleIdFromName(const char* name)
{
    if (name == nullptr) return 0;
    const size_t end = std::strcspn(name, ".@");
    const size_t split = std::strcspn(name, "_-");
    std::string language;
    for (size_t i = 0; i < split && i < end; ++i) language += Lower(name[i]);
    if (language.size() < 2 || language.size() > 3) return 0;  // also "C" and "POSIX"
    if (split < end) {
        std::string full = language + '_';
        for (size_t i = split + 1; i < end; ++i) full += Upper(name[i]);
        if (const uint32_t id = Find(full)) return id;
    }
    return Find(language);
}
