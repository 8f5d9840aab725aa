#include "app/settings.h"

#include "app/language.h"
#include "platform/base/debug.h"
#include "platform/base/file.h"
#include "platform/base/locale.h"
#include "platform/base/profile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

std::string SlotSection(std::int32_t set)
{
    return "config" + std::to_string(set);
}

std::string WithTrailingSlash(std::string dir)
{
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

// The system locale as a code of LanguageTable, or "en_US" when the table does not know it.
std::string SystemLanguageCode()
{
    const std::string code = AppSettings::JoinLocaleCode(
        GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SISO639LANGNAME),
        GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SISO3166CTRYNAME));
    for (const LanguageEntry* row = LanguageTable; row->asciiName; ++row) {
        if (code == row->code)
            return code;
    }
    return "en_US";
}

}  // namespace

AppSettings::AppSettings() : m_strAppDir(GetModuleDirectory()) {}

AppSettings::AppSettings(std::string appDir) : m_strAppDir(WithTrailingSlash(std::move(appDir))) {}

std::int32_t AppSettings::GetConfigInt(const char* section, const char* key, std::int32_t defaultValue) const
{
    return static_cast<std::int32_t>(GetPrivateProfileIntW(section, key, defaultValue, ConfigFile().c_str()));
}

std::int32_t AppSettings::GetInt(const char* key, std::int32_t defaultValue) const
{
    return GetConfigInt("Config", key, defaultValue);
}

std::int32_t AppSettings::GetDefaultInt(const char* key, std::int32_t defaultValue) const
{
    return GetConfigInt("Default", key, defaultValue);
}

std::int32_t AppSettings::GetSlotInt(const char* key, std::int32_t set, std::int32_t defaultValue) const
{
    return GetConfigInt(SlotSection(set).c_str(), key, defaultValue);
}

std::string AppSettings::GetConfigString(const char* section, const char* key, const char* defaultValue) const
{
    if (!defaultValue)
        defaultValue = "";
    std::string value = GetPrivateProfileString(section, key, defaultValue, ConfigFile().c_str());
    // Every text key, not only "Language File", answers "None" with the locale's code; stored
    // files may rely on it.
    if (value == "None")
        return SystemLanguageCode();
    if (value.empty())
        return defaultValue;
    return value;
}

std::string AppSettings::GetString(const char* key, const char* defaultValue) const
{
    return GetConfigString("Config", key, defaultValue);
}

std::string AppSettings::GetSlotString(const char* key, std::int32_t set, const char* defaultValue) const
{
    return GetConfigString(SlotSection(set).c_str(), key, defaultValue);
}

void AppSettings::WriteConfigInt(const char* section, const char* key, std::int32_t value) const
{
    WriteConfigString(section, key, std::to_string(value).c_str());
}

void AppSettings::WriteConfigString(const char* section, const char* key, const char* text) const
{
    const std::string file = ConfigFile();
    if (WritePrivateProfileStringW(section, key, text, file.c_str()))
        return;
    // The program goes on with the value lost (e.g. a read-only program folder); the debug
    // output says which one.
    const int error = errno;
    OutputDebugStringW(std::string("Settings: \"") + (key ? key : "") + "\" in [" + (section ? section : "") +
                       "] not written to " + file + ": " + std::strerror(error) + "\n");
}

void AppSettings::WriteInt(const char* key, std::int32_t value) const
{
    WriteConfigInt("Config", key, value);
}

void AppSettings::WriteString(const char* key, const char* text) const
{
    WriteConfigString("Config", key, text);
}

void AppSettings::WriteSlotInt(const char* key, std::int32_t set, std::int32_t value) const
{
    WriteConfigInt(SlotSection(set).c_str(), key, value);
}

void AppSettings::WriteSlotString(const char* key, std::int32_t set, const char* text) const
{
    WriteConfigString(SlotSection(set).c_str(), key, text);
}

void AppSettings::SaveLanguage()
{
    if (m_nSelectedLanguage != m_nActiveLanguage)
        m_nActiveLanguage = m_nSelectedLanguage;
    if (m_nActiveLanguage < 0 || m_nActiveLanguage >= kLanguageCount)
        return;  // a corrupt index has no code to store
    WriteString("Language File", LanguageTable[m_nActiveLanguage].code);
}

void AppSettings::SaveUIMode() const
{
    WriteConfigInt("Config", "UIMode", m_nUIMode);
}

std::string AppSettings::GetModuleDirectory()
{
    const std::string path = GetModuleFileNameW();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return path.substr(0, slash + 1);
}

std::string AppSettings::JoinLocaleCode(const std::string& language, const std::string& country)
{
    return language.substr(0, 2) + "_" + country.substr(0, 2);
}

void AppSettings::LoadLanguageList()
{
    std::string wanted = GetString("Language File", nullptr);
    if (wanted.empty())
        wanted = DefaultLanguageCode(GetUserDefaultUILanguage());

    // Start from a clean slate so that a second scan (another folder) leaves no stale flags.
    for (LanguageEntry* row = LanguageTable; row->code; ++row)
        row->present = 0;
    m_nActiveLanguage = 0;

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::path(LanguageFolder()), ec);
    const fs::directory_iterator end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError))
            continue;
        const std::string name = it->path().filename().string();
        for (std::int32_t index = 0; LanguageTable[index].code; ++index) {
            LanguageEntry& row = LanguageTable[index];
            // The match is exact: "de_de.ini" is not the German file.
            if (name == std::string(row.code) + ".ini") {
                row.present = 1;
                if (m_nActiveLanguage == 0 && wanted == row.code)
                    m_nActiveLanguage = index;
                break;
            }
        }
    }
    m_nSelectedLanguage = m_nActiveLanguage;
}

const char* AppSettings::DefaultLanguageCode(LANGID id)
{
    switch (id) {
    case 2052: return "zh_CN";
    case 1028: return "zh_TW";
    case 1029: return "cz_CZ";
    case 1032: return "el_GR";
    case 1034:
    case 3082:
    case 5130: return "es_ES";
    case 1038: return "hu_HU";
    case 1040: return "it_IT";
    case 1041: return "jp_JP";
    case 1049: return "ru_RU";
    case 1054: return "th_TH";
    case 1063: return "lt_LT";
    default: return "en_US";
    }
}

std::string AppSettings::LanguageFile(std::int32_t row) const
{
    return LanguageFolder() + LanguageTable[row].code + ".ini";
}

std::string AppSettings::Translate(const std::string& text) const
{
    if (text.empty() || m_nActiveLanguage < 0 || m_nActiveLanguage >= kLanguageCount
        || !LanguageTable[m_nActiveLanguage].present)
        return text;
    // The unlimited lookup hands back the default untouched, so an untranslated "Speed: " keeps
    // its blank (the buffer form would strip it).
    return GetPrivateProfileString("Language String", text.c_str(), text.c_str(),
                                   LanguageFile(m_nActiveLanguage).c_str());
}
