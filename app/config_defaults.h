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

constexpr int kConfigDefaultCount = 3;
extern const ConfigDefaultRecord ConfigDefaultsTable[kConfigDefaultCount];
// Filled from the table at start-up.
extern std::map<std::int32_t, ConfigDefaultValue> ConfigDefaultsMap;
