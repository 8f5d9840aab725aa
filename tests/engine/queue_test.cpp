#include "engine/PacketQueue.h"

#include "platform/base/clock.h"
#include "platform/base/sync.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

PacketDesc Packet(BYTE* data, int size, int type)
{
    PacketDesc d;
    d.data = data;
    d.size = size;
    d.type = type;
    return d;
}

std::uint32_t Checksum(const BYTE* p, int n)
{
    std::uint32_t h = 2166136261u;
    for (int i = 0; i < n; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

void FillBody(BYTE* p, int n, std::uint64_t seed)
{
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (int i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        p[i] = static_cast<BYTE>(x);
    }
}

}  // namespace

TEST(PacketQueue, PopEmptyReturnsAtOnceAndPopOfLastPacketPauses)
{
    CBuffer q(10);
    ASSERT_TRUE(q.Create(3000, 1000, false));
    PacketDesc d;
    q.Restart(d);
    // No pause on an empty queue: measured against as many of the pauses it would take.
    ULONGLONG t0 = GetTickCount64();
    for (int i = 0; i < 20; ++i)
        Sleep(10);
    const ULONGLONG pauses = GetTickCount64() - t0;
    t0 = GetTickCount64();
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(q.Pop(d));
    EXPECT_LT(GetTickCount64() - t0, pauses / 2);

    PacketDesc w = Packet(d.data, 10, PKT_KEY_FRAME);
    ASSERT_TRUE(q.Push(w));
    EXPECT_EQ(q.Count(), 2);  // in-use placeholder and the packet
    PacketDesc out;
    ASSERT_TRUE(q.Pop(out));
    EXPECT_EQ(out.size, 10);
    t0 = GetTickCount64();
    EXPECT_FALSE(q.Pop(out));
    EXPECT_GE(GetTickCount64() - t0, 9u);
}

TEST(PacketQueue, WrapsOnlyWhenTheConsumerLeftRoomAtTheBaseAndKeepsItsPacketThroughClearAndReset)
{
    CBuffer q(100);
    ASSERT_TRUE(q.Create(300, 100, false));
    PacketDesc w;
    q.Restart(w);
    BYTE* base = w.data;
    for (int i = 0; i < 4; ++i) {
        w.size = 50;
        w.type = PKT_FRAME;
        ASSERT_TRUE(q.Push(w)) << i;
    }
    EXPECT_EQ(w.data, base + 200);
    EXPECT_EQ(q.UsedBytes(), 200u);
    // 200 + 50 + 100 passes the end, and the consumer holds nothing beyond the base yet.
    EXPECT_FALSE(q.Push(w));
    EXPECT_FALSE(q.Advance(w));
    PacketDesc out;
    ASSERT_TRUE(q.Pop(out));  // packet at base
    EXPECT_FALSE(q.Push(w));
    ASSERT_TRUE(q.Pop(out));  // packet at 50: base + 100 > 50, still no room
    EXPECT_FALSE(q.Push(w));
    ASSERT_TRUE(q.Pop(out));  // packet at 100
    EXPECT_EQ(out.data, base + 100);
    // Advance makes Push's test and move without queueing anything.
    PacketDesc probe = w;
    ASSERT_TRUE(q.Advance(probe));
    EXPECT_EQ(probe.data, base);
    EXPECT_EQ(q.Count(), 2);
    ASSERT_TRUE(q.Push(w));
    EXPECT_EQ(w.data, base);
    // The consumer's packet at 100..150 is protected: 0 + 50 + 100 > 100.
    EXPECT_FALSE(q.Push(w));
    // Also once the queue is cleared, and once the list is reset, until the consumer's next Pop.
    q.Clear();
    EXPECT_EQ(q.Count(), 1);
    EXPECT_FALSE(q.Push(w));
    q.ResetList();
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.UsedBytes(), 0u);
    EXPECT_FALSE(q.Push(w));
    EXPECT_FALSE(q.Pop(out));
    EXPECT_TRUE(q.Push(w));
}

TEST(PacketQueue, RefusesPacketsLargerThanTheReserveAndRingsTooSmall)
{
    CBuffer q(10);
    EXPECT_FALSE(q.Create(299, 100, false));
    ASSERT_TRUE(q.Create(300, 100, false));
    PacketDesc w;
    q.Restart(w);
    w.type = PKT_KEY_FRAME;
    w.size = 101;
    EXPECT_FALSE(q.Push(w));
    w.size = -1;
    EXPECT_FALSE(q.Push(w));
    EXPECT_EQ(q.Count(), 0);
    // A smaller re-creation keeps the larger ring.
    const BYTE* ring = q.RingBase();
    ASSERT_TRUE(q.Create(150, 50, false));
    EXPECT_EQ(q.RingBase(), ring);
    EXPECT_EQ(q.RingSize(), 300u);
}

TEST(PacketQueue, RecordsAndMarkersStayOutOfTheByteAccounting)
{
    CVBuffer2 q(100);
    ASSERT_TRUE(q.Create(3000, 1000, false));
    PacketDesc w;
    q.Restart(w);
    BYTE record[1312] = {};
    // A record pushed into an empty queue is not lost as the in-use placeholder.
    PacketDesc r = Packet(record, 1312, PKT_CAR_INFO);
    ASSERT_TRUE(q.Push(r));
    EXPECT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.UsedBytes(), 0u);
    w.size = 40;
    w.type = PKT_KEY_FRAME;
    ASSERT_TRUE(q.Push(w));
    PacketDesc m = Packet(w.data, 0, PKT_MARKER);
    ASSERT_TRUE(q.Push(m));
    EXPECT_EQ(q.UsedBytes(), 40u);

    PacketDesc out;
    ASSERT_TRUE(q.Pop(out));
    EXPECT_EQ(out.type, PKT_CAR_INFO);
    EXPECT_EQ(out.data, record);
    EXPECT_EQ(q.RecordCount(), 0);
    ASSERT_TRUE(q.Pop(out));
    EXPECT_EQ(out.type, PKT_KEY_FRAME);
    EXPECT_EQ(q.UsedBytes(), 0u);
    ASSERT_TRUE(q.Pop(out));
    EXPECT_EQ(out.type, PKT_MARKER);
    EXPECT_EQ(q.UsedBytes(), 0u);
}

TEST(PacketQueue, RecordsBeyondTheLimitAreDropped)
{
    CVBuffer2 q(100);
    ASSERT_TRUE(q.Create(3000, 1000, false));
    q.SetRecordLimit(2);
    BYTE record[1312] = {};
    PacketDesc r = Packet(record, 1312, PKT_CAR_INFO);
    EXPECT_TRUE(q.Push(r));
    EXPECT_TRUE(q.Push(r));
    EXPECT_FALSE(q.Push(r));
    PacketDesc out;
    ASSERT_TRUE(q.Pop(out));
    EXPECT_TRUE(q.Push(r));
    EXPECT_EQ(q.RecordCount(), 2);
}

TEST(PacketQueue, FramesNeedAKeyFrameFirst)
{
    CVBuffer2 q(100);
    ASSERT_TRUE(q.Create(3000, 500, false));
    PacketDesc w;
    q.Restart(w);
    w.size = 10;
    w.type = PKT_FRAME;
    EXPECT_FALSE(q.Push(w));  // no key frame yet: dropped
    EXPECT_FALSE(q.PushUnsized(w));  // also when assembled in place
    w.type = PKT_OBD_TEXT;
    EXPECT_FALSE(q.Push(w));
    EXPECT_EQ(q.Count(), 0);
    w.type = PKT_KEY_FRAME;
    ASSERT_TRUE(q.Push(w));
    EXPECT_EQ(q.KeyFrameState(), 1);
    // The frames of the first group after a restart are kept.
    w.type = PKT_FRAME;
    EXPECT_TRUE(q.Push(w));
    w.type = PKT_NONE;
    EXPECT_FALSE(q.Push(w));
    EXPECT_EQ(q.MediaCount(), 3);

    q.Restart(w);
    EXPECT_EQ(q.KeyFrameState(), -1);
    w.type = PKT_CARD_RESET;
    w.size = 0;
    ASSERT_TRUE(q.Push(w));
    EXPECT_EQ(q.KeyFrameState(), 0);
}

TEST(PacketQueue, RestartWithARecordInUseStartsAtTheRingBase)
{
    CVBuffer2 q(100);
    ASSERT_TRUE(q.Create(3000, 500, false));
    PacketDesc w;
    q.Restart(w);
    const BYTE* base = w.data;
    BYTE record[1312] = {};
    PacketDesc r = Packet(record, 1312, PKT_CAR_INFO);
    ASSERT_TRUE(q.Push(r));
    PacketDesc out;
    ASSERT_TRUE(q.Pop(out));
    q.Restart(w);
    EXPECT_EQ(w.data, base);
    EXPECT_EQ(q.UsedBytes(), 0u);
}

TEST(PacketQueue, AudioQueueDropsTheOldestSoundWhenFullIfAsked)
{
    CABuffer2 q(4);
    ASSERT_TRUE(q.Create(3000, 100, true));
    q.SetDropOldestWhenFull(true);
    PacketDesc w;
    q.Restart(w);
    for (int i = 0; i < 6; ++i) {
        w.size = i == 1 ? 0 : 10;
        w.type = i == 1 ? PKT_MARKER : PKT_AAC_FRAME;
        w.pts = i;
        ASSERT_TRUE(q.Push(w));
    }
    std::vector<std::int64_t> got;
    for (PacketDesc out; q.Pop(out);)
        got.push_back(out.pts);
    // Each push from the third on dropped the oldest sound; the marker stays.
    EXPECT_EQ(got, (std::vector<std::int64_t>{1, 5}));
    EXPECT_EQ(q.UsedBytes(), 0u);
}

// Queues a body through Push, as the demultiplexer does, and moves w to where the next one
// goes. False once the queue is woken.
template <class Queue>
bool PushWhole(Queue& q, PacketDesc& w, PacketDesc d, const std::vector<BYTE>& body)
{
    std::memcpy(d.data, body.data(), body.size());
    while (!q.Push(d))  // only the audio queue and single attempts refuse: retried
        if (q.IsWoken())
            return false;
    w.data = d.data;
    return true;
}

// The same for a body written in pieces, its first bytes last in front of the rest, as the
// card source assembles a frame.
bool PushInPieces(CVBuffer2& q, PacketDesc& w, PacketDesc d, const std::vector<BYTE>& body)
{
    const int size = d.size;
    const int head = d.pts % 3 == 0 ? std::min(size, 64) : 0;
    d.size = 0;
    for (int n; d.size < size - head; d.size += n) {
        n = std::min(size - head - d.size, 700);
        BYTE* p = q.EnsureRoom(d, n);
        if (p == nullptr)
            return false;
        std::memcpy(p, body.data() + head + d.size, static_cast<std::size_t>(n));
    }
    BYTE* p = q.EnsureRoom(d, -head);
    if (p == nullptr)
        return false;
    std::memcpy(p, body.data(), static_cast<std::size_t>(head));
    d.data = p;
    d.size = size;
    if (!q.PushUnsized(d))
        return false;
    w.data = d.data + d.size;
    return true;
}

// One producer and one consumer: every body arrives whole, in order, none twice or lost.
template <class Queue, class Write>
void RunStress(Queue& q, int packets, int type, std::size_t max_packet, bool check_capacity, Write write)
{
    std::atomic<int> max_seen{0};
    std::thread producer([&] {
        std::mt19937 rng(1234);
        std::uniform_int_distribution<int> size_of(0, static_cast<int>(max_packet));
        std::vector<BYTE> body;
        PacketDesc w;
        q.Restart(w);
        for (int i = 0; i < packets; ++i) {
            body.resize((i % 97 == 0) ? max_packet : static_cast<std::size_t>(size_of(rng)));
            FillBody(body.data(), static_cast<int>(body.size()), static_cast<std::uint64_t>(i));
            PacketDesc d = w;
            d.size = static_cast<std::int32_t>(body.size());
            d.type = type;
            d.pts = i;
            d.position = static_cast<std::int32_t>(Checksum(body.data(), d.size));
            if (!write(q, w, d, body))
                break;
        }
    });
    // Whatever a failed check leaves behind, the producer is released and waited for.
    struct Join {
        Queue& q;
        std::thread& t;
        ~Join()
        {
            q.Wake();
            t.join();
        }
    } join{q, producer};
    int expected = 0;
    PacketDesc d;
    std::vector<BYTE> copy;
    while (expected < packets) {
        if (!q.Pop(d))
            continue;
        ASSERT_EQ(d.pts, expected) << "lost or reordered";
        ASSERT_EQ(static_cast<std::int32_t>(Checksum(d.data, d.size)), d.position) << "torn body " << expected;
        if (expected % 1000 == 0) {
            // Hold the packet a while: the producer must not write over it meanwhile.
            copy.assign(d.data, d.data + d.size);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_EQ(0, std::memcmp(copy.data(), d.data, copy.size())) << "overwritten in use";
        }
        if constexpr (std::is_same_v<Queue, CVBuffer2>) {
            max_seen = std::max(max_seen.load(), q.MediaCount());
        }
        ++expected;
    }
    if (check_capacity) {
        EXPECT_LE(max_seen.load(), q.Capacity() + 2);
    }
}

TEST(PacketQueueStress, VideoQueuePassesEveryPacketIntact)
{
    CVBuffer2 q(64);
    ASSERT_TRUE(q.Create(64 * 1024, 4096, true));
    RunStress(q, 100000, PKT_KEY_FRAME, 4096, true, PushWhole<CVBuffer2>);
}

TEST(PacketQueueStress, BodiesWrittenInPiecesAreNeverWrittenOverBeforeTheyAreTaken)
{
    // A ring of three largest packets, and a producer allowed up to eight packets ahead: it
    // laps the ring, and must wait for the consumer instead of writing over its packets.
    CVBuffer2 q(64);
    ASSERT_TRUE(q.Create(3 * 2048, 2048, true));
    RunStress(q, 20000, PKT_KEY_FRAME, 2048, false, PushInPieces);
}

TEST(PacketQueueStress, AudioQueuePassesEveryPacketIntact)
{
    CABuffer2 q(30);
    ASSERT_TRUE(q.Create(32 * 1024, 2048, true));
    RunStress(q, 100000, PKT_AAC_FRAME, 2048, false, PushWhole<CABuffer2>);
}

TEST(PacketQueueStress, ProducerWaitsAtCapacityUntilThePacketsAreTaken)
{
    // Push waits at the capacity; a body assembled in place (PushUnsized) keeps the producer
    // only an eighth of it ahead. Counts include the placeholder.
    for (const bool unsized : {false, true}) {
        SCOPED_TRACE(unsized ? "PushUnsized" : "Push");
        const int capacity = unsized ? 64 : 8;
        const int waitsAt = unsized ? capacity / 8 + 1 : capacity;
        CVBuffer2 q(capacity);
        ASSERT_TRUE(q.Create(1 << 20, 1024, true));
        std::atomic<int> pushed{0};
        std::thread producer([&] {
            PacketDesc w;
            q.Restart(w);
            for (int i = 0; i < 20; ++i) {
                w.size = 16;
                w.type = PKT_KEY_FRAME;
                if (!(unsized ? q.PushUnsized(w) : q.Push(w)))
                    break;
                if (unsized)
                    w.data += w.size;
                ++pushed;
            }
        });
        // Blocks after the push that filled the queue that far.
        WaitFor([&] { return q.MediaCount() >= waitsAt; });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(pushed.load(), waitsAt - 2);
        EXPECT_EQ(q.MediaCount(), waitsAt);
        PacketDesc out;
        int popped = 0;
        while (pushed.load() < 20 || q.MediaCount() > 1) {
            if (q.Pop(out))
                ++popped;
        }
        producer.join();
        EXPECT_EQ(pushed.load(), 20);
        EXPECT_EQ(popped, 20);
    }
}

TEST(PacketQueueStress, WakeReleasesABlockedProducer)
{
    struct Case {
        int capacity;
        std::size_t ring;
        bool pieces;  // written as the card source writes
    };
    // At capacity (waiting on the event), with a full ring (retrying every millisecond), and
    // for a producer writing in pieces: ahead of the consumer, and facing an untaken body.
    for (Case c : {Case{4, 1u << 20, false}, Case{100000, 3000u, false}, Case{32, 1u << 20, true},
                   Case{100000, 3000u, true}}) {
        SCOPED_TRACE(c.capacity);
        CVBuffer2 q(c.capacity);
        ASSERT_TRUE(q.Create(c.ring, 1000, true));
        std::atomic<bool> done{false};
        std::atomic<int> pushed{0};
        std::thread producer([&] {
            const std::vector<BYTE> body(600);
            PacketDesc w;
            q.Restart(w);
            for (;;) {
                PacketDesc d = w;
                d.size = 600;
                d.type = PKT_KEY_FRAME;
                d.pts = 1;  // appended only
                if (!(c.pieces ? PushInPieces(q, w, d, body) : PushWhole(q, w, d, body)))
                    break;
                ++pushed;
            }
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return pushed.load() >= 2; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(done.load());
        q.Wake();
        EXPECT_TRUE(WaitFor([&] { return done.load(); })) << "the producer still waits after the stop";
        for (PacketDesc out; !done.load();)
            q.Pop(out);  // what the stop did not release, taking the packets does
        producer.join();
        EXPECT_TRUE(q.IsWoken());
        // A woken queue refuses until it is created again.
        PacketDesc w;
        q.Restart(w);
        w.size = 1;
        w.type = PKT_KEY_FRAME;
        EXPECT_FALSE(q.Push(w));
        ASSERT_TRUE(q.Create(c.ring, 1000, true));
        q.Restart(w);
        w.size = 1;
        w.type = PKT_KEY_FRAME;
        EXPECT_TRUE(q.Push(w));
    }
}

TEST(PacketQueueStress, WakeReleasesABlockedAudioProducer)
{
    CABuffer2 q(30);
    ASSERT_TRUE(q.Create(3000, 1000, true));
    std::atomic<bool> done{false};
    std::thread producer([&] {
        PacketDesc w;
        q.Restart(w);
        for (;;) {
            w.size = 900;
            w.type = PKT_AAC_FRAME;
            if (!q.Push(w))
                break;
        }
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(done.load());
    q.Wake();
    producer.join();
    EXPECT_TRUE(done.load());
}

TEST(PacketQueue, PlanarHelpersLayOutAndCopyFourTwoZero)
{
    const int w = 8, h = 4;
    std::vector<BYTE> src(w * h * 3 / 2), dst(w * h * 3 / 2, 0);
    for (std::size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<BYTE>(i);
    Yuv420Planes s = SetYuv420Planes(src.data(), w, h);
    EXPECT_EQ(s.plane[1] - s.plane[0], w * h);
    EXPECT_EQ(s.plane[2] - s.plane[0], w * h * 5 / 4);
    EXPECT_EQ(s.stride[1], w / 2);
    Yuv420Planes d = SetYuv420Planes(dst.data(), w, h);
    CopyYuv420Rows(d, s, w, h);
    EXPECT_EQ(src, dst);
}
