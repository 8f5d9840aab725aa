#include "engine/TSChn.h"

#include <cstdlib>
#include <cstring>

CTSChn::CTSChn(CJtvCtrl* owner, CRecordCtx* export_ctx)
    : m_export(export_ctx),
      m_owner(owner),
      m_videoCtx(std::make_unique<CVideoCtx>(owner, 0)),
      m_audioCtx(owner),
      m_demux(this),
      m_template(MakeCarInfoRecord()),
      m_ring(std::make_unique_for_overwrite<CarInfoRecord[]>(kCarInfoRingSize))
{
    m_videoQueue[0].SetCapacity(1280);
    // The queued records and the one in use must never include the slot written next.
    m_videoQueue[0].SetRecordLimit(kCarInfoRingSize - 2);
    m_demux.SetQueues(&m_videoQueue[0], &m_audioQueue);
}

CTSChn::~CTSChn()
{
    Stop();
}

bool CTSChn::PushCarInfo(const CarInfoRecord& record)
{
    {
        CCritSecsLock lock(m_lock);
        if (m_templateCount.load(std::memory_order_relaxed) < 1) {
            std::memcpy(&m_template, &record, sizeof m_template);
            m_template.sampleCount = 0;
            std::memset(reinterpret_cast<BYTE*>(&m_template) + offsetof(CarInfoRecord, samples), 0, 150);
            m_templateCount.fetch_add(1, std::memory_order_relaxed);
        }
    }
    const int index = m_writeIndex.load(std::memory_order_relaxed);
    CarInfoRecord* slot = &m_ring[static_cast<std::size_t>(index)];
    std::memcpy(slot, &record, sizeof *slot);
    m_current.store(slot, std::memory_order_release);
    m_writeIndex.store((index + 1) & (kCarInfoRingSize - 1), std::memory_order_relaxed);
    return true;
}

bool CTSChn::GetTemplate(CarInfoRecord& out)
{
    CCritSecsLock lock(m_lock);
    std::memcpy(&out, &m_template, sizeof out);
    out.magic = kCarInfoMagic;
    m_template.sampleCount = 0;
    return true;
}

void CTSChn::StampTemplate(std::int64_t time)
{
    CCritSecsLock lock(m_lock);
    m_template.SetLocalDate(time);
}

int CTSChn::SetPlayMode(int mode)
{
    m_playMode.store(mode, std::memory_order_relaxed);
    return mode;
}

int CTSChn::SetStep(int step)
{
    m_step11.store(std::abs(step) == 11 ? 1 : 0, std::memory_order_relaxed);
    m_step.store(step, std::memory_order_relaxed);
    // Sound is read at normal play only: a reader waiting for room for it stops waiting.
    if (step != 1)
        m_audioQueue.Interrupt();
    return step;
}

void CTSChn::SetSource(HWND render_window, const std::string& name)
{
    m_renderWindow.store(render_window, std::memory_order_relaxed);
    CCritSecsLock lock(m_nameLock);
    m_sourceName = name;
}

std::string CTSChn::SourceName()
{
    CCritSecsLock lock(m_nameLock);
    return m_sourceName;
}

bool CTSChn::Start()
{
    m_demux.SetDirection(0);
    // One largest packet for every path: the reserve must hold a whole video PES.
    if (!CreateQueues(m_videoQueue[0], m_audioQueue, true)) {
        Stop();
        return false;
    }
    if (FileIndex() >= 0)
        m_demux.SetFileFromList(FileIndex());
    return m_demux.Play(SourceName());
}

bool CTSChn::CreateQueues(CVBuffer2& video, CABuffer2& audio, bool blocking) const
{
    return video.Create(m_queueSizes.videoRing, m_queueSizes.videoPacket, blocking) &&
           audio.Create(m_queueSizes.audioRing, m_queueSizes.audioPacket, blocking);
}

void CTSChn::Stop()
{
    // Wake first: a producer blocked on a full queue must see the stop before it is waited for.
    m_demux.RequestStop();
    m_videoQueue[0].Wake();
    m_audioQueue.Wake();
    m_demux.Stop();
}

void CTSChn::Reset()
{
    Stop();
    m_writeIndex.store(0, std::memory_order_relaxed);
    CCritSecsLock lock(m_lock);
    m_template.sampleCount = 0;
}
