#pragma once
// Plays generated recordings through a channel's demultiplexer and collects what reaches the
// queues.

#include "engine/TSChn.h"
#include "tools/recgen/recgen.h"

#include <cstdint>
#include <string>
#include <vector>

struct Popped {
    int type = 0;
    std::int64_t pts = 0;
    int rate = 0;
    int time = 0;
    int position = 0;
    double direction = 0;
    std::vector<std::uint8_t> body;
    CarInfoRecord record{};  // type 99
};

class DemuxRig {
public:
    DemuxRig();
    ~DemuxRig();
    // Queues created as the channel creates them; the demultiplexer opens `files` (a set when
    // more than one) reading in `direction`.
    bool Start(const std::vector<std::string>& files, int direction = 0);
    // Pops video packets until the end packet (included) or `max` packets or the time limit.
    std::vector<Popped> PopUntilEnd(int timeout_ms = 20000, std::size_t max = SIZE_MAX);
    std::vector<Popped> PopAudio();
    CTSAnalyse& Demux() { return chn.Demux(); }

    CTSChn chn{nullptr, nullptr};
};

// Video frames only, in order.
std::vector<Popped> Pictures(const std::vector<Popped>& v);
recgen::RecordingInfo Generate(const recgen::RecordingSpec& recipe, const std::string& path);
