#include "engine/TSAnalyse.h"

#include <algorithm>

double ExportProgress(const ExportProgressState& s)
{
    if (s.finished)
        return 1000.0;
    if (!s.running || (s.startFile.empty() && s.endFile.empty()))
        return 0.0;
    const double pos = static_cast<double>(s.readPosition - s.startOffset);
    double r;
    if (s.currentFile != s.startFile && s.currentFile != s.endFile) {
        if (s.totalLength == 0)
            return -1.0;
        r = pos / static_cast<double>(s.totalLength);
    } else {
        if (s.endOffset == s.startOffset)
            return -1.0;
        r = pos / static_cast<double>(s.endOffset - s.startOffset);
    }
    // Held within the range while running: the end of the range is 990, never back to 0.
    return std::clamp(r, 0.0, 1.0) * 990.0;
}

void CTSAnalyse::SetQueues(CVBuffer2* video, CABuffer2* audio)
{
    m_video = video;
    m_audio = audio;
}

bool CTSAnalyse::Open(const std::string& name)
{
    CCritSecsLock lock(m_lock);
    m_name = name;
    return false;
}

void CTSAnalyse::Stop()
{
    RequestStop();
}

std::string CTSAnalyse::SourceName()
{
    CCritSecsLock lock(m_lock);
    return m_name;
}

void CTSAnalyse::SeekToTime(int time, bool nearest)
{
    m_seekNearest.store(nearest, std::memory_order_relaxed);
    m_seekTime.store(time, std::memory_order_relaxed);
}

void CTSAnalyse::SetExportState(const ExportProgressState& s)
{
    CCritSecsLock lock(m_lock);
    m_export = s;
}

double CTSAnalyse::ExportProgress()
{
    CCritSecsLock lock(m_lock);
    return ::ExportProgress(m_export);
}

void CTSAnalyse::SetFileList(std::vector<std::string> files)
{
    CCritSecsLock lock(m_lock);
    m_files = std::move(files);
}

bool CTSAnalyse::SelectExportFile(int n)
{
    CCritSecsLock lock(m_lock);
    if (n < 0 || static_cast<std::size_t>(n) >= m_files.size())
        return false;
    m_exportSource = m_files[static_cast<std::size_t>(n)];
    return true;
}

std::string CTSAnalyse::ExportSourceFile()
{
    CCritSecsLock lock(m_lock);
    return m_exportSource;
}
