#pragma once
// The languages the program knows. Every user-visible text is written in English and translated
// at display time through "Language/<code>.ini" beside the executable.

#include <cstdint>

struct LanguageEntry {
    std::int32_t id;            // 1..41, row index + 1
    std::int32_t present;       // set at start-up when the language's file exists
    const char* asciiName;      // null ends the table
    const char* code;           // file name without ".ini"; null ends the table
    const char* englishName;
    const char* nativeName;     // the language's name in itself (UTF-8)
};

constexpr int kLanguageCount = 41;
// Row 1 doubles as the switch for the recorder configuration's China-only options.
constexpr int kLanguageChinese = 1;

// 41 rows followed by an all-zero row.
extern LanguageEntry LanguageTable[kLanguageCount + 1];
