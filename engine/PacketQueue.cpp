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
    m_held = nullptr;
    m_heldSize = 0;
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

void CBuffer::Interrupt()
{
    m_interrupted.store(true, std::memory_order_release);
    if (m_event != nullptr)
        SetEvent(m_event);
    SignalSpace();
}

void CBuffer::Clear()
{
    if (m_list.size() > 1)
        m_list.erase(m_list.begin() + 1, m_list.end());
    m_usedBytes = 0;
    // The consumer may still read the packet it holds, so its body stays protected.
    if (m_held != nullptr)
        m_oldest = m_held;
    else if (!m_list.empty() && HasRingBody(m_list.front().type))
        m_oldest = m_list.front().data;
    else
        m_oldest = m_ring.get();
}

void CBuffer::Restart(PacketDesc& d)
{
    BYTE* base = m_ring.get();
    if (m_list.empty() && m_held == nullptr) {
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
    BYTE* held = m_held;
    std::size_t size = m_heldSize;
    if (held != nullptr) {
        // The list was reset since the consumer's last Pop: nothing in it is in use.
        m_list.clear();
        m_usedBytes = 0;
    } else {
        m_list.erase(m_list.begin() + 1, m_list.end());
        const PacketDesc& in_use = m_list.front();
        if (!HasRingBody(in_use.type)) {
            // A record or marker in use lies outside the ring: the whole ring is free.
            d.data = base;
            m_usedBytes = 0;
            m_oldest = base;
            return;
        }
        held = in_use.data;
        size = static_cast<std::size_t>(in_use.size);
        m_usedBytes = size;
    }
    m_oldest = held;
    BYTE* next = held + size;
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

bool CBuffer::IsFree(const BYTE* from, const BYTE* to) const
{
    if (from >= to)
        return true;
    const auto overlaps = [&](const BYTE* p, std::size_t n) { return n > 0 && from < p + n && p < to; };
    if (m_held != nullptr && overlaps(m_held, m_heldSize))
        return false;
    for (const PacketDesc& p : m_list)
        if (HasRingBody(p.type) && p.size > 0 && overlaps(p.data, static_cast<std::size_t>(p.size)))
            return false;
    return true;
}

bool CBuffer::AdvanceUnlocked(PacketDesc& d, bool append)
{
    if (d.type == PKT_CAR_INFO) {
        // Not in the ring. Doubled into an empty list too, so that the first record after a
        // drain is not taken for the in-use placeholder and lost.
        if (append)
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

    if (m_list.empty() && m_held == nullptr) {
        if (append) {
            AppendTwiceIfEmpty(d);
            m_usedBytes = size;
            // The packet just queued is the oldest in the ring: a producer that wraps must not
            // reach it before the consumer has taken it.
            m_oldest = w;
        }
        d.data = (static_cast<std::size_t>(end - w) >= size + m) ? w + size : base;
        return true;
    }
    // Behind the consumer's packet (or the body it held when the list was reset).
    BYTE* r = m_oldest;
    BYTE* next;
    if (r > w) {
        if (static_cast<std::size_t>(r - w) < size + m)
            return false;
        next = w + size;
    } else if (static_cast<std::size_t>(end - w) >= size + m) {
        next = w + size;
    } else if (static_cast<std::size_t>(r - base) >= m) {
        next = base;
    } else {
        return false;
    }
    if (append) {
        AppendTwiceIfEmpty(d);
        m_usedBytes += size;
    }
    d.data = next;
    return true;
}

bool CBuffer::Advance(PacketDesc& d)
{
    return AdvanceUnlocked(d, false);
}

bool CBuffer::Push(PacketDesc& d)
{
    return PushUnlocked(d);
}

void CBuffer::ResetList()
{
    if (m_held == nullptr && !m_list.empty() && HasRingBody(m_list.front().type)) {
        m_held = m_list.front().data;
        m_heldSize = static_cast<std::size_t>(std::max(m_list.front().size, 0));
        m_oldest = m_held;
    }
    m_list.clear();
    m_usedBytes = 0;
}

CBuffer::PopResult CBuffer::PopUnlocked(PacketDesc& d)
{
    // Any Pop releases what the consumer held.
    m_held = nullptr;
    m_heldSize = 0;
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

bool CLockedBuffer::Advance(PacketDesc& d)
{
    CCritSecsLock lock(*this);
    return CBuffer::Advance(d);
}

void CLockedBuffer::ResetList()
{
    CCritSecsLock lock(*this);
    CBuffer::ResetList();
}

bool CLockedBuffer::PushWhenRoom(PacketDesc& d)
{
    while (!PushUnlocked(d)) {
        if (IsWoken() || Interrupted())
            return false;
        AwaitSpace();
        if (IsWoken() || Interrupted())
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

void CVBuffer2::ResetList()
{
    CCritSecsLock lock(*this);
    CLockedBuffer::ResetList();
    m_records = 0;
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
    if (IsBlocking() && !IsWoken() && !Interrupted() && MediaCountUnlocked() >= m_capacity) {
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

bool CVBuffer2::PushUnsized(const PacketDesc& d)
{
    CCritSecsLock lock(*this);
    if (IsWoken() || d.type == PKT_NONE)
        return false;
    if (d.type == PKT_FRAME && m_keyState < 1)
        return false;
    if (d.type == PKT_CAR_INFO ? m_records >= m_recordLimit : !Fits(d))
        return false;
    const bool body = HasRingBody(d.type);
    if (m_list.empty() && m_held == nullptr && body)
        m_oldest = d.data;
    AppendTwiceIfEmpty(d);
    if (d.type == PKT_CAR_INFO)
        ++m_records;
    else if (body)
        m_usedBytes += static_cast<std::size_t>(d.size);
    if (d.type == PKT_KEY_FRAME)
        m_keyState = m_keyState < 0 ? 1 : m_keyState + 1;
    SignalData();
    // The producer stays a few packets ahead of the consumer.
    while (MediaCountUnlocked() > m_capacity / 8 && !IsWoken())
        AwaitSpace();
    WaitWhileFull();
    return true;
}

BYTE* CVBuffer2::EnsureRoom(PacketDesc& d, int n)
{
    CCritSecsLock lock(*this);
    if (!m_ring || d.size < 0 || IsWoken())
        return nullptr;
    BYTE* base = m_ring.get();
    BYTE* end = base + m_ringSize;
    const std::size_t size = static_cast<std::size_t>(d.size);
    if (d.data < base || d.data > end || size > static_cast<std::size_t>(end - d.data))
        return nullptr;
    const std::size_t extra = static_cast<std::size_t>(n >= 1 ? static_cast<long long>(n) : -static_cast<long long>(n));
    if (size + extra > m_maxPacket)
        return nullptr;
    // Where the body will lie, and the bytes about to be written: the room, and the body
    // itself when it moves.
    BYTE* at = d.data;
    const BYTE* from;
    const BYTE* to;
    if (n >= 1) {
        if (static_cast<std::size_t>(end - d.data) < size + extra)
            at = base;
        from = at == d.data ? d.data + size : at;
        to = at + size + extra;
    } else {
        if (static_cast<std::size_t>(d.data - base) < extra)
            at = end - std::max(size, m_maxPacket);
        from = at - extra;
        to = at == d.data ? d.data : at + size;
    }
    // Never over a body that the consumer holds or has yet to take.
    while (!IsFree(from, to)) {
        if (IsWoken())
            return nullptr;
        AwaitSpace();
    }
    if (at != d.data) {
        std::memmove(at, d.data, size);
        d.data = at;
    }
    return n >= 1 ? d.data + size : d.data - extra;
}

// ---------------------------------------------------------------------------------------------
// CABuffer2

void CABuffer2::SetDropOldestWhenFull(bool on)
{
    CCritSecsLock lock(*this);
    m_dropOldest = on;
}

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
    if (m_dropOldest && IsBlocking() && Count() >= m_capacity) {
        // The oldest packet behind the one in use goes; its bytes are free once the consumer
        // has passed them. Markers stay: they tell the consumer where the stream starts over.
        for (auto it = m_list.begin() + 1; it != m_list.end(); ++it) {
            if (it->type == PKT_MARKER)
                continue;
            if (HasRingBody(it->type))
                m_usedBytes -= std::min(m_usedBytes, static_cast<std::size_t>(std::max(it->size, 0)));
            m_list.erase(it);
            break;
        }
    }
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
    if (r == PopResult::Got && m_popTap)
        m_popTap(d);
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
