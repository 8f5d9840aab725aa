// Arbitrary bytes as a recording file: the demultiplexer must read it forwards and backwards
// to its end without faults, whatever the packets, tables and PES claim.

#include "engine/TSChn.h"
#include "platform/base/clock.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void Drain(CTSChn& chn, int direction, const std::string& path)
{
    chn.VideoQueue().Create(kVideoRingBytes, kVideoMaxPacket, true);
    chn.AudioQueue().Create(kAudioRingBytes, kAudioMaxPacket, true);
    chn.Demux().SetDirection(direction);
    if (!chn.Demux().Open(path))
        return;
    PacketDesc d;
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (GetTickCount64() < deadline) {
        if (chn.VideoQueue().Pop(d) && d.type == PKT_END_OF_STREAM)
            break;
        while (chn.AudioQueue().Pop(d)) {
        }
    }
    chn.Stop();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CTSChn* chn = new CTSChn(nullptr, nullptr);
    char path[] = "/tmp/qv_fuzz_demux_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return 0;
    const bool written = size == 0 || write(fd, data, size) == static_cast<ssize_t>(size);
    close(fd);
    if (written) {
        Drain(*chn, 0, path);
        Drain(*chn, 1, path);
    }
    unlink(path);
    return 0;
}
