#pragma once
// Factory defaults of recorder configuration items, by item id.

#include <cstdint>
#include <map>

struct ConfigDefaultValue {
    std::int32_t type;    // 0 number, 1 text
    std::int32_t number;
    char text[260];       // NUL-terminated
};

struct ConfigDefaultRecord {
    std::int32_t id;
    ConfigDefaultValue value;
};

// Items 1 to 46 are numbers, 100 and 101 texts, 102 a number. Defined with the other global
// objects (app/globals.cpp), the map right after the table it is filled from.
constexpr int kConfigDefaultCount = 49;
extern const ConfigDefaultRecord ConfigDefaultsTable[kConfigDefaultCount];
extern std::map<std::int32_t, ConfigDefaultValue> ConfigDefaultsMap;

std::map<std::int32_t, ConfigDefaultValue> BuildConfigDefaultsMap(const ConfigDefaultRecord (&table)[kConfigDefaultCount]);
