// Video-queue throughput for 100 KiB frames between a producer and a consumer thread, against
// a plain memcpy of the same bytes into a ring of the same size, measured in the same run: frames
// pushed whole, and frames written in 4 KiB pieces as the card source writes them.

#include "engine/PacketQueue.h"
#include "engine/TSChn.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kFrame = 100 * 1024;

std::vector<BYTE>& Source()
{
    static std::vector<BYTE> src = [] {
        std::vector<BYTE> v(kFrame);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<BYTE>(i * 131);
        return v;
    }();
    return src;
}

// Copies the frame to w.data and pushes it; false once the queue is woken.
bool PushWhole(CVBuffer2& q, PacketDesc& w)
{
    std::memcpy(w.data, Source().data(), kFrame);
    w.size = static_cast<std::int32_t>(kFrame);
    w.type = PKT_KEY_FRAME;
    return q.Push(w);
}

// Writes the frame into the ring 4 KiB at a time, then queues it where it lies.
bool PushInPieces(CVBuffer2& q, PacketDesc& w)
{
    constexpr std::size_t kPiece = 4096;
    static_assert(kFrame % kPiece == 0);
    PacketDesc d = w;
    d.size = 0;
    d.type = PKT_KEY_FRAME;
    for (std::size_t at = 0; at < kFrame; at += kPiece) {
        BYTE* p = q.EnsureRoom(d, static_cast<int>(kPiece));
        if (p == nullptr)
            return false;
        std::memcpy(p, Source().data() + at, kPiece);
        d.size += static_cast<std::int32_t>(kPiece);
    }
    if (!q.PushUnsized(d))
        return false;
    w.data = d.data + d.size;
    return true;
}

template <bool (*Produce)(CVBuffer2&, PacketDesc&)>
void BM_QueueFrames(benchmark::State& state)
{
    CVBuffer2 q(1280);
    q.Create(kVideoRingBytes, kVideoMaxPacket, true);
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        PacketDesc w;
        q.Restart(w);
        while (!stop.load(std::memory_order_relaxed) && Produce(q, w)) {
        }
    });
    PacketDesc d;
    unsigned sink = 0;
    for (auto _ : state) {
        while (!q.Pop(d)) {
        }
        sink += d.data[d.size - 1];
    }
    benchmark::DoNotOptimize(sink);
    stop = true;
    q.Wake();
    producer.join();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kFrame));
}

void BM_Memcpy(benchmark::State& state)
{
    std::vector<BYTE> ring(kVideoRingBytes);
    const std::vector<BYTE>& src = Source();
    std::size_t at = 0;
    for (auto _ : state) {
        if (at + kFrame > ring.size())
            at = 0;
        std::memcpy(ring.data() + at, src.data(), kFrame);
        benchmark::ClobberMemory();
        at += kFrame;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kFrame));
}

BENCHMARK_TEMPLATE(BM_QueueFrames, PushWhole)->UseRealTime()->MinTime(1.0);
BENCHMARK_TEMPLATE(BM_QueueFrames, PushInPieces)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_Memcpy)->UseRealTime()->MinTime(1.0);

// Prints the usual table and then the queue's throughput as a fraction of memcpy's.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            const auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end())
                rates[r.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double whole = 0, pieces = 0, copy = 0;
    for (const auto& [name, rate] : reporter.rates) {
        if (name.find("BM_QueueFrames<PushWhole>") == 0)
            whole = rate;
        else if (name.find("BM_QueueFrames<PushInPieces>") == 0)
            pieces = rate;
        else if (name.find("BM_Memcpy") == 0)
            copy = rate;
    }
    if (copy > 0 && whole > 0)
        std::printf("queue/memcpy throughput ratio: %.2f\n", whole / copy);
    if (copy > 0 && pieces > 0)
        std::printf("queue written in pieces/memcpy throughput ratio: %.2f\n", pieces / copy);
    benchmark::Shutdown();
    return 0;
}
