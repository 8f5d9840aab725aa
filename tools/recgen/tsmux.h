#pragma once
// The generator's own transport-stream packetiser: tables, PCR packets and PES packets cut
// into 188-byte packets, handed one at a time to a sink that places them in the file.

#include <cstdint>
#include <functional>
#include <vector>

namespace recgen {

inline constexpr int kTsPacket = 188;
inline constexpr std::uint16_t kPidPat = 0x0000;
inline constexpr std::uint16_t kPidSit = 0x001F;
inline constexpr std::uint16_t kPidPmt = 0x0100;
inline constexpr std::uint16_t kPidPcr = 0x1001;
inline constexpr std::uint16_t kPidVideo = 0x1011;
inline constexpr std::uint16_t kPidAudio = 0x1100;
inline constexpr std::uint16_t kPidPrivate = 0x1600;
inline constexpr std::uint8_t kStreamIdVideo = 0xE0;
inline constexpr std::uint8_t kStreamIdAudio = 0xC0;
inline constexpr std::uint8_t kStreamIdPrivate = 0xBD;

std::uint32_t MpegCrc32(const std::uint8_t* data, std::size_t size);

struct MuxPids {
    std::uint16_t pmt = kPidPmt;
    std::uint16_t pcr = kPidPcr;
    std::uint16_t video = kPidVideo;
    std::uint16_t audio = kPidAudio;
    std::uint16_t priv = kPidPrivate;
};

class TsMuxer {
public:
    // The sink receives each finished packet and returns the file offset it was written at.
    using Sink = std::function<std::int64_t(std::uint8_t* packet)>;

    TsMuxer(Sink sink, bool audio, bool private_data, MuxPids pids = MuxPids());

    // PAT, PMT (unless tables are left out), SIT and a PCR packet. Returns the offset of the
    // first packet written.
    std::int64_t WriteTables(bool with_pat_pmt, std::int64_t pcr_90k);
    // Returns the offset of the packet that starts the PES.
    std::int64_t WritePes(std::uint16_t pid, std::uint8_t stream_id, const std::uint8_t* data,
                          std::size_t size, std::int64_t pts, std::int64_t dts, bool with_dts);

    // Called with the first packet of the file before it goes to the sink, to place the
    // recording header in its stuffing.
    std::function<void(std::uint8_t* packet)> first_packet_hook;

private:
    std::int64_t Emit(std::uint8_t* packet);
    std::uint8_t NextCc(std::uint16_t pid);
    void BuildSection(std::uint16_t pid, const std::vector<std::uint8_t>& section, std::uint8_t* packet);

    Sink sink_;
    MuxPids pids_;
    bool audio_;
    bool private_data_;
    bool first_ = true;
    std::uint8_t cc_[0x2000] = {};
};

}  // namespace recgen
