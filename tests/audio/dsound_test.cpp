#include "platform/media/dsound.h"

#include "platform/base/sync.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Small geometry for speed: 16 chunks of 512 bytes (32 ms each at 8 kHz), one device block each.
constexpr DWORD kChunk = 512;
constexpr DWORD kSize = 16 * kChunk;

struct Dsound : ::testing::Test {
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ds = DirectSound::Create();
        ASSERT_NE(ds, nullptr);
        WAVEFORMATEX f;
        ASSERT_EQ(ds->SetPrimaryFormat(f), DS_OK);
        DSBUFFERDESC d;
        d.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2;
        d.dwBufferBytes = kSize;
        d.lpwfxFormat = &f;
        ASSERT_EQ(ds->CreateSoundBuffer(d, &buf), DS_OK);
        ASSERT_NE(buf, nullptr);
    }

    void Fill(const std::vector<std::int16_t>& pattern)
    {
        void* p1 = nullptr;
        void* p2 = nullptr;
        DWORD n1 = 0, n2 = 0;
        ASSERT_EQ(buf->Lock(0, kSize, &p1, &n1, &p2, &n2, 0), DS_OK);
        ASSERT_EQ(n1, kSize);
        auto* s = static_cast<std::int16_t*>(p1);
        for (DWORD i = 0; i < kSize / 2; ++i)
            s[i] = pattern[i % pattern.size()];
        ASSERT_EQ(buf->Unlock(p1, n1, p2, n2), DS_OK);
    }

    // Samples handed to the device over about `d`.
    std::vector<std::int16_t> Record(std::chrono::milliseconds d)
    {
        buf->StartTap(1 << 20);
        std::this_thread::sleep_for(d);
        std::vector<BYTE> bytes = buf->TakeTap();
        std::vector<std::int16_t> s(bytes.size() / 2);
        std::memcpy(s.data(), bytes.data(), s.size() * 2);
        return s;
    }

    std::unique_ptr<DirectSound> ds;
    std::unique_ptr<DirectSoundBuffer> buf;
};

}  // namespace

TEST_F(Dsound, NotificationsFireInPlayOrderOnOneEvent)
{
    HANDLE ev = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::vector<DSBPOSITIONNOTIFY> pos(16);
    // Given out of order: the buffer still signals them in the order the cursor passes them.
    for (int i = 0; i < 16; ++i) {
        pos[static_cast<std::size_t>(i)].dwOffset = kChunk / 2 + kChunk * static_cast<DWORD>((i * 7) % 16);
        pos[static_cast<std::size_t>(i)].hEventNotify = ev;
    }
    ASSERT_EQ(buf->SetNotificationPositions(16, pos.data()), DS_OK);
    buf->StartTap(1 << 20);
    ASSERT_EQ(buf->SetCurrentPosition(0), DS_OK);
    ASSERT_EQ(buf->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(buf->SetNotificationPositions(16, pos.data()), DSERR_INVALIDCALL);  // not while playing
    int woken = 0;
    for (int i = 0; i < 24; ++i)
        if (WaitForSingleObject(ev, 1000) == WAIT_OBJECT_0)
            ++woken;
    EXPECT_EQ(woken, 24);
    DWORD play = 0, write = 0;
    ASSERT_EQ(buf->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play % 2, 0u);
    EXPECT_EQ(write, (play + kChunk) % kSize);  // one 256-sample device block ahead
    buf->Stop();
    std::vector<DWORD> log = buf->TakeNotifyLog();
    buf->TakeTap();
    ASSERT_GE(log.size(), 24u);
    EXPECT_EQ(log[0], kChunk / 2);
    for (std::size_t i = 1; i < log.size(); ++i)
        EXPECT_EQ(log[i], (log[i - 1] + kChunk) % kSize) << i;
    CloseHandle(ev);
}

TEST_F(Dsound, VolumeIsAGainOnEverySample)
{
    const std::vector<std::int16_t> pattern = {10000, -32768, 32767, 12346, -7, 100, 0, -10000};
    Fill(pattern);
    ASSERT_EQ(buf->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    struct Case {
        LONG volume;
        std::vector<std::int16_t> expected;
    };
    const Case cases[] = {
        {0, pattern},
        {-2000, {1000, -3277, 3277, 1235, -1, 10, 0, -1000}},  // x 0.1
        {-4000, {100, -328, 328, 123, 0, 1, 0, -100}},         // x 0.01
        {-10000, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(buf->SetVolume(c.volume), DS_OK);
        std::this_thread::sleep_for(80ms);  // a block mixed before the change may still be queued
        const std::vector<std::int16_t> s = Record(200ms);
        ASSERT_GE(s.size(), 512u) << c.volume;
        // Device blocks start on chunk boundaries, so the pattern starts with each tap.
        for (std::size_t i = 0; i < s.size(); ++i)
            ASSERT_EQ(s[i], c.expected[i % 8]) << "volume " << c.volume << " sample " << i;
    }
    EXPECT_EQ(buf->SetVolume(100), DSERR_INVALIDPARAM);
    EXPECT_EQ(buf->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_DOUBLE_EQ(DirectSoundGain(0), 1.0);
    EXPECT_DOUBLE_EQ(DirectSoundGain(-10000), 0.0);
    EXPECT_DOUBLE_EQ(DirectSoundGain(500), 1.0);
    EXPECT_NEAR(DirectSoundGain(-600), 0.501187, 1e-6);
}

TEST_F(Dsound, StoppedBufferFeedsSilenceAndKeepsItsCursor)
{
    Fill({1234, -1234});
    // Never started: the device still runs, on silence.
    std::vector<std::int16_t> s = Record(150ms);
    ASSERT_FALSE(s.empty());
    for (std::int16_t v : s)
        ASSERT_EQ(v, 0);

    // A streaming buffer only loops.
    EXPECT_EQ(buf->Play(0, 0, 0), DSERR_INVALIDPARAM);
    ASSERT_EQ(buf->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    s = Record(150ms);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), 1234);
    ASSERT_EQ(buf->Stop(), DS_OK);
    DWORD at = 0, write = 0;
    buf->GetCurrentPosition(&at, &write);
    EXPECT_EQ(write, at);
    s = Record(150ms);
    ASSERT_FALSE(s.empty());
    for (std::int16_t v : s)
        ASSERT_EQ(v, 0);
    DWORD later = 0;
    buf->GetCurrentPosition(&later, nullptr);
    EXPECT_EQ(later, at);
}

TEST_F(Dsound, LockedRegionWrapsAndIsWrittenOnUnlock)
{
    Fill({0});
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    ASSERT_EQ(buf->Lock(kSize - 100, 300, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 200u);
    void* q1 = nullptr;
    DWORD m1 = 0;
    EXPECT_EQ(buf->Lock(0, 2, &q1, &m1, nullptr, nullptr, 0), DSERR_INVALIDCALL);
    std::memset(p1, 0x11, n1);
    std::memset(p2, 0x22, n2);
    ASSERT_EQ(buf->Unlock(p1, n1, p2, 150), DS_OK);  // only 150 of the wrapped bytes written

    ASSERT_EQ(buf->Lock(0, kSize, &p1, &n1, &p2, &n2, 0), DS_OK);
    const auto* b = static_cast<const BYTE*>(p1);
    EXPECT_EQ(b[0], 0x22);
    EXPECT_EQ(b[149], 0x22);
    EXPECT_EQ(b[150], 0x00);
    EXPECT_EQ(b[kSize - 101], 0x00);
    EXPECT_EQ(b[kSize - 100], 0x11);
    EXPECT_EQ(b[kSize - 1], 0x11);
    EXPECT_EQ(buf->Unlock(p1, n1 + 2, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buf->Unlock(p1, 0, nullptr, 0), DS_OK);

    EXPECT_EQ(buf->Lock(kSize, 2, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buf->Lock(0, 2, &p1, &n1, &p2, &n2, 2), DSERR_INVALIDPARAM);  // only plain regions
    EXPECT_EQ(buf->Lock(0, kSize + 2, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buf->SetCurrentPosition(kSize), DSERR_INVALIDPARAM);
}
