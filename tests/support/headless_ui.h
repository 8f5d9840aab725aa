#pragma once
// Headless windowing for the control tests: the dummy SDL drivers and, unless a fixture asks
// for the real one, a clock that stands at `now` until the test moves it.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win/afxwin.h"

class HeadlessUiTest : public ::testing::Test {
protected:
    static inline DWORD now = 1000;

    explicit HeadlessUiTest(bool fakeClock = true) : fakeClock_(fakeClock) {}

    // A fixture that adds to these calls them first and returns on a fatal failure.
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(qv::win::InitWindowing());
        if (fakeClock_) {
            now = 1000;
            qv::win::SetClockForTesting([] { return now; });
        }
    }

    void TearDown() override
    {
        qv::win::ShutdownWindowing();
        if (fakeClock_)
            qv::win::SetClockForTesting(nullptr);
    }

    // Handles everything queued, paints, and shows.
    static void Pump() { qv::win::PumpPending(); }

private:
    bool fakeClock_;
};
