#include "app/language.h"
#include "app/settings.h"

#include "platform/base/profile.h"
#include "tests/app/env_guard.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

namespace {

// UTF-16LE bytes with a byte-order mark, from the compiler's own UTF-16 literal.
std::string Utf16LeFile(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

int RowOf(const char* code)
{
    for (int i = 0; LanguageTable[i].code; ++i) {
        if (std::string(LanguageTable[i].code) == code)
            return i;
    }
    return -1;
}

class LanguageTest : public ::testing::Test {
protected:
    TempDir dir;
    AppSettings settings{dir.path().string()};
    EnvGuard env;

    void SetUp() override { env.locale("C"); }
    void config(const std::string& text) { dir.write("Config.ini", text); }
    void languageFile(const std::string& name, const std::string& bytes) { dir.write("Language/" + name, bytes); }
};

// The languages as the recorder's language packs name them, in table order: id, ASCII name,
// code (the file name), English and native display names.
struct Row {
    int id;
    const char *ascii, *code, *english, *native;
};
const Row kLanguageRows[] = {
    {1, "English", "en_US", "English", "English"},
    {2, "Chinese", "zh_CN", "Chinese (P.R.C.)", "简体中文"},
    {3, "Arabic", "ar_AE", "Arabic (UAE)", "العربية"},
    {4, "Basque", "ba_BA", "Basque", "Euskal"},
    {5, "Bulgarian", "bg_BG", "Bulgarian", "Български"},
    {6, "Catalan", "ca_ES", "Catalan", "Català"},
    {7, "Czech", "cz_CZ", "Czech", "Česky"},
    {8, "Danish", "da_DK", "Danish", "Dansk"},
    {9, "German", "de_DE", "German (Germany)", "Deutsch"},
    {10, "Greek", "el_GR", "Greek", "Ελληνικά"},
    {11, "Spanish", "es_ES", "Spanish (Castilian)", "Español Genérico"},
    {12, "Asturian", "es_AS", "Asturian", "asturianu"},
    {13, "Estonian", "et_EE", "Estonian", "eesti keel"},
    {14, "Finnish", "fi_FI", "Finnish", "Suomi"},
    {15, "French", "fr_FR", "French (France)", "le français"},
    {16, "French", "fr_BR", "French (Breton)", "Brezhoneg"},
    {17, "Galician", "gl_ES", "Galician", "galego"},
    {18, "Hebrew", "he_IL", "Hebrew", "עִבְרִית Ivrit"},
    {19, "Hungarian", "hu_HU", "Hungarian", "magyar"},
    {20, "Italian", "it_IT", "Italian (Italy)", "Italiano"},
    {21, "Japanese", "jp_JP", "Japanese", "日本語"},
    {22, "Korean", "ko_KR", "Korean", "한국어"},
    {23, "Lithuanian", "lt_LT", "Lithuanian", "lietuvių kalba"},
    {24, "Latvian", "lv_LV", "Latvian", "latviešu valoda"},
    {25, "Maltese", "mt_MT", "Maltese", "Lingwa malta"},
    {26, "Norwegian", "nb_NO", "Norwegian (Bokmal)", "bokmål"},
    {27, "Norwegian", "nn_NO", "Norwegian (Nynorsk)", "nynorsk"},
    {28, "Dutch", "nl_NL", "Dutch (Netherlands)", "Nederlands"},
    {29, "Polish", "pl_PL", "Polish", "język polski"},
    {30, "Portuguese", "pt_BR", "Portuguese (Brazil)", "Português-Brasil"},
    {31, "Portuguese", "pt_PT", "Portuguese (Portugal)", "Português"},
    {32, "Rumanisch", "ro_RO", "Rumanisch", "limba română"},
    {33, "Russian", "ru_RU", "Russian", "русский язык"},
    {34, "Slovenian", "sl_SI", "Slovenian", "slovenščina"},
    {35, "Albanian", "sq_AL", "Albanian (Albania)", "Gjuha shqipe"},
    {36, "Swedish", "sv_SE", "Swedish", "svenska"},
    {37, "Turkish", "tr_TR", "Turkish", "Türkçe"},
    {38, "Ukrainian", "ua_UA", "Ukrainian", "українська мова"},
    {39, "Traditional", "zh_TW", "Chinese (Taiwan)", "繁體中文"},
    {40, "Vietnamese", "vi_VN", "Vietnamese", "tiếng Việt"},
    {41, "Thai", "th_TH", "Thailand", "ไทย"},
};

TEST(LanguageTableTest, RowsAreTheRecordersLanguages)
{
    ASSERT_EQ(std::size(kLanguageRows), static_cast<std::size_t>(kLanguageCount));
    for (int n = 0; n < kLanguageCount; ++n) {
        const LanguageEntry& row = LanguageTable[n];
        const Row& want = kLanguageRows[n];
        ASSERT_NE(row.asciiName, nullptr) << n;
        ASSERT_NE(row.code, nullptr) << n;
        ASSERT_NE(row.englishName, nullptr) << n;
        ASSERT_NE(row.nativeName, nullptr) << n;
        EXPECT_EQ(row.id, want.id) << n;
        EXPECT_STREQ(row.asciiName, want.ascii) << n;
        EXPECT_STREQ(row.code, want.code) << n;
        EXPECT_STREQ(row.englishName, want.english) << n;
        EXPECT_STREQ(row.nativeName, want.native) << n;
    }
    const LanguageEntry& end = LanguageTable[kLanguageCount];
    EXPECT_EQ(end.id, 0);
    EXPECT_EQ(end.asciiName, nullptr);
    EXPECT_EQ(end.code, nullptr);
    EXPECT_STREQ(LanguageTable[kLanguageChinese].code, "zh_CN");
}

TEST_F(LanguageTest, WantedLanguageBecomesActiveWhenItsFileExists)
{
    config("[Config]\nLanguage File=de_DE\n");
    languageFile("de_DE.ini", "[Language String]\nOpen=Öffnen\n");
    languageFile("fr_FR.ini", "[Language String]\n");
    languageFile("readme.txt", "not a language");
    languageFile("xx_XX.ini", "[Language String]\n");
    settings.LoadLanguageList();
    EXPECT_EQ(settings.m_nActiveLanguage, RowOf("de_DE"));
    EXPECT_EQ(settings.m_nSelectedLanguage, RowOf("de_DE"));
    EXPECT_EQ(LanguageTable[RowOf("de_DE")].present, 1);
    EXPECT_EQ(LanguageTable[RowOf("fr_FR")].present, 1);
    EXPECT_EQ(LanguageTable[RowOf("en_US")].present, 0);
    EXPECT_EQ(settings.Translate("Open"), "Öffnen");
}

TEST_F(LanguageTest, FileNameMustMatchExactly)
{
    config("[Config]\nLanguage File=de_DE\n");
    languageFile("de_de.ini", "[Language String]\nOpen=Öffnen\n");
    languageFile("it_IT.INI", "[Language String]\n");
    settings.LoadLanguageList();
    EXPECT_EQ(settings.m_nActiveLanguage, 0);
    EXPECT_EQ(LanguageTable[RowOf("de_DE")].present, 0);
    EXPECT_EQ(LanguageTable[RowOf("it_IT")].present, 0);
    EXPECT_EQ(settings.Translate("Open"), "Open");
}

TEST_F(LanguageTest, DirectoryNamedLikeALanguageFileIsIgnored)
{
    config("[Config]\nLanguage File=fr_FR\n");
    std::filesystem::create_directories(dir.path() / "Language" / "fr_FR.ini");
    settings.LoadLanguageList();
    EXPECT_EQ(LanguageTable[RowOf("fr_FR")].present, 0);
    EXPECT_EQ(settings.m_nActiveLanguage, 0);
}

// Also: a folder without "Language" leaves English.
TEST_F(LanguageTest, RescanClearsFlagsOfAnEarlierFolder)
{
    config("[Config]\nLanguage File=de_DE\n");
    languageFile("de_DE.ini", "[Language String]\n");
    settings.LoadLanguageList();
    ASSERT_EQ(LanguageTable[RowOf("de_DE")].present, 1);
    TempDir other;
    AppSettings elsewhere(other.path().string());
    elsewhere.LoadLanguageList();
    EXPECT_EQ(LanguageTable[RowOf("de_DE")].present, 0);
    EXPECT_EQ(elsewhere.m_nActiveLanguage, 0);
}

TEST_F(LanguageTest, UnsetLanguageFollowsTheUILanguage)
{
    languageFile("zh_CN.ini", "[Language String]\n");
    languageFile("de_DE.ini", "[Language String]\n");
    languageFile("es_ES.ini", "[Language String]\n");

    env.locale("zh_CN.UTF-8");
    settings.LoadLanguageList();
    EXPECT_EQ(settings.m_nActiveLanguage, kLanguageChinese);

    // German is not among the UI languages with a default: English it is.
    env.locale("de_DE.UTF-8");
    settings.LoadLanguageList();
    EXPECT_EQ(settings.m_nActiveLanguage, 0);

    env.locale("es_CR.UTF-8");
    settings.LoadLanguageList();
    EXPECT_EQ(settings.m_nActiveLanguage, RowOf("es_ES"));
}

TEST_F(LanguageTest, NoneTakesTheSystemLocale)
{
    config("[Config]\nLanguage File=None\n");
    languageFile("ru_RU.ini", "[Language String]\n");
    env.locale("ru_RU.UTF-8");
    settings.LoadLanguageList();
    EXPECT_EQ(settings.m_nActiveLanguage, RowOf("ru_RU"));
}

TEST_F(LanguageTest, EnglishFileIsUsedWhenPresent)
{
    config("[Config]\nLanguage File=en_US\n");
    languageFile("en_US.ini", "[Language String]\nOpen=Open file...\n");
    settings.LoadLanguageList();
    EXPECT_EQ(settings.m_nActiveLanguage, 0);
    EXPECT_EQ(LanguageTable[0].present, 1);
    EXPECT_EQ(settings.Translate("Open"), "Open file...");
}

TEST_F(LanguageTest, Utf16LanguageFilesWithNonLatinText)
{
    languageFile("zh_CN.ini", Utf16LeFile(u"; 语言\r\n[Language String]\r\nOpen=打开\r\nStop = 停止 \r\n"
                                          u"Speed: =速度：\r\n"));
    languageFile("ru_RU.ini", Utf16LeFile(u"[Language String]\r\nOpen=Открыть\r\nStop=\"Стоп\"\r\n"));

    config("[Config]\nLanguage File=zh_CN\n");
    settings.LoadLanguageList();
    ASSERT_EQ(settings.m_nActiveLanguage, kLanguageChinese);
    EXPECT_EQ(settings.Translate("Open"), "打开");
    EXPECT_EQ(settings.Translate("Stop"), "停止");
    EXPECT_EQ(settings.Translate("open"), "打开") << "keys ignore case, as the profile functions do";
    EXPECT_EQ(settings.Translate("Speed: "), "速度：") << "keys are trimmed";

    config("[Config]\nLanguage File=ru_RU\n");
    settings.LoadLanguageList();
    ASSERT_EQ(settings.m_nActiveLanguage, RowOf("ru_RU"));
    EXPECT_EQ(settings.Translate("Open"), "Открыть");
    EXPECT_EQ(settings.Translate("Stop"), "Стоп");
}

TEST_F(LanguageTest, MissingTranslationFallsBackToTheEnglishText)
{
    config("[Config]\nLanguage File=ru_RU\n");
    languageFile("ru_RU.ini", Utf16LeFile(u"[Language String]\r\nOpen=Открыть\r\n[Other]\r\nClose=Закрыть\r\n"));
    settings.LoadLanguageList();
    ASSERT_EQ(settings.m_nActiveLanguage, RowOf("ru_RU"));
    EXPECT_EQ(settings.Translate("Close"), "Close") << "only the \"Language String\" section counts";
    EXPECT_EQ(settings.Translate("Speed: "), "Speed: ") << "an untranslated text keeps its blanks";
    EXPECT_EQ(settings.Translate("Line one\nline two"), "Line one\nline two");
}

TEST_F(LanguageTest, EmptyTextTouchesNoFile)
{
    config("[Config]\nLanguage File=de_DE\n");
    languageFile("de_DE.ini", "[Language String]\nOpen=Öffnen\n");
    settings.LoadLanguageList();
    ASSERT_EQ(settings.m_nActiveLanguage, RowOf("de_DE"));

    const auto before = ProfileContentReads();
    EXPECT_EQ(settings.Translate(""), "");
    EXPECT_EQ(ProfileContentReads(), before);
    // The language file has not been read yet, so a real lookup shows up in the count.
    EXPECT_EQ(settings.Translate("Open"), "Öffnen");
    EXPECT_EQ(ProfileContentReads(), before + 1);
}

}  // namespace
