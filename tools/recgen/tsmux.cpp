#include "tools/recgen/tsmux.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace recgen {

namespace {

std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i << 24;
        for (int b = 0; b < 8; ++b)
            c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        table[i] = c;
    }
    return table;
}

void PutTimestamp(std::uint8_t* p, std::uint8_t prefix, std::int64_t t)
{
    const std::uint64_t v = static_cast<std::uint64_t>(t) & ((1ull << 33) - 1);
    p[0] = static_cast<std::uint8_t>((prefix << 4) | (((v >> 30) & 7) << 1) | 1);
    const std::uint32_t mid = static_cast<std::uint32_t>(((v >> 15) & 0x7FFF) << 1 | 1);
    const std::uint32_t low = static_cast<std::uint32_t>((v & 0x7FFF) << 1 | 1);
    p[1] = static_cast<std::uint8_t>(mid >> 8);
    p[2] = static_cast<std::uint8_t>(mid);
    p[3] = static_cast<std::uint8_t>(low >> 8);
    p[4] = static_cast<std::uint8_t>(low);
}

// Selection information section up to its service loop (one partial transport stream
// descriptor, service 1), as the recorder writes it; pointer_field first.
constexpr std::uint8_t kSit[25] = {0x00, 0x7F, 0xF0, 0x19, 0xFF, 0xFF, 0xC1, 0x00, 0x00,
                                   0xF0, 0x0A, 0x63, 0x08, 0xC0, 0xAF, 0xC8, 0xFF, 0xFF,
                                   0xFF, 0xFF, 0xFF, 0x00, 0x01, 0x80, 0x00};

// Descriptor bytes the recorder attaches to its private stream.
constexpr std::uint8_t kPrivateDescriptor[10] = {0xA0, 0x08, 0x01, 0x9B, 0xFC,
                                                 0xC0, 0x67, 0x73, 0x20, 0x00};

}  // namespace

std::uint32_t MpegCrc32(const std::uint8_t* data, std::size_t size)
{
    static const auto table = MakeCrcTable();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}

TsMuxer::TsMuxer(Sink sink, bool audio, bool private_data, MuxPids pids)
    : sink_(std::move(sink)), pids_(pids), audio_(audio), private_data_(private_data)
{
}

std::uint8_t TsMuxer::NextCc(std::uint16_t pid)
{
    const std::uint8_t cc = cc_[pid];
    cc_[pid] = (cc + 1) & 0x0F;
    return cc;
}

std::int64_t TsMuxer::Emit(std::uint8_t* packet)
{
    if (first_) {
        first_ = false;
        if (first_packet_hook)
            first_packet_hook(packet);
    }
    return sink_(packet);
}

void TsMuxer::BuildSection(std::uint16_t pid, const std::vector<std::uint8_t>& section,
                           std::uint8_t* p)
{
    std::memset(p, 0xFF, kTsPacket);
    p[0] = 0x47;
    p[1] = static_cast<std::uint8_t>(0x40 | (pid >> 8));
    p[2] = static_cast<std::uint8_t>(pid);
    p[3] = static_cast<std::uint8_t>(0x10 | NextCc(pid));
    p[4] = 0x00;  // pointer_field
    std::memcpy(p + 5, section.data(), section.size());
    const std::uint32_t crc = MpegCrc32(section.data(), section.size());
    std::uint8_t* c = p + 5 + section.size();
    c[0] = static_cast<std::uint8_t>(crc >> 24);
    c[1] = static_cast<std::uint8_t>(crc >> 16);
    c[2] = static_cast<std::uint8_t>(crc >> 8);
    c[3] = static_cast<std::uint8_t>(crc);
}

std::int64_t TsMuxer::WriteTables(bool with_pat_pmt, std::int64_t pcr_90k)
{
    std::uint8_t p[kTsPacket];
    std::int64_t first = -1;
    auto emit = [&] {
        const std::int64_t at = Emit(p);
        if (first < 0)
            first = at;
    };

    if (with_pat_pmt) {
        // section_length counts from after its own field up to and including the CRC.
        std::vector<std::uint8_t> pat = {0x00, 0xB0, 0x00, 0x00, 0x00, 0xC1, 0x00, 0x00,
                                         0x00, 0x00, 0xE0 | (kPidSit >> 8), kPidSit & 0xFF,
                                         0x00, 0x01, static_cast<std::uint8_t>(0xE0 | (pids_.pmt >> 8)),
                                         static_cast<std::uint8_t>(pids_.pmt & 0xFF)};
        pat[2] = static_cast<std::uint8_t>(pat.size() - 3 + 4);
        BuildSection(kPidPat, pat, p);
        emit();

        std::vector<std::uint8_t> pmt = {0x02, 0xB0, 0x00, 0x00, 0x01, 0xC1, 0x00, 0x00,
                                         static_cast<std::uint8_t>(0xE0 | (pids_.pcr >> 8)),
                                         static_cast<std::uint8_t>(pids_.pcr & 0xFF), 0xF0, 0x00};
        auto entry = [&](std::uint8_t type, std::uint16_t pid, const std::uint8_t* desc,
                         std::size_t desc_len) {
            pmt.push_back(type);
            pmt.push_back(static_cast<std::uint8_t>(0xE0 | (pid >> 8)));
            pmt.push_back(static_cast<std::uint8_t>(pid));
            pmt.push_back(static_cast<std::uint8_t>(0xF0 | (desc_len >> 8)));
            pmt.push_back(static_cast<std::uint8_t>(desc_len));
            pmt.insert(pmt.end(), desc, desc + desc_len);
        };
        entry(0x1B, pids_.video, nullptr, 0);
        if (audio_)
            entry(0x0F, pids_.audio, nullptr, 0);
        if (private_data_)
            entry(0xA0, pids_.priv, kPrivateDescriptor, sizeof kPrivateDescriptor);
        pmt[2] = static_cast<std::uint8_t>(pmt.size() - 3 + 4);
        BuildSection(pids_.pmt, pmt, p);
        emit();
    }

    std::memset(p, 0xFF, kTsPacket);
    p[0] = 0x47;
    p[1] = 0x40 | (kPidSit >> 8);
    p[2] = kPidSit & 0xFF;
    p[3] = static_cast<std::uint8_t>(0x10 | NextCc(kPidSit));
    std::memcpy(p + 4, kSit, sizeof kSit);
    const std::uint32_t crc = MpegCrc32(kSit + 1, sizeof kSit - 1);
    p[4 + sizeof kSit] = static_cast<std::uint8_t>(crc >> 24);
    p[5 + sizeof kSit] = static_cast<std::uint8_t>(crc >> 16);
    p[6 + sizeof kSit] = static_cast<std::uint8_t>(crc >> 8);
    p[7 + sizeof kSit] = static_cast<std::uint8_t>(crc);
    emit();

    // A packet without payload repeats its PID's continuity counter.
    std::memset(p, 0xFF, kTsPacket);
    p[0] = 0x47;
    p[1] = static_cast<std::uint8_t>(pids_.pcr >> 8);
    p[2] = static_cast<std::uint8_t>(pids_.pcr & 0xFF);
    p[3] = static_cast<std::uint8_t>(0x20 | cc_[pids_.pcr]);
    p[4] = 183;
    p[5] = 0x10;
    const std::uint64_t base = static_cast<std::uint64_t>(std::max<std::int64_t>(pcr_90k, 0)) &
                               ((1ull << 33) - 1);
    p[6] = static_cast<std::uint8_t>(base >> 25);
    p[7] = static_cast<std::uint8_t>(base >> 17);
    p[8] = static_cast<std::uint8_t>(base >> 9);
    p[9] = static_cast<std::uint8_t>(base >> 1);
    p[10] = static_cast<std::uint8_t>(((base & 1) << 7) | 0x7E);  // extension 0
    p[11] = 0x00;
    emit();
    return first;
}

std::int64_t TsMuxer::WritePes(std::uint16_t pid, std::uint8_t stream_id, const std::uint8_t* data,
                               std::size_t size, std::int64_t pts, std::int64_t dts, bool with_dts)
{
    std::uint8_t head[19];
    const int header_data = with_dts ? 10 : 5;
    head[0] = 0x00;
    head[1] = 0x00;
    head[2] = 0x01;
    head[3] = stream_id;
    std::size_t pes_len = 3 + header_data + size;
    if (stream_id == kStreamIdVideo || pes_len > 0xFFFF)
        pes_len = 0;
    head[4] = static_cast<std::uint8_t>(pes_len >> 8);
    head[5] = static_cast<std::uint8_t>(pes_len);
    head[6] = 0x85;
    head[7] = with_dts ? 0xC0 : 0x80;
    head[8] = static_cast<std::uint8_t>(header_data);
    PutTimestamp(head + 9, with_dts ? 3 : 2, pts);
    if (with_dts)
        PutTimestamp(head + 14, 1, dts);
    const std::size_t head_size = 9 + header_data;

    std::size_t total = head_size + size;
    std::size_t done = 0;  // bytes of head+data already placed
    std::int64_t first_offset = -1;
    std::uint8_t p[kTsPacket];
    while (done < total) {
        const std::size_t left = total - done;
        p[0] = 0x47;
        p[1] = static_cast<std::uint8_t>((done == 0 ? 0x40 : 0x00) | (pid >> 8));
        p[2] = static_cast<std::uint8_t>(pid);
        std::size_t pos = 4;
        if (left >= 184) {
            p[3] = static_cast<std::uint8_t>(0x10 | NextCc(pid));
        } else {
            p[3] = static_cast<std::uint8_t>(0x30 | NextCc(pid));
            const std::size_t af_len = 183 - left;
            p[4] = static_cast<std::uint8_t>(af_len);
            pos = 5;
            if (af_len > 0) {
                p[5] = 0x00;
                std::memset(p + 6, 0xFF, af_len - 1);
                pos = 5 + af_len;
            }
        }
        while (pos < kTsPacket) {
            const std::size_t n = std::min<std::size_t>(kTsPacket - pos,
                                                        done < head_size ? head_size - done : total - done);
            if (done < head_size)
                std::memcpy(p + pos, head + done, n);
            else
                std::memcpy(p + pos, data + (done - head_size), n);
            pos += n;
            done += n;
        }
        const std::int64_t at = Emit(p);
        if (first_offset < 0)
            first_offset = at;
    }
    return first_offset;
}

}  // namespace recgen
