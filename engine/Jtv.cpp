#include "engine/Jtv.h"

#include "app/settings.h"

#include "engine/H264Decoder.h"
#include "engine/JtvCtrl.h"
#include "engine/gpstext.h"
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

// A running source would make a new export or backup a silent no-op: that is no success.
bool RefusedWhileOpen(const CJtvCtrl* e)
{
    return e->m_open.load(kRelaxed) != 0;
}

// An export reads its range once, forwards: a control that would move the reading (another
// file, a seek, backward play, another export source) would cut the clip short or write a part
// twice. It is refused until the export ends (the reader refuses another source itself).
bool RefusedWhileExporting(CJtvCtrl* e)
{
    return e->m_channel.Demux().ExportMode();
}

// Pausing and forward speeds only pace what is shown; from 2 up the video thread decodes key
// pictures only, and a re-encoded clip takes its pictures from what it decodes.
bool SpeedRefusedWhileExporting(CJtvCtrl* e, double speed)
{
    return RefusedWhileExporting(e) &&
           (speed < 0 || (e->m_sourceBox.ConversionActive(0) && !CSourceBoxCtx::SpeedConvertsEveryPicture(speed)));
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
    // The card source starts afresh: stopped, its input closed and its lists emptied, so a
    // single file never plays on with the list of a folder opened before.
    e->m_sourceBox.Reset();
    e->m_sourceBox.ClearLists();
    e->m_fileName = Trim(name);
    return e->ParseSource();
}

bool JtvOpenFileSet(HJTV h, std::string_view output, WORD, int n, int range_start, int range_end)
{
    if (h == nullptr || RefusedWhileOpen(E(h)))
        return false;
    // An export never writes over the recordings it reads, nor clips without a name.
    if (!CRecordCtx::NamesAFile(output) || CRecordCtx::WritesOverSource(*E(h), output))
        return false;
    return E(h)->OpenFileSet(std::string(output), n, range_start, range_end);
}

bool JtvStartBackup(HJTV h, std::string_view output, const void* index_blocks, int count)
{
    if (h == nullptr)
        return false;
    CJtvCtrl* e = E(h);
    if (RefusedWhileOpen(e))
        return false;
    // A name without a file part would make its folders and then fail, or write a hidden ".sd".
    if (!CRecordCtx::NamesAFile(output) || index_blocks == nullptr || count < 1)
        return false;
    // The recorder card, an image of it or a card-like folder; not a lone ".ts" file.
    const LONG type = e->m_sourceType;
    if ((type != 11 && type != 12 && type != 14 && type != 15) || !e->CreateChannels())
        return false;
    e->m_currentSource = &e->m_sourceBox;
    e->m_open.store(1, kRelaxed);

    const std::string name(output);
    bool ok = true;
    for (int ch = 0; ok && ch < kJtvChannels; ++ch)
        ok = e->m_channel.CreateQueues(*e->m_videoQueue[ch], *e->m_audioQueue[ch], false);
    // Recording on: the recording name is the ".sd" file the card source writes.
    if (ok && e->m_recording.load(kRelaxed) == 0) {
        ok = CreatePathDirectories(name);
        if (ok) {
            e->m_recordName = name;
            e->m_recordOption.store(0, kRelaxed);
            e->m_recording.store(1, kRelaxed);
        }
    }
    // The argument is an array of `count` pointers to 1312-byte index blocks.
    ok = ok && e->m_sourceBox.SetSegments(static_cast<const void* const*>(index_blocks), count);
    e->m_sourceBox.SetBackupName(e->m_recordName);
    if (!ok || !e->m_sourceBox.Start()) {
        e->Stop();
        return false;
    }
    return true;
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
    if (RefusedWhileExporting(e) || !e->m_sourceBox.SelectFile(n, &name))
        return;
    e->m_fileName = name;
    e->m_fileIndex.store(n, kRelaxed);
    e->m_prevFileIndex.store(n, kRelaxed);
    e->m_channel.SetFileIndex(n);
    // The channel plays from that entry: at once while open, else from the next open on.
    if (e->m_open.load(kRelaxed) != 0) {
        // A recording the list leaves out plays alone, without the list: hand the list over.
        e->m_channel.Demux().SetFileList(e->m_sourceBox.Paths());
        e->m_channel.Demux().SetFileFromList(n);
    }
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
    if (h == nullptr || SpeedRefusedWhileExporting(E(h), speed))
        return;
    E(h)->SetPlaySpeed(speed);
    // The application keeps the speed in force as its current play speed.
    g_AppSettings.m_dPlaySpeed = E(h)->m_playSpeed.load(kRelaxed);
}

void JtvSetPlayMode(HJTV h, int mode)
{
    if (h != nullptr)
        E(h)->SetPlayMode(mode);
}

void JtvSeekToTime(HJTV h, int time, BYTE nearest)
{
    if (h == nullptr || RefusedWhileExporting(E(h)))
        return;
    E(h)->SeekToTime(time, nearest == 1);
}

int JtvSeekCurrent(HJTV h)
{
    return h == nullptr || RefusedWhileExporting(E(h)) ? 0 : E(h)->SeekCurrent();
}

int JtvGetPlayTime(HJTV h, int channel)
{
    return h == nullptr ? 0 : E(h)->PlayTime(channel);
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
    if (h != nullptr)
        E(h)->Zoom(channel, x, y, step);
}

void JtvSetCrop(HJTV h, int channel, LONG left, LONG top, LONG right, LONG bottom)
{
    if (h != nullptr)
        E(h)->SetCrop(channel, CropRect{left, top, right, bottom});
}

void JtvResetVideo(HJTV h)
{
    if (h == nullptr)
        return;
    for (CVideoCtx* v : E(h)->m_videoCtx)
        if (v != nullptr)
            v->RequestPresent();
}

void JtvSetVideoFlag(HJTV h, BYTE flag)
{
    if (h == nullptr)
        return;
    // The channel's own video context holds it from before the first open on, so that the
    // first picture is already shown as asked.
    E(h)->m_channel.VideoCtx().SetFlag(flag);
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
        E(h)->m_sourceBox.SetExportFolder(folder);
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
    return h == nullptr ? nullptr : E(h)->m_sourceBox.LoadFileList();
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

const RecordingEntry* JtvFindSegment(HJTV h, const RecordingEntry* entry)
{
    return h == nullptr ? nullptr : E(h)->m_sourceBox.FindSegment(entry);
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
