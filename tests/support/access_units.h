#pragma once
// The H.264 access units of a recording as libavformat reads them (an oracle independent of the
// engine's demultiplexer).

#include <cstdint>
#include <string>
#include <vector>

struct AccessUnit {
    std::vector<std::uint8_t> data;
    bool key = false;
    std::int64_t pts_us = 0;
};

// The file's video packets in stream order; empty when it cannot be read.
std::vector<AccessUnit> ReadAccessUnits(const std::string& path);
