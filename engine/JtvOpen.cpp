// Opening sources: classifying the source name and the sequences that start playing the card
// or file-set source, or record a range of it.

#include "engine/JtvCtrl.h"
#include "engine/gpstext.h"
#include "engine/SourceType.h"
#include "platform/base/file.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool InRange(LONG type, LONG low, LONG high)
{
    return type >= low && type <= high;
}

}  // namespace

int CJtvCtrl::ParseSource()
{
    std::string host;
    m_sourceType = ParseSourceName(m_fileName, &host);
    std::memset(m_host, 0, sizeof m_host);
    std::memcpy(m_host, host.data(), std::min(host.size(), sizeof m_host - 1));
    return m_sourceType;
}

bool CJtvCtrl::SetRecordOn(const std::string& name, LONG option)
{
    if (name.empty() || !CreatePathDirectories(name))
        return false;
    if (m_recording.load(kRelaxed) != 0)
        return true;
    m_recordName = name;
    const bool avi = name.size() >= 4 && name.compare(name.size() - 4, 4, ".avi") == 0;
    if (avi)
        m_recordName.resize(name.size() - 4);
    m_aviFlag.store(avi ? 1 : 0, kRelaxed);
    m_recordOption.store(option, kRelaxed);
    m_recording.store(1, kRelaxed);
    return true;
}

bool CJtvCtrl::OpenSourceBox()
{
    m_channel.FrameClock().ResetTimes();
    if (m_fps[0])
        m_fps[0]->ResetTimes();
    m_sourceBox.SetPlayByte(1);
    m_channel.ResetTemplate();
    m_syncState.store(-1, kRelaxed);

    if (m_open.load(kRelaxed) != 0)
        return true;
    if (!InRange(m_sourceType, kSourceCard, kSourceIndex) || !CreateChannels())
        return false;
    m_currentSource = &m_sourceBox;
    m_open.store(1, kRelaxed);

    // The demultiplexer reads the card source's list from the entry of the current name. A
    // recording the list leaves out is played alone (with an empty list the demultiplexer
    // reads the channel's source name), not some entry in its place; a card, backup or index
    // name is no recording and plays the list from its current entry.
    std::vector<std::string> files = m_sourceBox.Paths();
    int index = -1;
    if (!files.empty()) {
        index = m_sourceBox.FindFile(m_fileName);
        if (index < 0 && m_sourceType != kSourceTs)
            index = std::max(0, m_sourceBox.CurrentFileIndex());
        if (index >= 0)
            m_sourceBox.SelectFile(index, nullptr);
        else
            files.clear();
    }
    m_fileIndex.store(index, kRelaxed);
    m_prevFileIndex.store(index, kRelaxed);
    m_channel.Demux().SetFileList(std::move(files));
    m_channel.SetFileIndex(index);

    for (int ch = 0; ch < kJtvChannels; ++ch) {
        // One largest packet for every path: the channel keeps these when it starts.
        if (!m_channel.CreateQueues(*m_videoQueue[ch], *m_audioQueue[ch], true) || !m_videoCtx[ch]->Start() ||
            !m_audioCtx[ch]->Start()) {
            Stop();
            return false;
        }
        m_audioCtx[ch]->SetVolume(m_volume[ch].load(kRelaxed));
    }
    m_channel.SetSource(m_renderWindow[0].load(kRelaxed), m_fileName);
    if (!m_channel.Start()) {
        Stop();
        return false;
    }
    return true;
}

bool CJtvCtrl::OpenFileSet(const std::string& output, int n, int range_start, int range_end)
{
    ParseSource();
    if (m_open.load(kRelaxed) != 0)
        return false;  // nothing would be recorded
    // A bad entry is refused up front like a bad range, before anything is stopped.
    std::string name;
    const std::vector<std::string> files = m_sourceBox.Paths();
    if (output.empty() || range_end < range_start || n < 0 || static_cast<std::size_t>(n) >= files.size())
        return false;
    if (!InRange(m_sourceType, kSourceCard, kSourceFileSet) || !CreateChannels())
        return false;

    m_currentSource = &m_sourceBox;
    m_open.store(1, kRelaxed);
    m_fileListSwitch1.store(1, kRelaxed);
    m_fileListSwitch2.store(1, kRelaxed);

    m_sourceBox.SelectFile(n, &name);
    m_fileIndex.store(n, kRelaxed);
    m_prevFileIndex.store(n, kRelaxed);
    m_channel.SetFileIndex(n);
    m_channel.Demux().SetFileList(files);
    m_channel.Demux().SetFileFromList(n);
    m_channel.Demux().SelectExportFile(n);

    // Value A asks for re-encoded pictures of this channel in an AVI clip; the video thread
    // makes them. Value B alone asks for the mosaic of four channels, which one channel never
    // completes: the clip then keeps the recording's own frames.
    const bool conversion = m_valueD.load(kRelaxed) == 0 && m_valueA.load(kRelaxed) != 0;
    const bool show = m_valueB.load(kRelaxed) != 0 || conversion;
    // Fast or backward play set before would leave pictures out of a re-encoded clip: it goes
    // on at normal speed (and is refused while the export runs).
    if (conversion && !CSourceBoxCtx::SpeedConvertsEveryPicture(m_playSpeed.load(kRelaxed)))
        SetPlaySpeed(1.0);
    for (int ch = 0; ch < kJtvChannels; ++ch) {
        if (!m_channel.CreateQueues(*m_videoQueue[ch], *m_audioQueue[ch], show) ||
            (show && (!m_videoCtx[ch]->Start() || !m_audioCtx[ch]->Start()))) {
            Stop();
            return false;
        }
    }
    if (!SetRecordOn(output, range_end - range_start)) {
        Stop();
        return false;
    }
    m_sourceBox.SetExportContext(0, conversion ? &m_export[0] : nullptr);
    m_channel.Demux().SetExportByte(true);
    m_channel.Demux().StartExport(n, range_start, range_end);
    m_channel.SetSource(m_renderWindow[0].load(kRelaxed), m_fileName);
    if (!m_sourceBox.Start() || !m_channel.Start()) {
        Stop();
        return false;
    }
    return true;
}
