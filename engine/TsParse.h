#pragma once
// Transport-stream parsing pieces of the demultiplexer: packet headers, the programme tables,
// PES headers and the H.264 access-unit scan. Every length read from the stream is checked
// against the bytes actually present.

#include <cstddef>
#include <cstdint>

namespace ts {

constexpr int kPacketSize = 188;
constexpr std::uint8_t kSync = 0x47;
constexpr std::uint16_t kNoPid = 0x2000;  // outside the 13-bit range: "no such stream"

struct PacketHeader {
    bool pusi = false;
    std::uint16_t pid = kNoPid;
    std::uint8_t afc = 0;
    int payloadOffset = 0;  // into the 188 bytes
    int payloadLength = 0;  // 0 when the packet carries none
};

// False for packets to skip: transport error, adaptation_field_control 0, or an adaptation
// field longer than the packet.
bool ParsePacket(const std::uint8_t* p, PacketHeader& h);

// The first programme's PMT PID from a PAT payload (pointer field included when `pusi`);
// kNoPid when the payload holds no usable PAT.
std::uint16_t ParsePat(const std::uint8_t* payload, int length, bool pusi);

struct StreamPids {
    std::uint16_t video = kNoPid;  // first 0x1B stream
    std::uint16_t audio = kNoPid;  // 0x0F (AAC ADTS)
    std::uint16_t priv = kNoPid;   // 0xA0 private text
    int streams = 0;               // entries listed in the PMT
};
// False when the payload holds no PMT section with at least one stream.
bool ParsePmt(const std::uint8_t* payload, int length, bool pusi, StreamPids& out);

struct PesHeader {
    std::uint8_t streamId = 0;
    int packetLength = 0;     // PES_packet_length; 0 = unbounded
    int ptsDtsFlags = 0;
    std::int64_t pts = 0;     // 33-bit 90 kHz values as written
    std::int64_t dts = 0;
    std::size_t payloadOffset = 0;
};
// False without the 00 00 01 prefix or when the header runs past `length`.
bool ParsePes(const std::uint8_t* d, std::size_t length, PesHeader& h);

// A 33-bit time stamp as the engine counts it: modulo 2^32, read as signed.
inline std::int32_t Ticks32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

enum FrameType : int { kFrameNone = 0, kFrameKey = 17, kFrameOther = 18 };

struct AccessUnitScan {
    int type = kFrameNone;
    bool sps = false;            // the frame starts with a sequence parameter set
    std::size_t bodyStart = 0;   // first byte of the start code the frame is taken from
};
// Finds the first slice or sequence parameter set of an Annex B access unit (3- and 4-byte
// start codes) and classifies the frame; units in front of it are not part of the body.
AccessUnitScan ScanAccessUnit(const std::uint8_t* d, std::size_t length);

// Frames per second from a measured rate: the usual recorder rates, never raised far above
// what was measured.
int QuantiseFps(double measured);

}  // namespace ts
