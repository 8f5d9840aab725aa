#pragma once
// The card tools' block routines on raw bytes, for code that cannot see the card tools' types
// beside the engine's own record types.

#include <cstddef>
#include <cstdint>

constexpr std::size_t kCardBlockBytes = 1312;

// True when the 1312-byte block starts with the index-block magic.
bool CardIsIndexBlock(const void* block);
// The stored (card) form of a 1312-byte index block: fields big-endian, checksum in the last word.
void CardStoredIndexBlock(const void* block, void* stored);
// Local seconds of a 6-byte date stamp (year - 1800, month 1..12, ...); 0 when out of range.
std::int64_t CardDateToTime(const std::uint8_t* date);
