#pragma once
// The recorder stores a time zone as an offset in seconds plus a bias of 43200, or as an hour
// group. These tables list the zones the player offers (row 0 is the machine's own) and map
// between the two forms.

#include <cstdint>
#include <ctime>
#include <optional>

struct TimeZoneEntry {
    std::int32_t seconds;   // east of UTC; computed by InitTimeZoneTable
    std::int32_t hours;     // negative west of UTC
    std::int32_t quarters;  // remaining quarter hours, with the sign of the hours
    std::int32_t group;     // hour group; computed by InitTimeZoneTable
    const char* name;       // null ends the table
};

struct TimeZoneGroupEntry {
    std::int32_t hours;
    std::int32_t firstRow;  // first TimeZoneTable row of the group; computed by InitTimeZoneTable
    const char* name;
};

constexpr int kTimeZoneRows = 41;
constexpr int kTimeZoneGroups = 26;
constexpr std::int32_t kTimeZoneBias = 43200;

// Row 0 is the local zone, rows 1..40 fixed; an all-zero row follows.
extern TimeZoneEntry TimeZoneTable[kTimeZoneRows + 1];
// Group 0 is the local zone, groups 1..13 are 0..-12 hours, 14..25 are +1..+12; an all-zero row
// follows. Groups 26 (+13) and 27 (+14) have no row: read hours through ZoneGroupHours.
extern TimeZoneGroupEntry TimeZoneGroupTable[kTimeZoneGroups + 1];

// 1..13 for 0..-12 hours (clamped), 14..27 for +1..+14 hours (clamped).
std::int32_t ZoneGroupOfHours(std::int32_t hours);

// The machine's standard offset in seconds east of UTC at `when`, daylight saving left out:
// the standard in force then, and where a winter is written as a negative saving (Ireland),
// the winter offset. The shell's zone table and the engine's default offset both take it.
std::int32_t StandardUtcOffset(std::time_t when = std::time(nullptr));

// Fills row 0 from the machine's standard offset at `when` (daylight saving is not applied)
// and the computed columns of both tables; returns the machine's offset in seconds east of UTC.
std::int32_t InitTimeZoneTable(std::time_t when = std::time(nullptr));

// v is biased seconds (offset + 43200). The lookups return the first matching row, or -1.
std::int32_t ZoneGroupFromBiasedSeconds(std::int32_t v);
std::int32_t ZoneIndexFromGroup(std::int32_t group);
std::int32_t ZoneIndexFromBiasedSeconds(std::int32_t v);
// The fixed row that matches the machine's offset, or -1.
std::int32_t LocalZoneIndex();

// The whole hours of a group, including the row-less groups 26 and 27; nothing for a number
// that is no group.
std::optional<std::int32_t> ZoneGroupHours(std::int32_t group);
