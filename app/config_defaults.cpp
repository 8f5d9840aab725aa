#include "app/config_defaults.h"

const ConfigDefaultRecord ConfigDefaultsTable[kConfigDefaultCount] = {
    {100, {1, 0, "SSID"}},
    {101, {1, 0, "58203716"}},  // the recorder's factory Wi-Fi key
    {102, {0, 1, ""}},
};

namespace {

std::map<std::int32_t, ConfigDefaultValue> BuildDefaultsMap()
{
    std::map<std::int32_t, ConfigDefaultValue> map;
    for (const ConfigDefaultRecord& record : ConfigDefaultsTable)
        map.emplace(record.id, record.value);
    return map;
}

}  // namespace

std::map<std::int32_t, ConfigDefaultValue> ConfigDefaultsMap = BuildDefaultsMap();
