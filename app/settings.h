#pragma once
// The program's one settings object: the program folder, the language and UI-mode choices, typed
// readers and writers over "Config.ini" in the program folder, and the translation lookup.
// Every reader goes to the profile layer, which revalidates its cache against the file, so a
// value written by another part of the program (or by hand) is seen at the next read.

#include "platform/base/types.h"

#include <cstdint>
#include <string>

class AppSettings {
public:
    // The program folder is the executable's folder.
    AppSettings();
    // The program folder is `appDir` (a trailing '/' is added when missing); tests use this to
    // keep their files away from the test program.
    explicit AppSettings(std::string appDir);

    std::string m_strAppDir;             // with a trailing '/'
    std::int32_t m_nActiveLanguage = 0;  // row of LanguageTable
    std::int32_t m_nSelectedLanguage = 0;  // row to use at the next start
    std::int32_t m_nUIMode = 0;
    // The play speed the user last chose (JtvSetPlaySpeed), for the windows that show it.
    double m_dPlaySpeed = 1.0;

    std::string ConfigFile() const { return m_strAppDir + "Config.ini"; }

    // A missing key, or one with an empty value, gives the default; a value that does not start
    // with a number gives 0.
    std::int32_t GetConfigInt(const char* section, const char* key, std::int32_t defaultValue) const;
    std::int32_t GetInt(const char* key, std::int32_t defaultValue) const;
    std::int32_t GetDefaultInt(const char* key, std::int32_t defaultValue) const;
    std::int32_t GetSlotInt(const char* key, std::int32_t set, std::int32_t defaultValue) const;

    // A missing or empty value gives the default (null counts as ""); the value "None" gives the
    // system locale's language code when LanguageTable knows it, else "en_US".
    std::string GetConfigString(const char* section, const char* key, const char* defaultValue) const;
    std::string GetString(const char* key, const char* defaultValue) const;
    std::string GetSlotString(const char* key, std::int32_t set, const char* defaultValue) const;

    // Create the file and the section when needed; failures (read-only folder) are not reported.
    void WriteConfigInt(const char* section, const char* key, std::int32_t value) const;
    void WriteConfigString(const char* section, const char* key, const char* text) const;
    void WriteInt(const char* key, std::int32_t value) const;
    void WriteString(const char* key, const char* text) const;
    void WriteSlotInt(const char* key, std::int32_t set, std::int32_t value) const;
    void WriteSlotString(const char* key, std::int32_t set, const char* text) const;

    // At exit: a language chosen during the run becomes the active one, and the active code is
    // stored as "Language File" for the next start.
    void SaveLanguage();
    void SaveUIMode() const;

    // The executable's folder with a trailing '/', computed afresh.
    static std::string GetModuleDirectory();
    // First two characters of each name joined by "_", e.g. "en" + "US" -> "en_US".
    static std::string JoinLocaleCode(const std::string& language, const std::string& country);

    // Marks the languages whose file exists and picks the active language: the one named by
    // "Language File" (or by the user's UI language when unset) if its file exists, else English.
    void LoadLanguageList();
    // The code for a Windows UI language identifier; "en_US" for any identifier not listed.
    static const char* DefaultLanguageCode(LANGID id);
    // The text to show for an English text: its translation in the active language file, or the
    // text itself when there is no file, no translation, or the text is empty.
    std::string Translate(const std::string& text) const;

    std::string LanguageFolder() const { return m_strAppDir + "Language/"; }
    std::string LanguageFile(std::int32_t row) const;
};

extern AppSettings g_AppSettings;
