#include "engine/CardBlocks.h"

#include "cardtools/cardtools.h"

#include <cstring>

static_assert(kCardBlockBytes == kDiskBlockSize);

bool CardIsIndexBlock(const void* block)
{
    return IsIndexBlock(block);
}

void CardStoredIndexBlock(const void* block, void* stored)
{
    IndexBlock b;
    std::memcpy(&b, block, sizeof b);
    SwapIndexBlock(&b);
    b.checksum = SettingChecksum(&b, sizeof b);
    std::memcpy(stored, &b, sizeof b);
}

std::int64_t CardDateToTime(const std::uint8_t* date)
{
    DiskDate d;
    std::memcpy(&d, date, sizeof d);
    return DiskDateToTime(&d);
}
