#include "engine/TsParse.h"

#include <cmath>

namespace ts {

bool ParsePacket(const std::uint8_t* p, PacketHeader& h)
{
    if ((p[1] & 0x80) != 0)
        return false;
    h.pusi = (p[1] & 0x40) != 0;
    h.pid = static_cast<std::uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
    h.afc = static_cast<std::uint8_t>((p[3] >> 4) & 3);
    switch (h.afc) {
    case 1:
        h.payloadOffset = 4;
        h.payloadLength = 184;
        return true;
    case 2:
        h.payloadOffset = kPacketSize;
        h.payloadLength = 0;
        return true;
    case 3:
        if (p[4] > 183)
            return false;
        h.payloadOffset = 5 + p[4];
        h.payloadLength = 183 - p[4];
        return true;
    default:
        return false;
    }
}

namespace {

// The section a payload starts, bounded by the payload and by its own section_length
// (CRC excluded). Null when none fits.
const std::uint8_t* Section(const std::uint8_t* payload, int length, bool pusi, std::uint8_t table_id,
                            int& end)
{
    if (!pusi || length < 1)
        return nullptr;
    const int skip = 1 + payload[0];
    if (skip + 12 > length)
        return nullptr;
    const std::uint8_t* s = payload + skip;
    const int avail = length - skip;
    if (s[0] != table_id)
        return nullptr;
    const int sectionLength = ((s[1] & 0x0F) << 8) | s[2];
    end = 3 + sectionLength - 4;
    if (end > avail)
        end = avail;
    return s;
}

}  // namespace

std::uint16_t ParsePat(const std::uint8_t* payload, int length, bool pusi)
{
    int end = 0;
    const std::uint8_t* s = Section(payload, length, pusi, 0x00, end);
    if (s == nullptr)
        return kNoPid;
    for (int off = 8; off + 4 <= end; off += 4) {
        const int programme = (s[off] << 8) | s[off + 1];
        const auto pid = static_cast<std::uint16_t>(((s[off + 2] & 0x1F) << 8) | s[off + 3]);
        if (programme != 0)
            return pid;  // the first programme is the one played
    }
    return kNoPid;
}

bool ParsePmt(const std::uint8_t* payload, int length, bool pusi, StreamPids& out)
{
    int end = 0;
    const std::uint8_t* s = Section(payload, length, pusi, 0x02, end);
    if (s == nullptr)
        return false;
    const int programInfoLength = ((s[10] & 0x0F) << 8) | s[11];
    StreamPids pids;
    for (int off = 12 + programInfoLength; off + 5 <= end;) {
        const std::uint8_t type = s[off];
        const auto pid = static_cast<std::uint16_t>(((s[off + 1] & 0x1F) << 8) | s[off + 2]);
        const int esInfoLength = ((s[off + 3] & 0x0F) << 8) | s[off + 4];
        ++pids.streams;
        if (type == 0x1B && pids.video == kNoPid)
            pids.video = pid;
        else if (type == 0x0F)
            pids.audio = pid;
        else if (type == 0xA0)
            pids.priv = pid;
        off += 5 + esInfoLength;
    }
    if (pids.streams == 0)
        return false;
    out = pids;
    return true;
}

namespace {

std::int64_t ReadTimeStamp(const std::uint8_t* b)
{
    return (static_cast<std::int64_t>((b[0] >> 1) & 7) << 30) | (static_cast<std::int64_t>(b[1]) << 22) |
           (static_cast<std::int64_t>(b[2] >> 1) << 15) | (static_cast<std::int64_t>(b[3]) << 7) | (b[4] >> 1);
}

}  // namespace

bool ParsePes(const std::uint8_t* d, std::size_t length, PesHeader& h)
{
    if (length < 9 || d[0] != 0 || d[1] != 0 || d[2] != 1)
        return false;
    h.streamId = d[3];
    h.packetLength = (d[4] << 8) | d[5];
    h.ptsDtsFlags = d[7] >> 6;
    const std::size_t headerLength = d[8];
    h.payloadOffset = 9 + headerLength;
    if (h.payloadOffset > length)
        return false;
    h.pts = h.dts = 0;
    if (h.ptsDtsFlags >= 2 && headerLength >= 5)
        h.pts = ReadTimeStamp(d + 9);
    else if (h.ptsDtsFlags >= 2)
        h.ptsDtsFlags = 0;  // flags promise a stamp the header has no room for
    if (h.ptsDtsFlags == 3 && headerLength >= 10)
        h.dts = ReadTimeStamp(d + 14);
    else if (h.ptsDtsFlags == 3)
        h.ptsDtsFlags = 2;
    return true;
}

namespace {

// Position of the next 00 00 01 at or after `from` with a NAL header byte after it.
std::size_t NextStartCode(const std::uint8_t* d, std::size_t length, std::size_t from)
{
    for (std::size_t i = from; i + 3 < length; ++i) {
        if (d[i + 2] > 1) {
            i += 2;
            continue;
        }
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1)
            return i;
    }
    return length;
}

}  // namespace

AccessUnitScan ScanAccessUnit(const std::uint8_t* d, std::size_t length)
{
    AccessUnitScan r;
    std::size_t i = NextStartCode(d, length, 0);
    while (i < length) {
        const int nal = d[i + 3] & 0x1F;
        if (nal == 1 || nal == 5 || nal == 7) {
            // A 4-byte start code belongs to the frame as a whole.
            r.bodyStart = (i > 0 && d[i - 1] == 0) ? i - 1 : i;
            if (nal == 1) {
                r.type = kFrameOther;
                return r;
            }
            if (nal == 5) {
                r.type = kFrameKey;
                return r;
            }
            r.sps = true;
            for (std::size_t j = NextStartCode(d, length, i + 3); j < length; j = NextStartCode(d, length, j + 3)) {
                const int t = d[j + 3] & 0x1F;
                if (t == 1) {
                    r.type = kFrameOther;
                    return r;
                }
                if (t == 5) {
                    r.type = kFrameKey;
                    return r;
                }
            }
            return r;
        }
        i = NextStartCode(d, length, i + 3);
    }
    return r;
}

int QuantiseFps(double measured)
{
    if (!(measured > 0.0) || !std::isfinite(measured))
        return 30;
    if (measured < 13.0)
        return measured < 1.0 ? 1 : static_cast<int>(std::lround(measured));
    if (measured < 20.0)
        return 15;
    if (measured < 27.0)
        return 24;
    if (measured < 45.0)
        return 30;
    return 60;
}

}  // namespace ts
