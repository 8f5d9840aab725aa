#include "engine/Jtv.h"

#include "engine/H264Decoder.h"
#include "engine/JtvCtrl.h"
#include "engine/Snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

CJtvCtrl* E(HJTV h)
{
    return reinterpret_cast<CJtvCtrl*>(h);
}

bool ValidChannel(int channel)
{
    return channel >= 0 && channel < kJtvChannels;
}

std::string Trim(std::string_view s)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    return std::string(s);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lifecycle and opening

HJTV JtvCreate()
{
    RegisterCodecs();
    try {
        return reinterpret_cast<HJTV>(new CJtvCtrl);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void JtvDestroy(HJTV h)
{
    if (h == nullptr)
        return;
    E(h)->Stop();
    delete E(h);
}

void JtvStop(HJTV h)
{
    if (h != nullptr)
        E(h)->Stop();
}

int JtvOpenFile(HJTV h, std::string_view name)
{
    if (h == nullptr)
        return 0;
    CJtvCtrl* e = E(h);
    e->Stop();
    e->m_sourceBox.ClearLists();
    e->m_fileName = Trim(name);
    return e->ParseSource();
}

bool JtvOpenFileSet(HJTV h, std::string_view output, WORD, int n, int range_start, int range_end)
{
    if (h == nullptr)
        return false;
    return E(h)->OpenFileSet(std::string(output), n, range_start, range_end);
}

bool JtvStartBackup(HJTV h, std::string_view output, const void* index_blocks, int count)
{
    if (h == nullptr)
        return false;
    auto& r = E(h)->m_openRequest;
    r = {};
    r.output.assign(output);
    r.indexBlocks = index_blocks;
    r.blockCount = count;
    return false;
}

bool JtvOpenSourceBox(HJTV h, int, int, int)
{
    return h != nullptr && E(h)->OpenSourceBox();
}

void JtvSelectFile(HJTV h, int n)
{
    if (h == nullptr)
        return;
    CJtvCtrl* e = E(h);
    std::string name;
    if (!e->m_sourceBox.SelectFile(n, &name))
        return;
    e->m_fileName = name;
    e->m_fileIndex.store(n, kRelaxed);
    e->m_prevFileIndex.store(n, kRelaxed);
    e->ParseSource();
}

std::string JtvGetCurrentFileName(HJTV h)
{
    return h == nullptr ? std::string() : E(h)->m_fileName;
}

int JtvGetFileIndex(HJTV h)
{
    return h == nullptr ? -1 : E(h)->m_fileIndex.load(kRelaxed);
}

// ---------------------------------------------------------------------------------------------
// Play control

void JtvSetPlaySpeed(HJTV h, double speed)
{
    if (h == nullptr)
        return;
    CJtvCtrl* e = E(h);
    e->m_channel.Demux().SetDirection(speed < 0 ? 1 : 0);
    const int whole = static_cast<int>(speed);
    e->m_channel.SetStep(std::fabs(speed) == 1.1 ? 11 * whole : whole);
    e->m_playSpeed.store(speed, kRelaxed);
}

void JtvSetPlayMode(HJTV h, int mode)
{
    if (h == nullptr)
        return;
    CJtvCtrl* e = E(h);
    e->m_playMode.store(mode, kRelaxed);
    e->m_channel.SetPlayMode(mode);
    e->m_sourceBox.SetPlayByte(1);
}

void JtvSeekToTime(HJTV h, int time, BYTE nearest)
{
    if (h == nullptr)
        return;
    CJtvCtrl* e = E(h);
    if (nearest == 1)
        e->m_channel.SeekToTimeNearest(time);
    else
        e->m_channel.SeekToTime(time);
    e->m_sourceBox.SetSeekFlag(true);
}

int JtvSeekCurrent(HJTV h)
{
    if (h == nullptr)
        return 0;
    JtvSetPlayMode(h, 0);
    E(h)->m_channel.SetStep(-1);
    const int time = JtvGetPlayTime(h, 0) + 1;
    JtvSeekToTime(h, time, 0);
    return time;
}

int JtvGetPlayTime(HJTV h, int channel)
{
    if (h == nullptr || !ValidChannel(channel))
        return 0;
    const LONG engine_time = E(h)->m_enginePlayTime.load(kRelaxed);
    return engine_time != 0 ? engine_time : E(h)->m_channelPlayTime[channel].load(kRelaxed);
}

void JtvSetVolume(HJTV h, LONG volume, int channel)
{
    if (h == nullptr || !ValidChannel(channel))
        return;
    E(h)->m_volume[channel].store(volume, kRelaxed);
    E(h)->m_channel.AudioCtx().SetVolume(volume);
}

void JtvZoom(HJTV h, int channel, int x, int y, int step)
{
    if (h == nullptr || !ValidChannel(channel))
        return;
    auto& z = E(h)->m_zoomRequest;
    z[0].store(x, kRelaxed);
    z[1].store(y, kRelaxed);
    z[2].store(step, kRelaxed);
    z[3].store(1, kRelaxed);
}

void JtvSetCrop(HJTV h, int channel, LONG left, LONG top, LONG right, LONG bottom)
{
    if (h == nullptr || !ValidChannel(channel))
        return;
    auto& c = E(h)->m_crop[channel];
    c[0].store(left, kRelaxed);
    c[1].store(top, kRelaxed);
    c[2].store(right, kRelaxed);
    c[3].store(bottom, kRelaxed);
}

void JtvResetVideo(HJTV h)
{
    if (h == nullptr)
        return;
    for (CVideoCtx* v : E(h)->m_videoCtx)
        if (v != nullptr)
            v->RequestReset(0, 0);
}

void JtvSetVideoFlag(HJTV h, BYTE flag)
{
    if (h == nullptr)
        return;
    for (CVideoCtx* v : E(h)->m_videoCtx)
        if (v != nullptr)
            v->SetFlag(flag);
}

BYTE JtvIsVideoFlag(HJTV h, int channel)
{
    if (h == nullptr || !ValidChannel(channel))
        return 0;
    CVideoCtx* v = E(h)->m_videoCtx[channel];
    return v == nullptr ? 1 : v->Flag();
}

int JtvGetVideoWidth(HJTV h, int channel)
{
    if (h == nullptr || !ValidChannel(channel) || E(h)->m_videoCtx[channel] == nullptr)
        return 0;
    return E(h)->m_videoCtx[channel]->PictureWidth();
}

int JtvGetVideoHeight(HJTV h, int channel)
{
    if (h == nullptr || !ValidChannel(channel) || E(h)->m_videoCtx[channel] == nullptr)
        return 0;
    return E(h)->m_videoCtx[channel]->PictureHeight();
}

// ---------------------------------------------------------------------------------------------
// Channel and on-screen text settings

void JtvSetRenderWindow(HJTV h, HWND window, int channel)
{
    if (h != nullptr && ValidChannel(channel))
        E(h)->m_renderWindow[channel].store(window, kRelaxed);
}

void JtvSetNotifyWindow(HJTV h, HWND window, int channel)
{
    if (h != nullptr && ValidChannel(channel))
        E(h)->m_notifyWindow[channel].store(window, kRelaxed);
}

void JtvEnableAudio(HJTV h, LONG on, int channel)
{
    if (h != nullptr && ValidChannel(channel))
        E(h)->m_enableAudio[channel].store(on, kRelaxed);
}

void JtvEnableVideo(HJTV h, LONG on, int channel)
{
    if (h != nullptr && ValidChannel(channel))
        E(h)->m_enableVideo[channel].store(on, kRelaxed);
}

void JtvEnableDxva2(HJTV h, LONG on, int channel)
{
    if (h != nullptr && ValidChannel(channel))
        E(h)->m_enableDxva2[channel].store(on, kRelaxed);
}

void JtvSetChannelValue(HJTV h, LONG value, int channel)
{
    if (h != nullptr && ValidChannel(channel))
        E(h)->m_channelValue[channel].store(value, kRelaxed);
}

void JtvSetChannelPair(HJTV h, int channel, LONG on, LONG value)
{
    if (h == nullptr || !ValidChannel(channel))
        return;
    E(h)->m_pairSwitch[channel].store(on, kRelaxed);
    E(h)->m_pairValue[channel].store(on == 0 ? 0 : value, kRelaxed);
    E(h)->m_channelFlag2[channel].store(0, kRelaxed);
}

void JtvSetTimeZone(HJTV h, LONG seconds_west)
{
    if (h != nullptr)
        E(h)->m_timeZone.store(seconds_west, kRelaxed);
}

void JtvSetEdrUnits(HJTV h, LONG speed_unit, LONG temperature_unit)
{
    if (h == nullptr)
        return;
    E(h)->m_speedUnit.store(speed_unit, kRelaxed);
    E(h)->m_temperatureUnit.store(temperature_unit, kRelaxed);
}

void JtvSetEdrFont(HJTV h, int x, int y, COLORREF colour, int font_height, std::string_view face)
{
    if (h != nullptr)
        E(h)->SetEdrFont(x, y, colour, font_height, std::string(face));
}

void JtvSetOsdMusic(HJTV h, LONG on, COLORREF colour)
{
    if (h == nullptr)
        return;
    E(h)->m_osdMusic.store(on, kRelaxed);
    E(h)->m_osdColour.store(colour, kRelaxed);
}

void JtvSetOsdTime(HJTV h, LONG mode, COLORREF colour)
{
    if (h == nullptr)
        return;
    E(h)->m_osdTimeMode.store(mode, kRelaxed);
    E(h)->m_osdColour.store(colour, kRelaxed);
}

void JtvSetInfoSink(HJTV h, void* sink)
{
    if (h == nullptr)
        return;
    E(h)->m_sourceBox.SetInfoSink(sink);
    E(h)->m_channel.VideoCtx().SetInfoSink(sink);
}

void JtvSetDeviceName(HJTV h, std::string_view name)
{
    if (h == nullptr)
        return;
    char* field = E(h)->m_deviceName;
    std::memset(field, 0, sizeof E(h)->m_deviceName);
    std::memcpy(field, name.data(), std::min<std::size_t>(name.size(), 18));
}

void JtvSetExportFolder(HJTV h, std::string_view folder)
{
    if (h != nullptr)
        E(h)->m_exportFolder.assign(folder);
}

// ---------------------------------------------------------------------------------------------
// Mode values

void JtvSetValueA(HJTV h, LONG value)
{
    if (h != nullptr)
        E(h)->m_valueA.store(value, kRelaxed);
}

void JtvSetValueB(HJTV h, LONG value)
{
    if (h != nullptr)
        E(h)->m_valueB.store(value, kRelaxed);
}

void JtvSetValueC(HJTV h, LONG value)
{
    if (h != nullptr)
        E(h)->m_valueC.store(value, kRelaxed);
}

LONG JtvGetValueC(HJTV h)
{
    return h == nullptr ? 0 : E(h)->m_valueC.load(kRelaxed);
}

void JtvSetValueD(HJTV h, LONG value)
{
    if (h != nullptr)
        E(h)->m_valueD.store(value, kRelaxed);
}

BYTE JtvGetValueA(HJTV h)
{
    return h == nullptr ? 0 : E(h)->m_carRecordByte.load(kRelaxed);
}

int JtvGetValueB(HJTV h)
{
    return h == nullptr ? 0 : E(h)->m_playSeconds.load(kRelaxed);
}

// ---------------------------------------------------------------------------------------------
// Card source and export queries

const RecordingEntry* JtvLoadFileList(HJTV h)
{
    return h == nullptr ? nullptr : E(h)->m_sourceBox.FirstEntry();
}

const RecordingEntry* JtvGetRecordingList(HJTV h)
{
    return h == nullptr ? nullptr : E(h)->m_sourceBox.CurrentEntry();
}

BOOL JtvGetCarInfo(HJTV h, CarInfoRecord* out)
{
    if (h == nullptr || out == nullptr)
        return FALSE;
    return E(h)->m_sourceBox.GetCarInfo(*out) ? TRUE : FALSE;
}

const RecordingEntry* JtvFindSegment(HJTV, int)
{
    // Segments are entries of the recording list, which no load has filled yet.
    return nullptr;
}

double JtvGetSegmentValue(HJTV h, int n)
{
    return h == nullptr ? 0.0 : E(h)->m_sourceBox.GetDistance(n);
}

double JtvGetBackupProgress(HJTV h)
{
    return h == nullptr ? 0.0 : E(h)->m_sourceBox.LoadProgress();
}

double JtvGetExportProgress(HJTV h)
{
    return h == nullptr ? 0.0 : E(h)->m_channel.Demux().ExportProgress();
}

void JtvSelectExportFile(HJTV h, int n)
{
    if (h != nullptr)
        E(h)->m_channel.Demux().SelectExportFile(n);
}

void JtvExportSetName(HJTV h, LONG option, std::string_view name)
{
    if (h == nullptr)
        return;
    E(h)->m_exportOption.store(option, kRelaxed);
    E(h)->m_sourceBox.SetExportName(name, option);
}

int JtvSourceCommand(HJTV h, std::string_view name)
{
    return h == nullptr ? -1 : E(h)->m_sourceBox.FindFile(name);
}

LONG JtvGetSourceCounter(HJTV h)
{
    return h == nullptr ? 0 : E(h)->m_sourceBox.SourceCounter();
}

void JtvResetSourceCounter(HJTV h)
{
    if (h != nullptr)
        E(h)->m_sourceBox.ResetSourceCounter();
}

bool JtvRequestSnapshot(HJTV h, LONG format, LONG option, COLORREF colour, std::string_view name)
{
    return h != nullptr && RequestSnapshot(*E(h), format, option, colour, name);
}

void JtvIgnoreName(HJTV, std::string_view) {}

void JtvNoOp(HJTV h)
{
    if (h != nullptr)
        E(h)->m_channel.NoOp();
}
