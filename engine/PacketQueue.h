#pragma once
// Packet queues between one producer and one consumer thread: a byte ring that the producer
// writes bodies into in place, plus a FIFO of descriptors saying where each body lies.
//
// The producer writes its next body at the descriptor's `data` (the queue always keeps room
// for one largest packet there, so no body larger than MaxPacket() may be written), fills in
// size and type and pushes; a successful push moves `data` on to the next free place. The
// first list element is the packet the consumer holds ("in use"): it may read that body until
// its next Pop.

#include "engine/CritSecs.h"
#include "platform/base/types.h"

#include <cstdint>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>

enum PacketType : std::int32_t {
    PKT_NONE = 0,
    PKT_END_OF_STREAM = 1,
    PKT_CARD_RESET = 16,    // card source: resets the key-frame state
    PKT_KEY_FRAME = 17,     // H.264 frame with an IDR slice
    PKT_FRAME = 18,         // other H.264 frame
    PKT_CARD_FRAME = 19,    // card source: handled like 18
    PKT_TIME_CODE = 20,
    PKT_MARKER = 21,        // no body; rate: a MarkerKind; time: the restart's serial; stream:
                            // the serial of the restart that began its run (kMarkerPlace)
    PKT_OBD_TEXT = 22,
    PKT_AAC_FRAME = 35,
    PKT_CARD_PLAIN = 80,
    PKT_CAR_INFO = 99,      // a CarInfoRecord outside the ring
};

// Why the demultiplexer started its queues over, carried by the marker that begins them.
enum MarkerKind : std::int32_t {
    kMarkerTurn = 0,    // a turn: play goes on from the picture on the screen
    kMarkerResume = 1,  // read again up to the picture on the screen, which is not shown again
    kMarkerPlace = 2,   // a seek or a file chosen: a new place, whatever was on the screen
};

// 48 bytes: the fields are ordered so that no padding is needed on 64-bit builds.
struct PacketDesc {
    BYTE* data = nullptr;      // body (type 99: a CarInfoRecord outside the ring)
    std::int32_t size = 0;     // body length in bytes
    std::int32_t type = 0;     // PacketType
    std::int32_t rate = 0;     // video: frames per second assumed for this frame
    std::int32_t time = 0;     // presentation time, calendar seconds
    double direction = 0.0;    // 0.0 forward, -1.0 backward
    std::int32_t position = 0; // read position in thousandths of the source
    std::int32_t stream = 0;   // video stream index
    std::int64_t pts = 0;      // microseconds
};
static_assert(sizeof(PacketDesc) == 48);

// The unlocked ring and list. Used directly only by a single thread; the derived queues
// lock around every operation.
class CBuffer {
public:
    explicit CBuffer(int capacity);
    virtual ~CBuffer();
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    // Keeps an existing ring when it is at least `ring_bytes` large. Refuses a largest packet
    // that the ring cannot hold safely (below three largest packets). Re-opens a woken queue.
    virtual bool Create(std::size_t ring_bytes, std::size_t max_packet, bool blocking);
    // Releases a producer waiting in Push; the queue refuses pushes until it is created
    // again (a restart keeps it woken, so a stopping producer cannot block again).
    virtual void Wake();
    // Releases a producer waiting for room or for the consumer, without refusing later pushes:
    // a push that was waiting for room returns false (Interrupted() tells why) until
    // ClearInterrupt. The producer's owner calls it when asked to move, so that it never waits
    // on a consumer that waits for its answer.
    void Interrupt();
    void ClearInterrupt() { m_interrupted.store(false, std::memory_order_release); }
    bool Interrupted() const { return m_interrupted.load(std::memory_order_acquire); }
    virtual void Clear();
    virtual void Restart(PacketDesc& d);
    // The space test and advance of Push without queueing d.
    virtual bool Advance(PacketDesc& d);
    virtual bool Push(PacketDesc& d);
    virtual bool Pop(PacketDesc& d);
    // Drops every packet, the one in use included. The consumer may still be reading that
    // body, so it stays protected from the producer until the consumer's next Pop.
    virtual void ResetList();

    std::size_t UsedBytes() const { return m_usedBytes; }
    int Count() const { return static_cast<int>(m_list.size()); }
    int Capacity() const { return m_capacity; }
    void SetCapacity(int capacity) { m_capacity = capacity; }
    std::size_t MaxPacket() const { return m_maxPacket; }
    std::size_t RingSize() const { return m_ringSize; }
    const BYTE* RingBase() const { return m_ring.get(); }
    bool IsBlocking() const { return m_blocking.load(std::memory_order_relaxed); }
    bool IsWoken() const { return m_woken.load(std::memory_order_relaxed); }

protected:
    enum class PopResult { Empty, Drained, Got };
    // Pop without the 10 ms pause of a drained list, which the locked queues take unlocked.
    PopResult PopUnlocked(PacketDesc& d);
    bool PushUnlocked(PacketDesc& d) { return AdvanceUnlocked(d, true); }
    bool AdvanceUnlocked(PacketDesc& d, bool append);
    void AppendTwiceIfEmpty(const PacketDesc& d);
    bool Fits(const PacketDesc& d) const;
    // True when [from, to) holds no byte of a body the consumer has not released yet.
    bool IsFree(const BYTE* from, const BYTE* to) const;

    BYTE* m_oldest = nullptr;  // start of the packet last handed to the consumer
    // The body in use when the list was reset, held by the consumer until its next Pop.
    BYTE* m_held = nullptr;
    std::size_t m_heldSize = 0;
    std::unique_ptr<BYTE[]> m_ring;
    int m_capacity;
    HANDLE m_event = nullptr;  // auto-reset: a waiting producer is released by Pop or Wake
    // Short pauses end early when the other side acts: a drained consumer waits for data, a
    // producer facing a full ring for a pop. Both keep their full length as the upper bound.
    HANDLE m_dataEvent = nullptr;
    HANDLE m_spaceEvent = nullptr;
    void PauseForData() { WaitForSingleObject(m_dataEvent, 10); }
    void PauseForSpace() { WaitForSingleObject(m_spaceEvent, 1); }
    void SignalData() { SetEvent(m_dataEvent); }
    void SignalSpace() { SetEvent(m_spaceEvent); }
    std::atomic<bool> m_blocking{false};
    std::atomic<bool> m_woken{false};
    std::atomic<bool> m_interrupted{false};
    std::size_t m_usedBytes = 0;
    std::size_t m_maxPacket = 0;
    std::deque<PacketDesc> m_list;
    std::size_t m_ringSize = 0;
};

// What the two locked queues share: each operation of the ring under the queue's own lock, a
// producer that retries a full ring with short unlocked pauses, and the wake-ups after a pop.
class CLockedBuffer : public CCritSecs, public CBuffer {
public:
    explicit CLockedBuffer(int capacity) : CBuffer(capacity) {}

    bool Create(std::size_t ring_bytes, std::size_t max_packet, bool blocking) override;
    void Clear() override;
    void Restart(PacketDesc& d) override;
    bool Advance(PacketDesc& d) override;
    void ResetList() override;

protected:
    // Called locked. Retries a full ring with 1 ms pauses, unlocked; false once the queue is woken
    // or interrupted.
    bool PushWhenRoom(PacketDesc& d);
    // Called locked: a pause of at most 1 ms, unlocked, that a pop or a wake ends early.
    void AwaitSpace()
    {
        Unlock();
        PauseForSpace();
        Lock();
    }
    // Called unlocked with the result of a locked PopUnlocked: releases a producer waiting on
    // the count when `releaseProducer`, tells one facing a full ring that space came free, and
    // takes the pause of a drained list. True when a packet was got.
    bool AfterPop(PopResult r, bool releaseProducer);
};

// The video queue: key-frame gating, records, and a producer that waits while the queue
// holds `capacity` packets.
class CVBuffer2 : public CLockedBuffer {
public:
    explicit CVBuffer2(int capacity) : CLockedBuffer(capacity) {}

    bool Create(std::size_t ring_bytes, std::size_t max_packet, bool blocking) override;
    void Clear() override;
    void Restart(PacketDesc& d) override;
    // True when the packet was queued; false when it was dropped (no key frame yet, no room
    // on a single attempt, too large) or refused because the queue was woken for a stop.
    bool Push(PacketDesc& d) override;
    bool Pop(PacketDesc& d) override;
    void ResetList() override;

    // Packets in the list other than records (including the one in use).
    int MediaCount();
    // Records point into their producer's ring of records, whose slots are reused: at most
    // `limit` records may wait in the queue, further ones are dropped.
    void SetRecordLimit(int limit);
    int KeyFrameState();
    int RecordCount();
    ULONGLONG LastClearTick();

    // For a producer that writes bodies itself (the card source): queues d as it stands,
    // without moving d.data on, then waits until the queue holds at most capacity / 8
    // packets. False when dropped (type 0, a frame before a key frame, too many records, a
    // body not in the ring) or when the queue was woken for a stop.
    bool PushUnsized(const PacketDesc& d);
    // Room for the body at d.data to grow by n bytes (n >= 1, returns where to append) or by
    // -n bytes in front of it (n <= 0, returns where they start), moving the body to the
    // ring's start or near its end when it would leave the ring. Waits while that room holds
    // a body not yet released by the consumer. Null when the body would exceed the largest
    // packet, d does not lie in the ring, or the queue was woken for a stop.
    BYTE* EnsureRoom(PacketDesc& d, int n);

private:
    int MediaCountUnlocked() const { return Count() - m_records; }
    // A packet larger than the reserve is dropped at once; others wait for room (PushWhenRoom).
    bool PushRetrying(PacketDesc& d);
    void WaitWhileFull();

    ULONGLONG m_clearTick = 0;
    int m_records = 0;
    int m_recordLimit = 0x7FFFFFFF;
    int m_keyState = -1;
};

// The audio queue: the producer retries a full ring but never waits on the event.
class CABuffer2 : public CLockedBuffer {
public:
    explicit CABuffer2(int capacity) : CLockedBuffer(capacity) {}

    bool Push(PacketDesc& d) override;
    bool Pop(PacketDesc& d) override;

    // When set, a push that fills a blocking queue to its capacity discards the oldest
    // packet waiting behind the one in use. Off after construction.
    void SetDropOldestWhenFull(bool on);
    int LockedCount();
    // Tests see each packet the consumer takes, on the consumer's thread. Set while no
    // consumer runs.
    void SetPopTap(std::function<void(const PacketDesc&)> tap) { m_popTap = std::move(tap); }

private:
    bool m_dropOldest = false;
    std::function<void(const PacketDesc&)> m_popTap;
};

// Planar 4:2:0 helpers of the video thread.
struct Yuv420Planes {
    BYTE* plane[4] = {};
    int stride[4] = {};
};
// Y at base (stride width), U at base + w*h and V at base + w*h*5/4 (stride width/2).
Yuv420Planes SetYuv420Planes(BYTE* base, int width, int height);
// Copies `rows` luma rows of `width` bytes and the matching chroma rows (one U and one V row
// per pair of luma rows).
void CopyYuv420Rows(const Yuv420Planes& dst, const Yuv420Planes& src, int width, int rows);
void CopyPlaneSet(Yuv420Planes& dst, const Yuv420Planes& src);
