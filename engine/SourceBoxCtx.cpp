#include "engine/SourceBoxCtx.h"

#include <algorithm>
#include <cstring>

CSourceBoxCtx::CSourceBoxCtx(CJtvCtrl* engine) : CSourceCtx(engine)
{
    std::memset(&m_latest, 0, sizeof m_latest);
}

CSourceBoxCtx::~CSourceBoxCtx()
{
    CSourceCtx::Stop(INFINITE);
}

bool CSourceBoxCtx::GetCarInfo(CarInfoRecord& out)
{
    CCritSecsLock lock(m_recordLock);
    std::memcpy(&out, &m_latest, sizeof out);
    return out.IsValid();
}

void CSourceBoxCtx::SetCarInfo(const CarInfoRecord& record)
{
    CCritSecsLock lock(m_recordLock);
    std::memcpy(&m_latest, &record, sizeof m_latest);
}

const RecordingEntry* CSourceBoxCtx::FirstEntry()
{
    CCritSecsLock lock(m_listLock);
    return m_entries.empty() ? nullptr : m_entries.front();
}

void CSourceBoxCtx::SetFileList(std::vector<std::string> files)
{
    CCritSecsLock lock(m_listLock);
    m_files = std::move(files);
    m_fileIndex = -1;
}

bool CSourceBoxCtx::SelectFile(int n, std::string* name)
{
    CCritSecsLock lock(m_listLock);
    if (n < 0 || static_cast<std::size_t>(n) >= m_files.size())
        return false;
    m_fileIndex = n;
    if (name != nullptr)
        *name = m_files[static_cast<std::size_t>(n)];
    return true;
}

int CSourceBoxCtx::CurrentFileIndex()
{
    CCritSecsLock lock(m_listLock);
    return m_fileIndex;
}

int CSourceBoxCtx::FindFile(std::string_view name)
{
    CCritSecsLock lock(m_listLock);
    const auto it = std::find(m_files.begin(), m_files.end(), name);
    return it == m_files.end() ? -1 : static_cast<int>(it - m_files.begin());
}

void CSourceBoxCtx::ClearLists()
{
    CCritSecsLock lock(m_listLock);
    m_files.clear();
    m_fileIndex = -1;
    m_entries.clear();
    m_distances.clear();
}

void CSourceBoxCtx::SetDistances(std::vector<double> distances)
{
    CCritSecsLock lock(m_listLock);
    m_distances = std::move(distances);
}

double CSourceBoxCtx::GetDistance(int n)
{
    CCritSecsLock lock(m_listLock);
    if (n < 0 || static_cast<std::size_t>(n) >= m_distances.size())
        return 0.0;
    return m_distances[static_cast<std::size_t>(n)];
}

double CSourceBoxCtx::LoadProgress() const
{
    const LONG counted = m_counted.load(std::memory_order_relaxed);
    if (counted == 0)
        return 0.0;
    return static_cast<double>(m_walked.load(std::memory_order_relaxed)) / counted;
}

void CSourceBoxCtx::SetLoadCounts(LONG counted, LONG walked)
{
    m_counted.store(counted, std::memory_order_relaxed);
    m_walked.store(walked, std::memory_order_relaxed);
}

bool CSourceBoxCtx::SetExportName(std::string_view name, LONG option)
{
    CCritSecsLock lock(m_listLock);
    m_exportFlag.store(true, std::memory_order_relaxed);
    m_exportOption.store(option, std::memory_order_relaxed);
    m_exportName.assign(name);
    // The fixed field keeps as much as fits with its terminator; the rest is zero.
    std::memset(m_exportNameField, 0, sizeof m_exportNameField);
    std::memcpy(m_exportNameField, name.data(), std::min(name.size(), sizeof m_exportNameField - 1));
    return true;
}

std::string CSourceBoxCtx::ExportName()
{
    CCritSecsLock lock(m_listLock);
    return m_exportName;
}

void CSourceBoxCtx::ExportNameField(char (&out)[20])
{
    CCritSecsLock lock(m_listLock);
    std::memcpy(out, m_exportNameField, sizeof out);
}
