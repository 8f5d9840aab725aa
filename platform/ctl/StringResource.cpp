#include "platform/ctl/StringResource.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {
std::map<UINT, std::string>& Strings()
{
    static std::map<UINT, std::string> map;
    return map;
}
}  // namespace

std::string LoadStringResource(UINT id)
{
    auto it = Strings().find(id);
    return it == Strings().end() ? std::string() : it->second;
}

int LoadString(HINSTANCE, UINT id, char* buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    const std::string s = LoadStringResource(id);
    const size_t n = std::min(s.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, s.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

namespace qv::ctl {
void RegisterStringResource(UINT id, std::string text) { Strings()[id] = std::move(text); }
}  // namespace qv::ctl
