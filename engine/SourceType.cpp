#include "engine/SourceType.h"

#include <algorithm>
#include <cstddef>

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EndsWithNoCase(std::string_view name, std::string_view tail)
{
    if (name.size() < tail.size())
        return false;
    const std::string_view end = name.substr(name.size() - tail.size());
    return std::equal(end.begin(), end.end(), tail.begin(), [](char a, char b) { return Lower(a) == b; });
}

constexpr std::size_t kMaxHost = 259;

}  // namespace

SourceType ParseSourceName(std::string_view name, std::string* host)
{
    if (host != nullptr)
        host->clear();
    const std::size_t scheme_end = name.find("://");
    if (scheme_end == std::string_view::npos) {
        if (EndsWithNoCase(name, ".avi"))
            return kSourceAvi;
        if (EndsWithNoCase(name, ".mjpg"))
            return kSourceMjpgFile;
        if (EndsWithNoCase(name, ".rec"))
            return kSourceRec;
        if (name.empty())
            return kSourceUnknown;
        if (EndsWithNoCase(name, ".sd"))
            return kSourceCardBackup;
        if (EndsWithNoCase(name, ".ts"))
            return kSourceTs;
        if (EndsWithNoCase(name, ".idx"))
            return kSourceIndex;
        return kSourceFile;
    }

    const std::string_view scheme = name.substr(0, scheme_end);
    static constexpr struct {
        std::string_view scheme;
        SourceType type;
    } kSchemes[] = {
        {"http", kSourceHttp},   {"udp", kSourceUdp},          {"rmtp", kSourceRtmp}, {"mcast", kSourceMulticast},
        {"stream", kSourceStream}, {"mjpg", kSourceMjpgStream}, {"mox2", kSourceCard},
    };
    SourceType type = kSourceUnknown;
    for (const auto& s : kSchemes) {
        if (scheme == s.scheme) {
            type = s.type;
            break;
        }
    }

    const std::string_view rest = name.substr(scheme_end + 3);
    const std::size_t colon = rest.find(':');
    const std::size_t slash = rest.find('/');
    std::size_t end = rest.size();
    if (colon != std::string_view::npos && (slash == std::string_view::npos || slash > colon))
        end = colon;
    else if (slash != std::string_view::npos)
        end = slash;
    if (host != nullptr)
        host->assign(rest.substr(0, std::min(end, kMaxHost)));
    return type;
}
