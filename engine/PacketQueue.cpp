#include "engine/PacketQueue.h"

#include "platform/base/clock.h"
#include "platform/base/sync.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

bool HasRingBody(std::int32_t type)
{
    return type != PKT_CAR_INFO && type != PKT_MARKER;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CBuffer

CBuffer::CBuffer(int capacity)
    : m_capacity(capacity),
      m_dataEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_spaceEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

CBuffer::~CBuffer()
{
    for (HANDLE h : {m_event, m_dataEvent, m_spaceEvent})
        if (h != nullptr)
            CloseHandle(h);
}

bool CBuffer::Create(std::size_t ring_bytes, std::size_t max_packet, bool blocking)
{
    const std::size_t size = std::max(ring_bytes, m_ring ? m_ringSize : 0);
    // Restart may have to wrap past the packet in use, which needs three largest packets.
    if (max_packet == 0 || max_packet > size / 3)
        return false;
    if (!m_ring || ring_bytes > m_ringSize) {
        std::unique_ptr<BYTE[]> ring(new (std::nothrow) BYTE[ring_bytes]);
        if (!ring)
            return false;
        m_ring = std::move(ring);
        m_ringSize = ring_bytes;
    }
    m_maxPacket = max_packet;
    if (m_event == nullptr)
        m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    else
        ResetEvent(m_event);
    m_blocking.store(blocking, std::memory_order_relaxed);
    m_woken.store(false, std::memory_order_relaxed);
    m_list.clear();
    m_usedBytes = 0;
    m_oldest = m_ring.get();
    return m_event != nullptr;
}

void CBuffer::Wake()
{
    m_woken.store(true, std::memory_order_relaxed);
    m_blocking.store(false, std::memory_order_relaxed);
    if (m_event != nullptr)
        SetEvent(m_event);
    SignalData();
    SignalSpace();
}

void CBuffer::Clear()
{
    if (m_list.size() > 1)
        m_list.erase(m_list.begin() + 1, m_list.end());
    m_usedBytes = 0;
    // The consumer may still read the packet it holds, so its body stays protected.
    if (!m_list.empty() && HasRingBody(m_list.front().type))
        m_oldest = m_list.front().data;
    else
        m_oldest = m_ring.get();
}

void CBuffer::Restart(PacketDesc& d)
{
    BYTE* base = m_ring.get();
    if (m_list.empty()) {
        d.data = base;
        d.size = 0;
        d.type = 0;
        d.rate = 0;
        d.direction = 0.0;
        d.time = 0;
        m_usedBytes = 0;
        m_oldest = base;
        return;
    }
    m_list.erase(m_list.begin() + 1, m_list.end());
    const PacketDesc& in_use = m_list.front();
    if (!HasRingBody(in_use.type)) {
        // A record or marker in use lies outside the ring: the whole ring is free.
        d.data = base;
        m_usedBytes = 0;
        m_oldest = base;
        return;
    }
    m_usedBytes = static_cast<std::size_t>(in_use.size);
    m_oldest = in_use.data;
    BYTE* next = in_use.data + in_use.size;
    if (next + m_maxPacket > base + m_ringSize)
        next = base;
    d.data = next;
}

bool CBuffer::Fits(const PacketDesc& d) const
{
    if (!m_ring || d.size < 0 || static_cast<std::size_t>(d.size) > m_maxPacket)
        return false;
    const BYTE* base = m_ring.get();
    const BYTE* end = base + m_ringSize;
    // A descriptor that does not point into this ring (never restarted) is refused.
    return d.data >= base && d.data <= end && static_cast<std::size_t>(end - d.data) >= static_cast<std::size_t>(d.size);
}

void CBuffer::AppendTwiceIfEmpty(const PacketDesc& d)
{
    // The first element is the consumer's in-use slot, so an empty list gets a placeholder.
    if (m_list.empty())
        m_list.push_back(d);
    m_list.push_back(d);
}

bool CBuffer::PushUnlocked(PacketDesc& d)
{
    if (d.type == PKT_CAR_INFO) {
        // Not in the ring. Doubled into an empty list too, so that the first record after a
        // drain is not taken for the in-use placeholder and lost.
        AppendTwiceIfEmpty(d);
        return true;
    }
    if (!Fits(d))
        return false;
    BYTE* base = m_ring.get();
    BYTE* end = base + m_ringSize;
    const std::size_t m = m_maxPacket;
    const std::size_t size = static_cast<std::size_t>(d.size);
    BYTE* w = d.data;

    if (m_list.empty()) {
        AppendTwiceIfEmpty(d);
        m_usedBytes = size;
        d.data = (static_cast<std::size_t>(end - w) >= size + m) ? w + size : base;
        // The packet just queued is the oldest in the ring: a producer that wraps must not
        // reach it before the consumer has taken it.
        m_oldest = w;
        return true;
    }
    BYTE* r = m_oldest;
    if (r > w) {
        if (static_cast<std::size_t>(r - w) < size + m)
            return false;
        m_list.push_back(d);
        d.data = w + size;
    } else if (static_cast<std::size_t>(end - w) >= size + m) {
        m_list.push_back(d);
        d.data = w + size;
    } else if (static_cast<std::size_t>(r - base) >= m) {
        m_list.push_back(d);
        d.data = base;
    } else {
        return false;
    }
    m_usedBytes += size;
    return true;
}

bool CBuffer::Push(PacketDesc& d)
{
    return PushUnlocked(d);
}

CBuffer::PopResult CBuffer::PopUnlocked(PacketDesc& d)
{
    if (m_list.empty())
        return PopResult::Empty;
    m_list.pop_front();
    if (m_list.empty())
        return PopResult::Drained;
    d = m_list.front();
    if (HasRingBody(d.type)) {
        m_usedBytes -= std::min(m_usedBytes, static_cast<std::size_t>(std::max(d.size, 0)));
        m_oldest = d.data;
    }
    return PopResult::Got;
}

bool CBuffer::Pop(PacketDesc& d)
{
    const PopResult r = PopUnlocked(d);
    if (r == PopResult::Drained)
        Sleep(10);
    return r == PopResult::Got;
}

// ---------------------------------------------------------------------------------------------
// CLockedBuffer

bool CLockedBuffer::Create(std::size_t ring_bytes, std::size_t max_packet, bool blocking)
{
    CCritSecsLock lock(*this);
    return CBuffer::Create(ring_bytes, max_packet, blocking);
}

void CLockedBuffer::Clear()
{
    CCritSecsLock lock(*this);
    CBuffer::Clear();
}

void CLockedBuffer::Restart(PacketDesc& d)
{
    CCritSecsLock lock(*this);
    CBuffer::Restart(d);
}

bool CLockedBuffer::PushWhenRoom(PacketDesc& d)
{
    while (!PushUnlocked(d)) {
        if (IsWoken())
            return false;
        Unlock();
        PauseForSpace();
        Lock();
        if (IsWoken())
            return false;
    }
    return true;
}

bool CLockedBuffer::AfterPop(PopResult r, bool releaseProducer)
{
    if (releaseProducer)
        SetEvent(m_event);
    if (r != PopResult::Empty)
        SignalSpace();
    if (r == PopResult::Drained)
        PauseForData();
    return r == PopResult::Got;
}

// ---------------------------------------------------------------------------------------------
// CVBuffer2

// The lock is re-entrant: the base takes it again inside, so the queue's own state changes
// with the ring in one step.
bool CVBuffer2::Create(std::size_t ring_bytes, std::size_t max_packet, bool blocking)
{
    CCritSecsLock lock(*this);
    const bool ok = CLockedBuffer::Create(ring_bytes, max_packet, blocking);
    m_records = 0;
    m_keyState = -1;
    return ok;
}

void CVBuffer2::Clear()
{
    CCritSecsLock lock(*this);
    CLockedBuffer::Clear();
    m_keyState = m_keyState < 0 ? -1 : 0;
    m_clearTick = GetTickCount64();
    m_records = 0;
}

void CVBuffer2::Restart(PacketDesc& d)
{
    CCritSecsLock lock(*this);
    m_keyState = -1;
    m_records = 0;
    CLockedBuffer::Restart(d);
}

int CVBuffer2::MediaCount()
{
    CCritSecsLock lock(*this);
    return MediaCountUnlocked();
}

void CVBuffer2::SetRecordLimit(int limit)
{
    CCritSecsLock lock(*this);
    m_recordLimit = limit;
}

int CVBuffer2::KeyFrameState()
{
    CCritSecsLock lock(*this);
    return m_keyState;
}

int CVBuffer2::RecordCount()
{
    CCritSecsLock lock(*this);
    return m_records;
}

ULONGLONG CVBuffer2::LastClearTick()
{
    CCritSecsLock lock(*this);
    return m_clearTick;
}

bool CVBuffer2::PushRetrying(PacketDesc& d)
{
    // A packet larger than the reserve can never fit: no point waiting for it.
    if (d.size < 0 || static_cast<std::size_t>(d.size) > m_maxPacket)
        return false;
    return PushWhenRoom(d);
}

void CVBuffer2::WaitWhileFull()
{
    if (IsBlocking() && !IsWoken() && MediaCountUnlocked() >= m_capacity) {
        Unlock();
        WaitForSingleObject(m_event, INFINITE);
        Lock();
    }
}

bool CVBuffer2::Push(PacketDesc& d)
{
    CCritSecsLock lock(*this);
    if (IsWoken())
        return false;
    bool queued = false;
    switch (d.type) {
    case PKT_NONE:
        break;
    case PKT_CARD_RESET:
        queued = PushUnlocked(d);
        m_keyState = queued ? 0 : -1;
        break;
    case PKT_KEY_FRAME:
        queued = PushRetrying(d);
        // The first key frame after a restart opens the gate at once, so that the frames of
        // its own group are shown instead of dropped.
        if (queued)
            m_keyState = m_keyState < 0 ? 1 : m_keyState + 1;
        break;
    case PKT_FRAME:
    case PKT_CARD_FRAME:
        if (m_keyState > 0)
            queued = PushRetrying(d);
        break;
    case PKT_TIME_CODE:
    case PKT_OBD_TEXT:
        if (m_keyState >= 0)
            queued = PushUnlocked(d);
        break;
    case PKT_CAR_INFO:
        if (m_records < m_recordLimit) {
            queued = PushUnlocked(d);
            if (queued)
                ++m_records;
        }
        break;
    default:
        queued = PushUnlocked(d);
        break;
    }
    if (queued)
        SignalData();
    WaitWhileFull();
    return queued;
}

bool CVBuffer2::Pop(PacketDesc& d)
{
    PopResult r;
    bool signal;
    {
        CCritSecsLock lock(*this);
        r = PopUnlocked(d);
        if (r == PopResult::Got) {
            if (d.type == PKT_KEY_FRAME && m_keyState > 1)
                --m_keyState;
            else if (d.type == PKT_CAR_INFO && m_records > 0)
                --m_records;
        }
        signal = IsBlocking() && MediaCountUnlocked() < m_capacity;
    }
    return AfterPop(r, signal);
}

// ---------------------------------------------------------------------------------------------
// CABuffer2

int CABuffer2::LockedCount()
{
    CCritSecsLock lock(*this);
    return Count();
}

bool CABuffer2::Push(PacketDesc& d)
{
    CCritSecsLock lock(*this);
    if (IsWoken())
        return false;
    if (d.type != PKT_CAR_INFO && (d.size < 0 || static_cast<std::size_t>(d.size) > m_maxPacket))
        return false;
    if (!PushWhenRoom(d))
        return false;
    SignalData();
    return true;
}

bool CABuffer2::Pop(PacketDesc& d)
{
    PopResult r;
    bool signal;
    {
        CCritSecsLock lock(*this);
        r = PopUnlocked(d);
        signal = IsBlocking() && Count() < m_capacity;
    }
    return AfterPop(r, signal);
}

// ---------------------------------------------------------------------------------------------
// Planar pictures

Yuv420Planes SetYuv420Planes(BYTE* base, int width, int height)
{
    Yuv420Planes p;
    const std::size_t luma = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    p.plane[0] = base;
    p.plane[1] = base + luma;
    p.plane[2] = base + luma * 5 / 4;
    p.stride[0] = width;
    p.stride[1] = width / 2;
    p.stride[2] = width / 2;
    return p;
}

void CopyYuv420Rows(const Yuv420Planes& dst, const Yuv420Planes& src, int width, int rows)
{
    const int chroma_width = (width + 1) / 2;
    for (int y = 0; y < rows; y += 2) {
        for (int k = 0; k < 2 && y + k < rows; ++k)
            std::memcpy(dst.plane[0] + static_cast<std::ptrdiff_t>(y + k) * dst.stride[0],
                        src.plane[0] + static_cast<std::ptrdiff_t>(y + k) * src.stride[0], static_cast<std::size_t>(width));
        const int cy = y / 2;
        for (int c = 1; c <= 2; ++c)
            std::memcpy(dst.plane[c] + static_cast<std::ptrdiff_t>(cy) * dst.stride[c],
                        src.plane[c] + static_cast<std::ptrdiff_t>(cy) * src.stride[c], static_cast<std::size_t>(chroma_width));
    }
}

void CopyPlaneSet(Yuv420Planes& dst, const Yuv420Planes& src)
{
    dst = src;
}
