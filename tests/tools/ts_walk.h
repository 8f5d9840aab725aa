#pragma once
// A small transport-stream reader for the generator's tests, written apart from the generator:
// it finds packets (two sync bytes 188 apart), collects PES per PID and decodes PAT and PMT.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tstest {

struct Pes {
    std::uint16_t pid = 0;
    std::int64_t offset = 0;     // file offset of the packet that starts it
    std::uint8_t stream_id = 0;
    int pts_dts_flags = 0;
    std::int64_t pts = -1, dts = -1;
    int declared_length = 0;     // PES_packet_length
    std::vector<std::uint8_t> payload;
};

struct Walk {
    std::vector<std::int64_t> packet_offsets;
    std::vector<std::uint16_t> packet_pids;
    std::int64_t skipped_bytes = 0;             // bytes outside packets
    std::vector<std::int64_t> skipped_runs;     // offsets where such bytes begin
    int cc_errors = 0;
    int crc_errors = 0;
    std::vector<std::pair<int, int>> pat;       // programme number, PID
    std::map<int, int> pmt_types;               // PID -> stream_type
    int pcr_pid = -1;
    std::vector<Pes> pes;                       // in the order they start
};

// Bitwise MPEG-2 CRC (no table), as a check on the generator's table-driven one.
inline std::uint32_t Crc32Bitwise(const std::uint8_t* p, std::size_t n)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        for (int b = 7; b >= 0; --b) {
            const bool bit = ((crc >> 31) & 1) ^ ((p[i] >> b) & 1);
            crc <<= 1;
            if (bit)
                crc ^= 0x04C11DB7u;
        }
    }
    return crc;
}

inline std::int64_t ReadTimestamp(const std::uint8_t* p)
{
    return (static_cast<std::int64_t>((p[0] >> 1) & 7) << 30) | (static_cast<std::int64_t>(p[1]) << 22) |
           (static_cast<std::int64_t>(p[2] >> 1) << 15) | (static_cast<std::int64_t>(p[3]) << 7) | (p[4] >> 1);
}

inline Walk WalkStream(const std::string& bytes)
{
    Walk w;
    const auto* d = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::int64_t n = static_cast<std::int64_t>(bytes.size());
    std::map<int, int> last_cc;
    std::map<int, Pes> open;
    auto finish = [&](int pid) {
        auto it = open.find(pid);
        if (it == open.end())
            return;
        Pes& p = it->second;
        // Header fields come from the collected bytes, kept in `payload` until now.
        std::vector<std::uint8_t> all = std::move(p.payload);
        p.payload.clear();
        if (all.size() >= 9 && all[0] == 0 && all[1] == 0 && all[2] == 1) {
            p.stream_id = all[3];
            p.declared_length = (all[4] << 8) | all[5];
            p.pts_dts_flags = all[7] >> 6;
            const std::size_t start = 9u + all[8];
            if (p.pts_dts_flags >= 2 && all.size() >= 14)
                p.pts = ReadTimestamp(&all[9]);
            if (p.pts_dts_flags == 3 && all.size() >= 19)
                p.dts = ReadTimestamp(&all[14]);
            if (start <= all.size())
                p.payload.assign(all.begin() + static_cast<std::ptrdiff_t>(start), all.end());
            w.pes.push_back(std::move(p));
        }
        open.erase(it);
    };

    std::int64_t i = 0, expect_at = -1;
    bool in_gap = false;
    while (i + 188 <= n) {
        // In step with the previous packet, or two sync bytes 188 apart (the stream's last
        // packet needs no successor).
        const bool sync = d[i] == 0x47 &&
                          (i == expect_at || i + 188 == n || (i + 188 < n && d[i + 188] == 0x47));
        if (!sync) {
            if (!in_gap)
                w.skipped_runs.push_back(i);
            in_gap = true;
            ++w.skipped_bytes;
            ++i;
            continue;
        }
        in_gap = false;
        expect_at = i + 188;
        const std::uint8_t* p = d + i;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        const bool pusi = p[1] & 0x40;
        const int afc = (p[3] >> 4) & 3;
        const int cc = p[3] & 0x0F;
        w.packet_offsets.push_back(i);
        w.packet_pids.push_back(static_cast<std::uint16_t>(pid));
        if (afc & 1) {
            auto it = last_cc.find(pid);
            if (it != last_cc.end() && ((it->second + 1) & 0x0F) != cc)
                ++w.cc_errors;
            last_cc[pid] = cc;
        } else if (last_cc.count(pid) && last_cc[pid] != cc) {
            ++w.cc_errors;
        }
        int pos = 4;
        if (afc & 2)
            pos = 5 + p[4];
        if (!(afc & 1) || pos > 188) {
            i += 188;
            continue;
        }
        const std::uint8_t* pl = p + pos;
        const int len = 188 - pos;
        if (pid == 0 || (pid == 0x1F) || (!w.pat.empty() && pid == w.pat.back().second)) {
            if (pusi && len > 1 + pl[0] + 3) {
                const std::uint8_t* s = pl + 1 + pl[0];
                const int sec_len = ((s[1] & 0x0F) << 8) | s[2];
                if (3 + sec_len <= len - 1 - pl[0]) {
                    const std::uint32_t crc = (static_cast<std::uint32_t>(s[sec_len - 1]) << 24) |
                                              (s[sec_len] << 16) | (s[sec_len + 1] << 8) | s[sec_len + 2];
                    if (Crc32Bitwise(s, static_cast<std::size_t>(sec_len - 1)) != crc)
                        ++w.crc_errors;
                    if (s[0] == 0x00 && w.pat.empty()) {
                        for (int e = 8; e + 4 <= 3 + sec_len - 4; e += 4)
                            w.pat.emplace_back((s[e] << 8) | s[e + 1], ((s[e + 2] & 0x1F) << 8) | s[e + 3]);
                    } else if (s[0] == 0x02 && w.pmt_types.empty()) {
                        w.pcr_pid = ((s[8] & 0x1F) << 8) | s[9];
                        int e = 12 + (((s[10] & 0x0F) << 8) | s[11]);
                        while (e + 5 <= 3 + sec_len - 4) {
                            w.pmt_types[((s[e + 1] & 0x1F) << 8) | s[e + 2]] = s[e];
                            e += 5 + (((s[e + 3] & 0x0F) << 8) | s[e + 4]);
                        }
                    }
                }
            }
        } else {
            if (pusi) {
                finish(pid);
                open[pid].pid = static_cast<std::uint16_t>(pid);
                open[pid].offset = i;
            }
            auto it = open.find(pid);
            if (it != open.end())
                it->second.payload.insert(it->second.payload.end(), pl, pl + len);
        }
        i += 188;
    }
    if (i < n) {
        w.skipped_runs.push_back(i);
        w.skipped_bytes += n - i;
    }
    std::vector<int> pids;
    for (auto& [pid, pes] : open)
        pids.push_back(pid);
    for (int pid : pids)
        finish(pid);
    // A PES is complete only when the next one of its PID starts; list them by where they start.
    std::stable_sort(w.pes.begin(), w.pes.end(), [](const Pes& a, const Pes& b) { return a.offset < b.offset; });
    return w;
}

}  // namespace tstest
