#pragma once
// Shared by the writer tests: sample packets from a generated recording, a small reader of the
// transport streams the writer makes, and running ffprobe/ffmpeg.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SourcePacket {
    bool video = false;
    bool key = false;
    std::vector<std::uint8_t> data;
};

// Keeps the libraries' own logging to errors.
void QuietAv();

// Video and audio packets of a file in file order, through libavformat.
std::vector<SourcePacket> ReadPackets(const std::string& path);

struct Pes {
    std::int64_t pts = -1;
    std::int64_t dts = -1;
    int declared_length = 0;   // PES_packet_length
    std::vector<std::uint8_t> payload;
};

struct TsScan {
    std::string error;                        // first structural fault found, empty when none
    std::vector<std::uint16_t> pids;          // of each packet, in order
    std::map<std::uint16_t, std::vector<Pes>> pes;
};
// Checks sync bytes, adaptation fields and per-PID continuity, and collects the PES of the
// elementary-stream PIDs.
TsScan ScanTs(const std::vector<std::uint8_t>& bytes);

std::vector<std::uint8_t> ReadBytes(const std::string& path);
// Standard output of a shell command.
std::string RunCommand(const std::string& command);
