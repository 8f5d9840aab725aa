#include "demux_helpers.h"

#include "platform/base/clock.h"

#include <gtest/gtest.h>

#include <cstring>

DemuxRig::DemuxRig() = default;

DemuxRig::~DemuxRig()
{
    chn.Stop();
}

bool DemuxRig::Start(const std::vector<std::string>& files, int direction)
{
    if (!chn.VideoQueue().Create(kVideoRingBytes, kVideoMaxPacket, true) ||
        !chn.AudioQueue().Create(kAudioRingBytes, kAudioMaxPacket, true))
        return false;
    if (files.size() > 1)
        chn.Demux().SetFileList(files);
    chn.Demux().SetDirection(direction);
    return chn.Demux().Play(files.front());
}

std::vector<Popped> DemuxRig::PopUntilEnd(int timeout_ms, std::size_t max)
{
    std::vector<Popped> out;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    PacketDesc d;
    while (GetTickCount64() < deadline && out.size() < max) {
        if (!chn.VideoQueue().Pop(d))
            continue;
        Popped p;
        p.type = d.type;
        p.pts = d.pts;
        p.rate = d.rate;
        p.time = d.time;
        p.position = d.position;
        p.direction = d.direction;
        if (d.type == PKT_CAR_INFO)
            std::memcpy(&p.record, d.data, sizeof p.record);
        else if (d.size > 0)
            p.body.assign(d.data, d.data + d.size);
        out.push_back(std::move(p));
        if (d.type == PKT_END_OF_STREAM)
            break;
    }
    return out;
}

std::vector<Popped> DemuxRig::PopAudio()
{
    std::vector<Popped> out;
    PacketDesc d;
    for (int empty = 0; empty < 3;) {
        if (!chn.AudioQueue().Pop(d)) {
            ++empty;
            continue;
        }
        Popped p;
        p.type = d.type;
        p.pts = d.pts;
        p.body.assign(d.data, d.data + d.size);
        out.push_back(std::move(p));
    }
    return out;
}

std::vector<Popped> Pictures(const std::vector<Popped>& v)
{
    std::vector<Popped> out;
    for (const Popped& p : v)
        if (p.type == PKT_KEY_FRAME || p.type == PKT_FRAME)
            out.push_back(p);
    return out;
}

recgen::RecordingInfo Generate(const recgen::RecordingSpec& recipe, const std::string& path)
{
    recgen::RecordingInfo info;
    EXPECT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;
    return info;
}
