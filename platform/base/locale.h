#pragma once
// Locale answers taken from the environment (LC_ALL, LC_MESSAGES, LANG), as Windows would give
// them from the user's settings.

#include "platform/base/types.h"

#include <string>

constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr DWORD LOCALE_SISO639LANGNAME = 0x59;
constexpr DWORD LOCALE_SISO3166CTRYNAME = 0x5A;

// "de" and "DE" for LANG=de_DE.UTF-8; "en" and "US" when nothing is set or for "C"/"POSIX".
std::string GetLocaleInfoW(LCID locale, DWORD type);
// The Windows language identifier of the user's UI language (e.g. 1031 for de_DE, 2052 for
// zh_CN, 5130 for es_CR); 1033 (en_US) when unknown.
LANGID GetUserDefaultUILanguage();
// The same mapping from a POSIX locale name such as "pt_BR.UTF-8" or "sr_RS@latin".
LANGID LangIdFromLocaleName(const std::string& name);
