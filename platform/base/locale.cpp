#include "platform/base/locale.h"

#include <cstdlib>
#include <string_view>
#include <utility>

namespace {

struct LocaleRow {
    const char* language;  // ISO 639
    const char* country;   // ISO 3166
    const char* modifier;  // "@..." part of a POSIX name, or null
    LANGID id;
};

// The first row of a language is the one a name with an unknown or missing country gets.
constexpr LocaleRow kLocales[] = {
    {"af", "ZA", nullptr, 1078},
    {"ar", "SA", nullptr, 1025}, {"ar", "IQ", nullptr, 2049}, {"ar", "EG", nullptr, 3073},
    {"ar", "LY", nullptr, 4097}, {"ar", "DZ", nullptr, 5121}, {"ar", "MA", nullptr, 6145},
    {"ar", "TN", nullptr, 7169}, {"ar", "OM", nullptr, 8193}, {"ar", "YE", nullptr, 9217},
    {"ar", "SY", nullptr, 10241}, {"ar", "JO", nullptr, 11265}, {"ar", "LB", nullptr, 12289},
    {"ar", "KW", nullptr, 13313}, {"ar", "AE", nullptr, 14337}, {"ar", "BH", nullptr, 15361},
    {"ar", "QA", nullptr, 16385},
    {"az", "AZ", nullptr, 1068},
    {"ba", "RU", nullptr, 1133},
    {"be", "BY", nullptr, 1059},
    {"bg", "BG", nullptr, 1026},
    {"bn", "IN", nullptr, 1093},
    {"br", "FR", nullptr, 1150},
    {"bs", "BA", nullptr, 5146},
    {"ca", "ES", nullptr, 1027},
    {"cs", "CZ", nullptr, 1029},
    {"cy", "GB", nullptr, 1106},
    {"da", "DK", nullptr, 1030},
    {"de", "DE", nullptr, 1031}, {"de", "CH", nullptr, 2055}, {"de", "AT", nullptr, 3079},
    {"de", "LU", nullptr, 4103}, {"de", "LI", nullptr, 5127},
    {"el", "GR", nullptr, 1032},
    {"en", "US", nullptr, 1033}, {"en", "GB", nullptr, 2057}, {"en", "AU", nullptr, 3081},
    {"en", "CA", nullptr, 4105}, {"en", "NZ", nullptr, 5129}, {"en", "IE", nullptr, 6153},
    {"en", "ZA", nullptr, 7177}, {"en", "JM", nullptr, 8201}, {"en", "BZ", nullptr, 10249},
    {"en", "TT", nullptr, 11273}, {"en", "ZW", nullptr, 12297}, {"en", "PH", nullptr, 13321},
    {"en", "IN", nullptr, 16393}, {"en", "MY", nullptr, 17417}, {"en", "SG", nullptr, 18441},
    {"es", "ES", nullptr, 3082}, {"es", "MX", nullptr, 2058}, {"es", "GT", nullptr, 4106},
    {"es", "CR", nullptr, 5130}, {"es", "PA", nullptr, 6154}, {"es", "DO", nullptr, 7178},
    {"es", "VE", nullptr, 8202}, {"es", "CO", nullptr, 9226}, {"es", "PE", nullptr, 10250},
    {"es", "AR", nullptr, 11274}, {"es", "EC", nullptr, 12298}, {"es", "CL", nullptr, 13322},
    {"es", "UY", nullptr, 14346}, {"es", "PY", nullptr, 15370}, {"es", "BO", nullptr, 16394},
    {"es", "SV", nullptr, 17418}, {"es", "HN", nullptr, 18442}, {"es", "NI", nullptr, 19466},
    {"es", "PR", nullptr, 20490}, {"es", "US", nullptr, 21514},
    {"et", "EE", nullptr, 1061},
    {"eu", "ES", nullptr, 1069},
    {"fa", "IR", nullptr, 1065},
    {"fi", "FI", nullptr, 1035},
    {"fil", "PH", nullptr, 1124},
    {"fr", "FR", nullptr, 1036}, {"fr", "BE", nullptr, 2060}, {"fr", "CA", nullptr, 3084},
    {"fr", "CH", nullptr, 4108}, {"fr", "LU", nullptr, 5132}, {"fr", "MC", nullptr, 6156},
    {"ga", "IE", nullptr, 2108},
    {"gl", "ES", nullptr, 1110},
    {"he", "IL", nullptr, 1037},
    {"hi", "IN", nullptr, 1081},
    {"hr", "HR", nullptr, 1050}, {"hr", "BA", nullptr, 4122},
    {"hu", "HU", nullptr, 1038},
    {"hy", "AM", nullptr, 1067},
    {"id", "ID", nullptr, 1057},
    {"is", "IS", nullptr, 1039},
    {"it", "IT", nullptr, 1040}, {"it", "CH", nullptr, 2064},
    {"ja", "JP", nullptr, 1041},
    {"ka", "GE", nullptr, 1079},
    {"kk", "KZ", nullptr, 1087},
    {"ko", "KR", nullptr, 1042},
    {"lb", "LU", nullptr, 1134},
    {"lt", "LT", nullptr, 1063},
    {"lv", "LV", nullptr, 1062},
    {"mk", "MK", nullptr, 1071},
    {"ms", "MY", nullptr, 1086}, {"ms", "BN", nullptr, 2110},
    {"mt", "MT", nullptr, 1082},
    {"nb", "NO", nullptr, 1044},
    {"nl", "NL", nullptr, 1043}, {"nl", "BE", nullptr, 2067},
    {"nn", "NO", nullptr, 2068},
    {"pl", "PL", nullptr, 1045},
    {"pt", "BR", nullptr, 1046}, {"pt", "PT", nullptr, 2070},
    {"ro", "RO", nullptr, 1048}, {"ro", "MD", nullptr, 2072},
    {"ru", "RU", nullptr, 1049}, {"ru", "MD", nullptr, 2073},
    {"sk", "SK", nullptr, 1051},
    {"sl", "SI", nullptr, 1060},
    {"sq", "AL", nullptr, 1052},
    {"sr", "RS", nullptr, 10266}, {"sr", "RS", "latin", 9242},
    {"sv", "SE", nullptr, 1053}, {"sv", "FI", nullptr, 2077},
    {"sw", "KE", nullptr, 1089},
    {"ta", "IN", nullptr, 1097},
    {"th", "TH", nullptr, 1054},
    {"tr", "TR", nullptr, 1055},
    {"uk", "UA", nullptr, 1058},
    {"ur", "PK", nullptr, 1056},
    {"vi", "VN", nullptr, 1066},
    {"zh", "CN", nullptr, 2052}, {"zh", "TW", nullptr, 1028}, {"zh", "HK", nullptr, 3076},
    {"zh", "SG", nullptr, 4100}, {"zh", "MO", nullptr, 5124},
};

// Language codes found in older or home-made locale names, with the ISO code they stand for.
constexpr std::pair<std::string_view, std::string_view> kLanguageAliases[] = {
    {"cz", "cs"}, {"jp", "ja"}, {"ua", "uk"}, {"no", "nb"}, {"iw", "he"}, {"in", "id"},
};

struct LocaleName {
    std::string language;  // lower case
    std::string country;   // upper case, may be empty
    std::string modifier;
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Splits "language[_COUNTRY][.codeset][@modifier]"; "C", "POSIX" and "" give an empty language.
LocaleName ParseLocaleName(std::string_view name)
{
    LocaleName out;
    std::string_view modifier;
    if (auto at = name.find('@'); at != std::string_view::npos) {
        modifier = name.substr(at + 1);
        name = name.substr(0, at);
    }
    if (auto dot = name.find('.'); dot != std::string_view::npos)
        name = name.substr(0, dot);
    if (name == "C" || name == "POSIX")
        return out;
    std::string_view language = name;
    std::string_view country;
    if (auto sep = name.find_first_of("_-"); sep != std::string_view::npos) {
        language = name.substr(0, sep);
        country = name.substr(sep + 1);
    }
    for (char c : language)
        out.language += Lower(c);
    for (char c : country)
        out.country += Upper(c);
    for (char c : modifier)
        out.modifier += Lower(c);
    for (const auto& [alias, iso] : kLanguageAliases) {
        if (out.language == alias)
            out.language = iso;
    }
    return out;
}

// The exact row, else the language's first row, else null.
const LocaleRow* FindRow(const LocaleName& n)
{
    if (n.language.empty())
        return nullptr;
    const LocaleRow* first = nullptr;
    const LocaleRow* country_match = nullptr;
    for (const auto& row : kLocales) {
        if (n.language != row.language)
            continue;
        if (!first)
            first = &row;
        if (n.country != row.country)
            continue;
        const std::string_view modifier = row.modifier ? row.modifier : "";
        if (modifier == n.modifier)
            return &row;
        if (!country_match && modifier.empty())
            country_match = &row;
    }
    return country_match ? country_match : first;
}

// The first non-empty of LC_ALL, LC_MESSAGES and LANG, as the C library picks the message locale.
std::string EnvironmentLocale()
{
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v)
            return v;
    }
    return {};
}

}  // namespace

std::string GetLocaleInfoW(LCID locale, DWORD type)
{
    const LocaleName n = ParseLocaleName(EnvironmentLocale());
    if (n.language.empty()) {
        if (type == LOCALE_SISO639LANGNAME)
            return "en";
        if (type == LOCALE_SISO3166CTRYNAME)
            return "US";
        return {};
    }
    if (type == LOCALE_SISO639LANGNAME)
        return n.language;
    if (type == LOCALE_SISO3166CTRYNAME) {
        if (!n.country.empty())
            return n.country;
        // "de" alone: the country the language is mostly used in, as Windows always has one.
        const LocaleRow* row = FindRow(n);
        return row ? row->country : "";
    }
    return {};
}

LANGID LangIdFromLocaleName(const std::string& name)
{
    const LocaleRow* row = FindRow(ParseLocaleName(name));
    return row ? row->id : LANGID{1033};
}

LANGID GetUserDefaultUILanguage()
{
    return LangIdFromLocaleName(EnvironmentLocale());
}
