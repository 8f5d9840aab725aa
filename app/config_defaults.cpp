#include "app/config_defaults.h"

std::map<std::int32_t, ConfigDefaultValue> BuildConfigDefaultsMap(const ConfigDefaultRecord (&table)[kConfigDefaultCount])
{
    std::map<std::int32_t, ConfigDefaultValue> map;
    for (const ConfigDefaultRecord& record : table)
        map.emplace(record.id, record.value);
    return map;
}
