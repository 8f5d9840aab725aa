#include "platform/base/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(Clock, TickCountIsTheLow32BitsOfTheMonotonicCount) {
    const ULONGLONG before = GetTickCount64();
    const DWORD ticks = GetTickCount();
    const ULONGLONG after = GetTickCount64();
    EXPECT_LE(before, after);
    // Unsigned distances, so the check holds across a wrap of the 32-bit view.
    EXPECT_LE(static_cast<DWORD>(ticks - static_cast<DWORD>(before)), static_cast<DWORD>(after - before));
}

TEST(Clock, SleepWaitsAtLeastTheTimeAndTicksFollow) {
    const auto start = std::chrono::steady_clock::now();
    const DWORD ticks = GetTickCount();
    Sleep(50);
    const auto slept = std::chrono::steady_clock::now() - start;
    EXPECT_GE(slept, std::chrono::milliseconds(50));
    EXPECT_GE(GetTickCount() - ticks, 49u);  // ticks are whole milliseconds
    Sleep(0);                               // yields, returns
}

}  // namespace
