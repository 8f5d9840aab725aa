#pragma once
// Writer of exported clips as MPEG transport streams, laid out like the recorder's own files so
// that the demultiplexer and the recording list read them back:
//
//   PID 0x0000 PAT, 0x0100 PMT (programme 1, PCR on 0x1001), 0x001F selection information,
//   0x1001 PCR-only packets, 0x1011 H.264 (0x1B), 0x1100 AAC ADTS (0x0F), 0x1600 text (0xA0).
//
// The tables go before every video frame. The first packet of a file is always the PAT; its
// stuffing carries the recording header: start date at byte 50, end date at 66 (six bytes of
// local time: years since 1900, month 0..11, day, hour, minute, second), frame rate at 82.
// Byte 64 (the recorder's event code) stays 0xFF.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

class CTsFile {
public:
    static constexpr int kPacket = 188;
    static constexpr std::uint16_t kPidPat = 0x0000;
    static constexpr std::uint16_t kPidPmt = 0x0100;
    static constexpr std::uint16_t kPidSit = 0x001F;
    static constexpr std::uint16_t kPidPcr = 0x1001;
    static constexpr std::uint16_t kPidVideo = 0x1011;
    static constexpr std::uint16_t kPidAudio = 0x1100;
    static constexpr std::uint16_t kPidText = 0x1600;
    // A text up to this long goes out as one packet, padded with spaces.
    static constexpr int kTextSlot = 170;
    // Larger frames are refused: the export's queue never carries them, and the PES length
    // arithmetic stays far from overflow.
    static constexpr std::size_t kMaxFrame = 16u << 20;

    CTsFile();
    virtual ~CTsFile();
    CTsFile(const CTsFile&) = delete;
    CTsFile& operator=(const CTsFile&) = delete;

    // Creates (truncates) the file and writes the first tables, so the header packet comes
    // first whatever is written next. Counters and time stamps start again from 0.
    virtual bool Open(const std::string& path);
    virtual bool WriteVideo(const void* data, std::size_t size, int fps);
    // One PES of ADTS frames at the current video time; false when rate is 0.
    virtual bool WriteAudio(const void* data, std::size_t size, int rate);
    // Writes the end date and closes; false when anything buffered could not be written.
    virtual bool Close();

    // Private text: up to 170 bytes as one space-padded packet, longer texts as a PES over
    // several packets. False when the text cannot be written.
    bool WriteText(const char* text, std::size_t length);

    bool IsOpen() const { return file_ != nullptr; }
    // The clip's time in calendar seconds, for the header dates.
    void SetTime(std::int64_t time) { time_ = time; }

    std::int64_t VideoFrames() const { return video_frames_; }
    std::int64_t AudioFrames() const { return audio_frames_; }
    std::int64_t Pts() const { return pts_; }

    // MPEG-2 CRC (polynomial 0x04C11DB7, initial all ones, no final inversion).
    static std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);
    // The local date of a time as the header's six bytes.
    static void HeaderDate(std::int64_t time, std::uint8_t out[6]);

    // Table packets, 188 bytes each. The continuity counter is the caller's.
    static void BuildPat(std::uint8_t out[kPacket], int cc);
    static void BuildPmt(std::uint8_t out[kPacket], int cc);
    static void BuildSit(std::uint8_t out[kPacket], int cc);
    // PCR in 27 MHz units; a packet without payload, so its counter does not advance.
    static void BuildPcr(std::uint8_t out[kPacket], int cc, std::int64_t pcr27);

private:
    bool WriteTables(bool with_pcr, std::int64_t pcr27);
    // One PES; pts and dts in 90 kHz ticks; dts < 0 = none.
    bool WritePes(std::uint16_t pid, std::uint8_t stream_id, const std::uint8_t* data,
                  std::size_t size, std::int64_t pts, std::int64_t dts, int* cc);
    // Cuts header + payload into packets of the PID, stuffing the last one.
    bool Packetise(std::uint16_t pid, int* cc, const std::uint8_t* head, std::size_t head_size,
                   const std::uint8_t* data, std::size_t size);
    bool Put(const void* data, std::size_t size);
    bool Flush();
    bool WriteAt(long offset, const std::uint8_t* data, std::size_t size);
    void ResetCounters();

    std::FILE* file_ = nullptr;
    bool failed_ = false;        // a write failed since Open
    bool header_written_ = false;

    int cc_pat_ = 0, cc_pmt_ = 0, cc_sit_ = 0, cc_pcr_ = 0;
    int cc_video_ = 0, cc_audio_ = 0, cc_text_ = 0;
    std::int64_t video_frames_ = 0;
    std::int64_t audio_frames_ = 0;
    std::int64_t dts_ = 0;
    std::int64_t pts_ = 0;
    std::int64_t time_ = 0;

    // Packets collect here and go to the file when it fills and at the end of each call.
    static constexpr std::size_t kStage = kPacket * 348;
    std::uint8_t* stage_ = nullptr;
    std::size_t staged_ = 0;
};
