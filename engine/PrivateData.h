#pragma once
// The recorder's private text stream: G-sensor labels and NMEA sentences turned into a
// CarInfoRecord.

#include "engine/CarInfoRecord.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Reads the number after a label the way the recorder writes it: optional blanks, sign,
// digits and a decimal point; anything else ends it. 0 when the label or digits are missing.
// No locale, exponents, "inf" or "nan".
double PrivateTextNumber(std::string_view text, std::string_view label);

// Updates the working record from one private PES payload: sample 0 from the "X:", "Y:",
// "Z:" and "L:" labels (the count becomes 1) and, when the text holds "$G", the NMEA field
// from payload byte 32. Other fields keep their values, so the last NMEA text stays.
void ApplyPrivateText(const std::uint8_t* payload, std::size_t length, CarInfoRecord& record);
