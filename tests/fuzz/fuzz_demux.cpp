// Arbitrary bytes as a recording file: the demultiplexer must read it forwards and backwards
// to its end without faults, whatever the packets, tables and PES claim. The bytes live in a
// memory file, opened by its /proc name, so no run touches the disk.

#include "engine/TSChn.h"
#include "platform/base/clock.h"

#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void Drain(CTSChn& chn, int direction, const std::string& path)
{
    chn.VideoQueue().Create(kVideoRingBytes, kVideoMaxPacket, true);
    chn.AudioQueue().Create(kAudioRingBytes, kAudioMaxPacket, true);
    chn.Demux().SetDirection(direction);
    if (!chn.Demux().Play(path))
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
    const int fd = memfd_create("qv_fuzz_demux", 0);
    if (fd < 0)
        return 0;
    if (size == 0 || write(fd, data, size) == static_cast<ssize_t>(size)) {
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        Drain(*chn, 0, path);
        Drain(*chn, 1, path);
    }
    close(fd);
    return 0;
}
