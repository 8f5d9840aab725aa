#include "engine/AudioCtx.h"
#include "engine/JtvCtrl.h"
#include "engine/PacketQueue.h"
#include "tests/support/tempdir.h"
#include "tests/support/tone_recording.h"
#include "tests/support/wait.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using namespace std::chrono_literals;
using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<std::uint8_t>;

void UseDummyAudio()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// The recording's audio as the demultiplexer hands it on: ADTS frames, `per_packet` to a packet.
std::vector<Bytes> AudioPackets(const std::string& path, int per_packet)
{
    std::vector<Bytes> frames;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return {};
    avformat_find_stream_info(fmt, nullptr);
    const int audio = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVPacket* pkt = av_packet_alloc();
    while (audio >= 0 && av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == audio)
            frames.emplace_back(pkt->data, pkt->data + pkt->size);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    std::vector<Bytes> packets;
    for (std::size_t i = 0; i < frames.size(); i += static_cast<std::size_t>(per_packet)) {
        Bytes p;
        for (std::size_t j = i; j < frames.size() && j < i + static_cast<std::size_t>(per_packet); ++j)
            p.insert(p.end(), frames[j].begin(), frames[j].end());
        packets.push_back(std::move(p));
    }
    return packets;
}

// FFmpeg's own decoding of the recording's sound, as 16-bit mono at 8 kHz.
Samples Reference(const TempDir& dir, const std::string& path)
{
    const std::string out = dir.file("ref.raw");
    const std::string cmd = "ffmpeg -v error -y -i '" + path + "' -map 0:a -ac 1 -ar 8000 -f s16le '" + out + "'";
    if (std::system(cmd.c_str()) != 0)
        return {};
    std::ifstream f(out, std::ios::binary);
    const Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Samples s(b.size() / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

Samples ToSamples(const Bytes& b)
{
    Samples s(b.size() / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

double Rms(const Samples& s, std::size_t from, std::size_t n)
{
    double sum = 0;
    for (std::size_t i = from; i < from + n && i < s.size(); ++i)
        sum += static_cast<double>(s[i]) * s[i];
    return n != 0 ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

// Frequency of the strongest component between 100 and 3,900 Hz (Goertzel, 5 Hz steps).
double DominantHz(const Samples& s, std::size_t from, std::size_t n)
{
    double best = 0, bestPower = -1;
    for (double hz = 100; hz <= 3900; hz += 5) {
        const double w = 2 * M_PI * hz / 8000.0;
        const double c = 2 * std::cos(w);
        double s1 = 0, s2 = 0;
        for (std::size_t i = from; i < from + n; ++i) {
            const double s0 = s[i] + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = hz;
        }
    }
    return best;
}

std::size_t FirstSound(const Samples& s, std::size_t from = 0)
{
    for (std::size_t i = from; i < s.size(); ++i)
        if (std::abs(s[i]) > 64)
            return i;
    return s.size();
}

// Where in `played` the window ref[at, at + n) lies, by least squared difference after the
// first sound.
std::size_t Align(const Samples& played, const Samples& ref, std::size_t at, std::size_t n, double gain)
{
    std::size_t best = 0;
    double bestErr = -1;
    for (std::size_t o = 0; o + n <= played.size(); ++o) {
        double err = 0;
        for (std::size_t i = 0; i < n && (bestErr < 0 || err < bestErr); ++i) {
            const double d = played[o + i] - gain * ref[at + i];
            err += d * d;
        }
        if (bestErr < 0 || err < bestErr) {
            bestErr = err;
            best = o;
        }
    }
    return best;
}

struct Rig {
    Rig()
    {
        UseDummyAudio();
        engine.CreateChannels();
        queue().Create(kAudioRingBytes, kAudioMaxPacket, true);
        queue().Restart(next);
    }
    ~Rig() { audio().Stop(INFINITE); }

    CABuffer2& queue() { return engine.m_channel.AudioQueue(); }
    CAudioCtx& audio() { return engine.m_channel.AudioCtx(); }

    bool Push(const Bytes& body, std::int64_t pts)
    {
        std::memcpy(next.data, body.data(), body.size());
        next.size = static_cast<std::int32_t>(body.size());
        next.type = PKT_AAC_FRAME;
        next.pts = pts;
        return queue().Push(next);
    }

    void PushAll(const std::vector<Bytes>& packets)
    {
        std::int64_t pts = 1000000;
        for (const Bytes& p : packets) {
            ASSERT_TRUE(Push(p, pts));
            pts += 128000;
        }
    }

    // Waits until the queue is empty and then `tail` more.
    void WaitDrained(std::chrono::milliseconds tail, std::chrono::milliseconds limit = 20s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (queue().LockedCount() > 1 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        std::this_thread::sleep_for(tail);
    }

    CJtvCtrl engine;
    PacketDesc next;
};

struct ToneCase {
    int rate;
    int channels;
    int frames_per_packet;
    LONG volume;
    double gain;
};

void PlayToneAndCompare(const ToneCase& c)
{
    TempDir dir;
    recgen::RecordingSpec recipe = ToneRecipe(10, 3.0);
    recipe.gop = 10;
    recipe.sample_rate = c.rate;
    recipe.channels = c.channels;
    const std::string path = dir.file("tone.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;
    const std::vector<Bytes> packets = AudioPackets(path, c.frames_per_packet);
    ASSERT_GT(packets.size(), 5u);
    ASSERT_EQ(packets[0][0], 0xFF);  // ADTS
    const Samples ref = Reference(dir, path);
    ASSERT_GT(ref.size(), 20000u);

    Rig rig;
    rig.audio().SetVolume(c.volume);
    ASSERT_TRUE(rig.audio().Start());
    ASSERT_NE(rig.audio().Buffer(), nullptr);
    rig.audio().Buffer()->StartTap(16000 * 10);
    rig.PushAll(packets);
    rig.WaitDrained(1500ms);
    const Samples played = ToSamples(rig.audio().Buffer()->TakeTap());

    const std::size_t start = FirstSound(played);
    ASSERT_LT(start + 16000, played.size()) << "no sound played";
    EXPECT_EQ(DominantHz(played, start + 4000, 4000), 1000.0);

    // Sample by sample against FFmpeg's decoding, from a steady point to the end: nothing lost,
    // repeated or out of place, and the level follows the volume.
    const std::size_t refAt = FirstSound(ref) + 2000;
    const std::size_t offset = Align(played, ref, refAt, 400, c.gain);
    const std::size_t n = ref.size() - refAt - 400;
    ASSERT_LE(offset + n, played.size());
    double err = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = played[offset + i] - c.gain * ref[refAt + i];
        err += d * d;
    }
    const double refRms = c.gain * Rms(ref, refAt, n);
    ASSERT_GT(refRms, 300.0);
    EXPECT_LT(std::sqrt(err / static_cast<double>(n)), 0.01 * refRms + 1.0);
    EXPECT_NEAR(Rms(played, offset, n) / refRms, 1.0, 0.01);
    // After the last packet the output falls silent and stays so.
    for (std::size_t i = offset + n + 400; i < played.size(); ++i)
        ASSERT_EQ(played[i], 0) << i;
}

}  // namespace

TEST(AudioCtx, PlaysTheRecordingsToneAsFFmpegDecodesIt)
{
    // 8 kHz mono, one frame a packet, full volume.
    PlayToneAndCompare({8000, 1, 1, 0, 1.0});
}

TEST(AudioCtx, ConvertsOtherFormatsAndKeepsFramesThatStraddleChunks)
{
    // 22.05 kHz stereo becomes 8 kHz mono: frames of 371.5 samples straddle chunk ends; three
    // frames a packet; -6 dB.
    PlayToneAndCompare({22050, 2, 3, -600, std::pow(10.0, -600 / 2000.0)});
}

TEST(AudioCtx, SilentWhilePausedOrStarvedAndResumes)
{
    TempDir dir;
    const recgen::RecordingSpec recipe = ToneRecipe(10, 2.0);
    const std::string path = dir.file("tone.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;
    const std::vector<Bytes> packets = AudioPackets(path, 1);

    Rig rig;
    ASSERT_TRUE(rig.audio().Start());
    DirectSoundBuffer* out = rig.audio().Buffer();
    ASSERT_NE(out, nullptr);

    // Starved: the buffer keeps playing, on silence.
    DWORD before = 0, after = 0;
    out->GetCurrentPosition(&before, nullptr);
    out->StartTap(1 << 20);
    std::this_thread::sleep_for(900ms);
    Samples s = ToSamples(out->TakeTap());
    out->GetCurrentPosition(&after, nullptr);
    ASSERT_GT(s.size(), 4000u);
    for (std::int16_t v : s)
        ASSERT_EQ(v, 0);
    EXPECT_NE(after, before);

    // Paused: silence, and the queue waits.
    rig.audio().SetPaused(true);
    rig.PushAll(packets);
    const int queued = rig.queue().LockedCount();
    out->StartTap(1 << 20);
    std::this_thread::sleep_for(900ms);
    s = ToSamples(out->TakeTap());
    ASSERT_GT(s.size(), 4000u);
    for (std::int16_t v : s)
        ASSERT_EQ(v, 0);
    EXPECT_EQ(rig.queue().LockedCount(), queued);

    // Resumed: the tone.
    out->StartTap(1 << 20);
    rig.audio().SetPaused(false);
    rig.WaitDrained(900ms);
    s = ToSamples(out->TakeTap());
    const std::size_t start = FirstSound(s);
    ASSERT_LT(start + 4000, s.size());
    EXPECT_EQ(DominantHz(s, start + 1000, 2000), 1000.0);

    // Volume from the engine: -2,700 and below is silence, the tone playing on unheard.
    rig.audio().SetVolume(-2700);
    EXPECT_EQ(rig.audio().OutputVolume(), -10000);
    rig.PushAll(packets);
    out->StartTap(1 << 20);
    rig.WaitDrained(900ms);
    s = ToSamples(out->TakeTap());
    ASSERT_GT(s.size(), 4000u);
    for (std::int16_t v : s)
        ASSERT_EQ(v, 0);
    EXPECT_LE(rig.queue().LockedCount(), 1);
}

TEST(AudioCtx, StopEndsPromptlyAtPositionZeroAndStartsAgain)
{
    Rig rig;
    // An export may leave the G.726 decoder at another rate in mid-stream.
    G726Decoder& g726 = rig.audio().G726();
    g726.Init(48);
    for (int code : {1, 3, 2, 3, 1, 0, 2})
        g726.Decode(code);
    ASSERT_TRUE(rig.audio().Start());
    std::this_thread::sleep_for(300ms);
    const auto t0 = std::chrono::steady_clock::now();
    rig.audio().Stop(10000);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);  // the refill wait is woken
    EXPECT_FALSE(rig.audio().IsThreadAlive());
    // Stopped at position 0, where it stays.
    DirectSoundBuffer* out = rig.audio().Buffer();
    DWORD play = 1;
    out->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 0u);
    std::this_thread::sleep_for(100ms);
    out->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 0u);
    // Stopped, it decodes as a fresh 40 kbit/s decoder does.
    EXPECT_EQ(g726.codecId, 51);
    G726Decoder fresh{};
    fresh.Init(51);
    for (int i = 0; i < 64; ++i) {
        const int code = (i * 7 + 3) % 32;
        ASSERT_EQ(g726.Decode(code), fresh.Decode(code)) << "code " << i;
    }

    // Started again, it plays on from there.
    EXPECT_TRUE(rig.audio().Restart());
    EXPECT_TRUE(rig.audio().IsRunning());
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (play == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
        out->GetCurrentPosition(&play, nullptr);
    }
    EXPECT_GT(play, 0u);
}

TEST(AudioCtx, WithoutAnOutputDeviceTheQueueIsDrained)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        CJtvCtrl engine;
        engine.CreateChannels();
        CABuffer2& q = engine.m_channel.AudioQueue();
        q.Create(kAudioRingBytes, kAudioMaxPacket, true);
        PacketDesc d;
        q.Restart(d);
        for (int i = 0; i < 20; ++i) {
            d.data[0] = 0;
            d.size = 1;
            d.type = PKT_AAC_FRAME;
            ASSERT_TRUE(q.Push(d));
        }
        CAudioCtx& a = engine.m_channel.AudioCtx();
        ASSERT_TRUE(a.Start());
        EXPECT_EQ(a.Buffer(), nullptr);
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (q.LockedCount() > 1 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(10ms);
        EXPECT_LE(q.LockedCount(), 1);
        a.Stop(INFINITE);
    }
    UseDummyAudio();
}

TEST(AudioCtx, ResyncRequestsMadeWhileTheSoundIsPlacedStandAndSyncOffStaysOff)
{
    TempDir dir;
    const std::string path = dir.file("tone.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(ToneRecipe(10, 2.0), path, &info)) << info.error;
    const std::vector<Bytes> packets = AudioPackets(path, 4);
    ASSERT_GE(packets.size(), 3u);

    // No clock yet: placing its first packet, the sound restarts the clock. A seek's request
    // and the pictures' come just then, after the placing has read the clock.
    Rig rig;
    CAudioCtx& audio = rig.audio();
    constexpr LONG kMark = 1000000;  // the offset tells that restart's reading of the ticks
    std::atomic<bool> asked{false};
    audio.SetTickSource([&] {
        if (audio.PreviousTickOffset() >= kMark && !asked.exchange(true)) {
            audio.RequestResync();
            rig.engine.m_syncPending = 1;
        }
        return static_cast<std::int64_t>(GetTickCount64());
    });
    audio.SetTickOffset(kMark);
    ASSERT_TRUE(audio.Start());
    ASSERT_TRUE(rig.Push(packets[1], 1000000));
    ASSERT_TRUE(WaitFor([&] { return asked && rig.queue().LockedCount() == 0; }, 5000));  // placed and played
    EXPECT_TRUE(audio.ResyncRequested()) << "lost to the placing";
    EXPECT_EQ(rig.engine.m_syncPending.load(), 1);

    // With the synchronisation off, the next packet answers them: the clock restarts at its
    // time, and the synchronisation stays off.
    audio.SetAnchor(kAnchorOff);
    ASSERT_TRUE(rig.Push(packets[2], 5000000));
    std::int64_t base = 0, tick = 0;
    ASSERT_TRUE(WaitFor([&] { return rig.engine.ClockBase(&base, &tick) && base == 5000000; }, 5000));
    EXPECT_FALSE(audio.ResyncRequested());
    EXPECT_EQ(audio.Anchor(), kAnchorOff);
}
