#include "engine/TsFile.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::int64_t kTicksMask = (std::int64_t{1} << 33) - 1;

constexpr std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k)
            c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        table[i] = c;
    }
    return table;
}
constexpr auto kCrcTable = MakeCrcTable();

void PutCrc(std::uint8_t* at, std::uint32_t crc)
{
    at[0] = std::uint8_t(crc >> 24);
    at[1] = std::uint8_t(crc >> 16);
    at[2] = std::uint8_t(crc >> 8);
    at[3] = std::uint8_t(crc);
}

void PacketHeader(std::uint8_t* p, std::uint16_t pid, bool start, int afc, int cc)
{
    p[0] = 0x47;
    p[1] = std::uint8_t((start ? 0x40 : 0) | ((pid >> 8) & 0x1F));
    p[2] = std::uint8_t(pid);
    p[3] = std::uint8_t((afc << 4) | (cc & 0x0F));
}

// The five bytes of a PTS or DTS field with its prefix nibble.
void PutTime(std::uint8_t* p, int prefix, std::int64_t t)
{
    t &= kTicksMask;
    p[0] = std::uint8_t((prefix << 4) | (((t >> 30) & 7) << 1) | 1);
    const unsigned mid = unsigned(((t >> 15) & 0x7FFF) << 1) | 1;
    const unsigned low = unsigned((t & 0x7FFF) << 1) | 1;
    p[1] = std::uint8_t(mid >> 8);
    p[2] = std::uint8_t(mid);
    p[3] = std::uint8_t(low >> 8);
    p[4] = std::uint8_t(low);
}

}  // namespace

CTsFile::CTsFile() : stage_(new std::uint8_t[kStage]) {}

CTsFile::~CTsFile()
{
    Close();
    delete[] stage_;
}

std::uint32_t CTsFile::Crc32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}

void CTsFile::HeaderDate(std::int64_t time, std::uint8_t out[6])
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) {
        std::memset(out, 0, 6);
        return;
    }
    out[0] = std::uint8_t(std::clamp(tm.tm_year, 0, 255));
    out[1] = std::uint8_t(tm.tm_mon);
    out[2] = std::uint8_t(tm.tm_mday);
    out[3] = std::uint8_t(tm.tm_hour);
    out[4] = std::uint8_t(tm.tm_min);
    out[5] = std::uint8_t(std::min(tm.tm_sec, 59));
}

void CTsFile::BuildPat(std::uint8_t out[kPacket], int cc)
{
    std::memset(out, 0xFF, kPacket);
    PacketHeader(out, kPidPat, true, 1, cc);
    static const std::uint8_t section[] = {
        0x00, 0xB0, 0x11, 0x00, 0x00, 0xC1, 0x00, 0x00,
        0x00, 0x00, 0xE0 | (kPidSit >> 8), kPidSit & 0xFF,
        0x00, 0x01, 0xE0 | (kPidPmt >> 8), kPidPmt & 0xFF,
    };
    out[4] = 0;  // pointer_field
    std::memcpy(out + 5, section, sizeof section);
    PutCrc(out + 5 + sizeof section, Crc32(out + 5, sizeof section));
}

void CTsFile::BuildPmt(std::uint8_t out[kPacket], int cc)
{
    std::memset(out, 0xFF, kPacket);
    PacketHeader(out, kPidPmt, true, 1, cc);
    static const std::uint8_t section[] = {
        0x02, 0xB0, 38, 0x00, 0x01, 0xC1, 0x00, 0x00,
        0xE0 | (kPidPcr >> 8), kPidPcr & 0xFF, 0xF0, 0x00,
        0x1B, 0xE0 | (kPidVideo >> 8), kPidVideo & 0xFF, 0xF0, 0x00,
        0x0F, 0xE0 | (kPidAudio >> 8), kPidAudio & 0xFF, 0xF0, 0x00,
        0xA0, 0xE0 | (kPidText >> 8), kPidText & 0xFF, 0xF0, 0x0A,
        0xA0, 0x08, 0x01, 0x9B, 0xFC, 0xC0, 0x67, 0x73, 0x20, 0x00,
    };
    static_assert(sizeof section == 3 + 38 - 4);
    out[4] = 0;
    std::memcpy(out + 5, section, sizeof section);
    PutCrc(out + 5 + sizeof section, Crc32(out + 5, sizeof section));
}

void CTsFile::BuildSit(std::uint8_t out[kPacket], int cc)
{
    std::memset(out, 0xFF, kPacket);
    PacketHeader(out, kPidSit, true, 1, cc);
    static const std::uint8_t bytes[] = {
        0x00, 0x7F, 0xF0, 0x19, 0xFF, 0xFF, 0xC1, 0x00, 0x00, 0xF0, 0x0A, 0x63, 0x08,
        0xC0, 0xAF, 0xC8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x01, 0x80, 0x00,
    };
    std::memcpy(out + 4, bytes, sizeof bytes);
    PutCrc(out + 4 + sizeof bytes, Crc32(out + 5, sizeof bytes - 1));
}

void CTsFile::BuildPcr(std::uint8_t out[kPacket], int cc, std::int64_t pcr27)
{
    std::memset(out, 0xFF, kPacket);
    PacketHeader(out, kPidPcr, false, 2, cc);
    if (pcr27 < 0)
        pcr27 = 0;
    const std::uint64_t base = std::uint64_t(pcr27 / 300) & std::uint64_t(kTicksMask);
    const unsigned ext = unsigned(pcr27 % 300);
    out[4] = 183;
    out[5] = 0x10;
    out[6] = std::uint8_t(base >> 25);
    out[7] = std::uint8_t(base >> 17);
    out[8] = std::uint8_t(base >> 9);
    out[9] = std::uint8_t(base >> 1);
    out[10] = std::uint8_t(((base & 1) << 7) | 0x7E | (ext >> 8));
    out[11] = std::uint8_t(ext);
}

void CTsFile::ResetCounters()
{
    cc_pat_ = cc_pmt_ = cc_sit_ = cc_pcr_ = 0;
    cc_video_ = cc_audio_ = cc_text_ = 0;
    video_frames_ = audio_frames_ = 0;
    dts_ = pts_ = 0;
    header_written_ = false;
    failed_ = false;
    staged_ = 0;
}

bool CTsFile::Open(const std::string& path)
{
    if (file_)
        Close();
    ResetCounters();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        return false;
    // Packets are staged here and leave in one write per call, so failures show at once.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    if (!WriteTables(false, 0) || !Flush()) {
        Close();
        return false;
    }
    return true;
}

bool CTsFile::Close()
{
    if (!file_)
        return true;
    bool ok = Flush() && !failed_;
    if (header_written_) {
        std::uint8_t date[6];
        HeaderDate(time_, date);
        ok = WriteAt(66, date, 6) && ok;
    }
    if (std::fclose(file_) != 0)
        ok = false;
    file_ = nullptr;
    header_written_ = false;
    return ok;
}

bool CTsFile::Put(const void* data, std::size_t size)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        if (staged_ == kStage && !Flush())
            return false;
        const std::size_t n = std::min(size, kStage - staged_);
        std::memcpy(stage_ + staged_, p, n);
        staged_ += n;
        p += n;
        size -= n;
    }
    return true;
}

bool CTsFile::Flush()
{
    if (!file_)
        return false;
    const std::size_t n = staged_;
    staged_ = 0;
    if (n > 0 && std::fwrite(stage_, 1, n, file_) != n) {
        failed_ = true;
        return false;
    }
    return !failed_;
}

bool CTsFile::WriteAt(long offset, const std::uint8_t* data, std::size_t size)
{
    if (std::fseek(file_, offset, SEEK_SET) != 0)
        return false;
    const bool ok = std::fwrite(data, 1, size, file_) == size;
    return std::fseek(file_, 0, SEEK_END) == 0 && ok;
}

bool CTsFile::WriteTables(bool with_pcr, std::int64_t pcr27)
{
    std::uint8_t tables[4 * kPacket];
    BuildPat(tables, cc_pat_);
    cc_pat_ = (cc_pat_ + 1) & 15;
    BuildPmt(tables + kPacket, cc_pmt_);
    cc_pmt_ = (cc_pmt_ + 1) & 15;
    BuildSit(tables + 2 * kPacket, cc_sit_);
    cc_sit_ = (cc_sit_ + 1) & 15;
    if (!with_pcr)
        return Put(tables, 3 * kPacket);
    BuildPcr(tables + 3 * kPacket, cc_pcr_, pcr27);
    return Put(tables, sizeof tables);
}

bool CTsFile::Packetise(std::uint16_t pid, int* cc, const std::uint8_t* head, std::size_t head_size,
                        const std::uint8_t* data, std::size_t size)
{
    std::size_t left = head_size + size;
    std::size_t done = 0;  // bytes of head + data already out
    bool first = true;
    while (left > 0) {
        std::uint8_t pkt[kPacket];
        const std::size_t take = std::min<std::size_t>(left, 184);
        const std::size_t stuffing = 184 - take;
        PacketHeader(pkt, pid, first, stuffing ? 3 : 1, *cc);
        *cc = (*cc + 1) & 15;
        std::size_t at = 4;
        if (stuffing) {
            // Adaptation field of `stuffing` bytes: its length byte, then flags and 0xFF.
            pkt[at++] = std::uint8_t(stuffing - 1);
            if (stuffing > 1) {
                pkt[at++] = 0x00;
                std::memset(pkt + at, 0xFF, stuffing - 2);
                at += stuffing - 2;
            }
        }
        for (std::size_t i = 0; i < take; ++i, ++done)
            pkt[at++] = done < head_size ? head[done] : data[done - head_size];
        if (!Put(pkt, kPacket))
            return false;
        left -= take;
        first = false;
    }
    return true;
}

bool CTsFile::WritePes(std::uint16_t pid, std::uint8_t stream_id, const std::uint8_t* data,
                       std::size_t size, std::int64_t pts, std::int64_t dts, int* cc)
{
    std::uint8_t head[19];
    // Audio keeps the recorder's 10-byte header room, filled with stuffing instead of a DTS.
    const std::size_t header_data = stream_id == 0xBD ? 5 : 10;
    const std::size_t head_size = 9 + header_data;
    head[0] = 0;
    head[1] = 0;
    head[2] = 1;
    head[3] = stream_id;
    // PES_packet_length counts what follows it: the two flag bytes, the header-length byte, the
    // header data and the payload (8 + payload for the 5-byte text header, 13 + payload otherwise).
    const std::size_t length = 3 + header_data + size;
    const std::size_t field = (stream_id == 0xE0 || length > 0xFFFF) ? 0 : length;
    head[4] = std::uint8_t(field >> 8);
    head[5] = std::uint8_t(field);
    head[6] = 0x85;
    head[7] = dts >= 0 ? 0xC0 : 0x80;
    head[8] = std::uint8_t(header_data);
    // A PTS without a DTS takes the prefix 0010, as ISO/IEC 13818-1 requires; 0011 would announce
    // a DTS that never comes, which stream checkers report.
    PutTime(head + 9, dts >= 0 ? 3 : 2, pts);
    if (dts >= 0)
        PutTime(head + 14, 1, dts);
    else if (header_data == 10)
        std::memset(head + 14, 0xFF, 5);
    return Packetise(pid, cc, head, head_size, data, size);
}

bool CTsFile::WriteVideo(const void* data, std::size_t size, int fps)
{
    if (!file_ || failed_ || (!data && size) || size > kMaxFrame)
        return false;
    const std::int64_t interval = fps > 0 ? 90000 / fps : 90000;
    dts_ += interval;
    pts_ += interval;
    ++video_frames_;
    if (!WriteTables(true, (dts_ - interval) * 300) ||
        !WritePes(kPidVideo, 0xE0, static_cast<const std::uint8_t*>(data), size, pts_, dts_,
                  &cc_video_) ||
        !Flush())
        return false;
    if (!header_written_) {
        std::uint8_t date[6];
        HeaderDate(time_, date);
        const std::uint8_t rate = (fps > 0 && fps < 255) ? std::uint8_t(fps) : 0xFF;
        if (!WriteAt(82, &rate, 1) || !WriteAt(50, date, 6) || !WriteAt(66, date, 6)) {
            failed_ = true;
            return false;
        }
        header_written_ = true;
    }
    return true;
}

bool CTsFile::WriteAudio(const void* data, std::size_t size, int rate)
{
    if (rate == 0 || !file_ || failed_ || (!data && size) || size > kMaxFrame)
        return false;
    ++audio_frames_;
    return WritePes(kPidAudio, 0xC0, static_cast<const std::uint8_t*>(data), size, pts_, -1,
                    &cc_audio_) &&
           Flush();
}

bool CTsFile::WriteText(const char* text, std::size_t length)
{
    if (!file_ || failed_ || (!text && length))
        return false;
    // The PES length field must hold the whole text.
    if (length > 0xFFFF - 8)
        return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    if (length <= std::size_t(kTextSlot)) {
        std::uint8_t slot[kTextSlot];
        std::memset(slot, ' ', sizeof slot);
        if (length)
            std::memcpy(slot, bytes, length);
        return WritePes(kPidText, 0xBD, slot, sizeof slot, 0, -1, &cc_text_) && Flush();
    }
    return WritePes(kPidText, 0xBD, bytes, length, 0, -1, &cc_text_) && Flush();
}
