#pragma once
// The vehicle (OBD) values of a recording, decoded from its hexadecimal text packets.

#include <cstddef>

struct ObdValues {
    int position = 0;           // play position of the packet; 0 = no values
    int speed = 0;              // km/h
    int rpm = 0;
    int engineLoad = 0;         // percent
    double batteryVoltage = 0;  // volts
    int engineTemperature = 0;  // degrees Celsius
    int throttle = 0;           // percent
    int flags = 0;              // bit 7: emergency braking
    int maf = 0;
    int distance = 0;           // km
    double fuelEconomy = 0;     // km per litre
    bool valid = false;         // values were parsed (a position of 0 is a real position too)
};

constexpr int kObdEmergencyBraking = 0x80;

// Bytes 4..19 hold the basic fields, bytes 20..27 (texts of at least 28 bytes) the extended
// ones. A text shorter than 20 bytes, or with a non-hex digit in a field it needs, leaves
// `values` unchanged and gives false.
bool ParseObdHexText(const char* text, std::size_t length, int position, ObdValues& values);
