#include "platform/base/locale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets the three locale variables for one test and puts the old values back afterwards.
class LocaleEnv {
public:
    LocaleEnv(const char* lc_all, const char* lc_messages, const char* lang)
    {
        for (int i = 0; i < 3; ++i) {
            const char* old = std::getenv(kNames[i]);
            saved_[i] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        Set(kNames[0], lc_all);
        Set(kNames[1], lc_messages);
        Set(kNames[2], lang);
    }
    ~LocaleEnv()
    {
        for (int i = 0; i < 3; ++i)
            Set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
    }

private:
    static void Set(const char* name, const char* value)
    {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved_[3];
};

std::string Language() { return GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SISO639LANGNAME); }
std::string Country() { return GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SISO3166CTRYNAME); }

}  // namespace

TEST(Locale, AnswersFromLang)
{
    LocaleEnv env(nullptr, nullptr, "de_DE.UTF-8");
    EXPECT_EQ(Language(), "de");
    EXPECT_EQ(Country(), "DE");
    EXPECT_EQ(GetUserDefaultUILanguage(), 1031);
}

TEST(Locale, PrecedenceIsLcAllThenLcMessagesThenLang)
{
    {
        LocaleEnv env("zh_CN.UTF-8", "ru_RU.UTF-8", "de_DE.UTF-8");
        EXPECT_EQ(Language(), "zh");
        EXPECT_EQ(Country(), "CN");
        EXPECT_EQ(GetUserDefaultUILanguage(), 2052);
    }
    {
        LocaleEnv env("", "ru_RU.UTF-8", "de_DE.UTF-8");  // empty counts as unset
        EXPECT_EQ(GetUserDefaultUILanguage(), 1049);
    }
    {
        LocaleEnv env(nullptr, nullptr, "es_CR.UTF-8");
        EXPECT_EQ(GetUserDefaultUILanguage(), 5130);
    }
}

TEST(Locale, PosixDefaultsAreUsEnglish)
{
    for (const char* lang : {"C", "POSIX", "C.UTF-8", ""}) {
        LocaleEnv env(nullptr, nullptr, lang);
        EXPECT_EQ(Language(), "en") << lang;
        EXPECT_EQ(Country(), "US") << lang;
        EXPECT_EQ(GetUserDefaultUILanguage(), 1033) << lang;
    }
    LocaleEnv env(nullptr, nullptr, nullptr);
    EXPECT_EQ(GetUserDefaultUILanguage(), 1033);
    EXPECT_EQ(Country(), "US");
}

TEST(Locale, LanguageWithoutCountryGetsItsMainCountry)
{
    LocaleEnv env(nullptr, nullptr, "de");
    EXPECT_EQ(Language(), "de");
    EXPECT_EQ(Country(), "DE");
}

TEST(Locale, LangIdTable)
{
    const std::pair<const char*, LANGID> cases[] = {
        {"zh_CN", 2052}, {"zh_TW", 1028}, {"zh_HK", 3076}, {"cs_CZ", 1029}, {"el_GR", 1032},
        {"es_ES", 3082}, {"es_MX", 2058}, {"es_CR", 5130}, {"es_AR", 11274}, {"hu_HU", 1038},
        {"it_IT", 1040}, {"ja_JP", 1041}, {"ru_RU", 1049}, {"th_TH", 1054}, {"lt_LT", 1063},
        {"de_DE", 1031}, {"de_AT", 3079}, {"ar_AE", 14337}, {"eu_ES", 1069}, {"pt_BR", 1046},
        {"pt_PT", 2070}, {"fr_FR", 1036}, {"fr_CA", 3084}, {"uk_UA", 1058}, {"vi_VN", 1066},
        {"nb_NO", 1044}, {"nn_NO", 2068}, {"he_IL", 1037}, {"en_GB", 2057}, {"sq_AL", 1052},
        // Codes with the codeset, modifier or dash forms that POSIX names take.
        {"pt_BR.UTF-8", 1046}, {"de_DE@euro", 1031}, {"sr_RS", 10266}, {"sr_RS@latin", 9242},
        {"en-GB", 2057}, {"EL_gr.utf8", 1032},
        // The home-made codes of the language files name the same languages.
        {"cz_CZ", 1029}, {"jp_JP", 1041}, {"ua_UA", 1058},
        // Unknown country: the language's main identifier; unknown language: US English.
        {"de_XX", 1031}, {"es_AS", 3082}, {"zh", 2052}, {"xx_YY", 1033}, {"", 1033}, {"C", 1033},
    };
    for (const auto& [name, id] : cases)
        EXPECT_EQ(LangIdFromLocaleName(name), id) << name;
}
