#include "engine/ObdValues.h"

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Most significant digit first; -1 when a byte is not a hex digit.
int Hex(const char* text, std::size_t from, std::size_t to)
{
    int v = 0;
    for (std::size_t i = from; i <= to; ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

}  // namespace

bool ParseObdHexText(const char* text, std::size_t length, int position, ObdValues& values)
{
    if (text == nullptr || length < 20)
        return false;
    const int speed = Hex(text, 4, 5);
    const int rpm = Hex(text, 6, 9);
    const int load = Hex(text, 10, 11);
    const int volt = Hex(text, 12, 13);
    const int temp = Hex(text, 14, 15);
    const int throttle = Hex(text, 16, 17);
    const int flags = Hex(text, 18, 19);
    if (speed < 0 || rpm < 0 || load < 0 || volt < 0 || temp < 0 || throttle < 0 || flags < 0)
        return false;
    int maf = 0, distance = 0, economy = 0;
    if (length >= 28) {
        maf = Hex(text, 20, 21);
        distance = Hex(text, 22, 25);
        economy = Hex(text, 26, 27);
        if (maf < 0 || distance < 0 || economy < 0)
            return false;
    }
    values.position = position;
    values.speed = speed;
    values.rpm = rpm;
    values.engineLoad = load;
    values.batteryVoltage = (volt + 100) / 10.0;
    values.engineTemperature = temp - 40;
    values.throttle = throttle;
    values.flags = flags;
    values.maf = maf * 3;
    values.distance = distance;
    values.fuelEconomy = economy / 10.0;
    values.valid = true;
    return true;
}
