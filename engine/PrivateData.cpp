#include "engine/PrivateData.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr std::size_t kTextLimit = 299;
constexpr std::size_t kNmeaOffset = 32;

std::int16_t Scaled(double v)
{
    // Saturate instead of wrapping: a value beyond the 16-bit range must not change sign.
    const double s = std::trunc(v * 512.0);
    return static_cast<std::int16_t>(std::clamp(s, -32767.0, 32767.0));
}

}  // namespace

double PrivateTextNumber(std::string_view text, std::string_view label)
{
    const std::size_t at = text.find(label);
    if (at == std::string_view::npos)
        return 0.0;
    std::size_t i = at + label.size();
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    double value = 0.0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        value = value * 10.0 + (text[i++] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10.0)
            value += (text[i] - '0') * scale;
    }
    return negative ? -value : value;
}

void ApplyPrivateText(const std::uint8_t* payload, std::size_t length, CarInfoRecord& record)
{
    // The text ends at its first NUL or after 299 bytes.
    const std::size_t limit = std::min(length, kTextLimit);
    const auto* chars = reinterpret_cast<const char*>(payload);
    const std::string_view text(chars, strnlen(chars, limit));

    if (text.find("$G") != std::string_view::npos) {
        // Only bytes the payload has: nothing stale from an earlier PES.
        std::memset(record.nmea, 0, sizeof record.nmea);
        if (length > kNmeaOffset)
            std::memcpy(record.nmea, payload + kNmeaOffset, std::min(sizeof record.nmea, length - kNmeaOffset));
    }
    const double x = PrivateTextNumber(text, "X:");
    const double y = PrivateTextNumber(text, "Y:");
    const double z = PrivateTextNumber(text, "Z:");
    const double lean = std::clamp(std::trunc(PrivateTextNumber(text, "L:")), -90.0, 90.0);
    record.sampleCount = 0;
    record.AddSample(Scaled(x), Scaled(y), Scaled(z), static_cast<int>(lean));
}
