#include "engine/MediaCtx.h"

#include "engine/EngineMessages.h"
#include "engine/FpsCtrl.h"
#include "engine/JtvCtrl.h"
#include "engine/Osd.h"
#include "engine/PacketQueue.h"
#include "engine/TsParse.h"
#include "engine/Snapshot.h"
#include "platform/base/clock.h"
#include "platform/gdi/gdi.h"
#include "platform/media/presenter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

CVideoCtx::CVideoCtx(CJtvCtrl* engine, int channel) : m_engine(engine), m_channel(channel) {}

CVideoCtx::~CVideoCtx()
{
    Stop(INFINITE);
    CloseH264Decoder(m_decoder);
}

CFpsCtrl* CVideoCtx::Clock()
{
    if (m_engine == nullptr || m_channel < 0 || m_channel >= kJtvChannels)
        return nullptr;
    return m_engine->m_fps[m_channel].get();
}

CVBuffer2* CVideoCtx::Queue()
{
    if (m_engine == nullptr || m_channel < 0 || m_channel >= kJtvChannels)
        return nullptr;
    CVBuffer2* q = m_engine->m_videoQueue[m_channel];
    return q != nullptr ? q : &m_engine->m_channel.VideoQueue();
}

bool CVideoCtx::Start()
{
    if (HasThread() && IsThreadAlive())
        return false;
    {
        CCritSecsLock lock(m_bufferLock);
        if (m_bufferWidth == 0) {
            SetPictureSize(0, 0);
            if (!OpenH264Decoder(m_decoder, 0, 0, 0))
                return false;
        } else {
            std::uint8_t* bytes = RewriteBackBuffer();
            std::fill_n(bytes, static_cast<std::size_t>(m_bufferWidth) * m_bufferHeight * 4, std::uint8_t{0});
        }
        // Nothing of this run is on the screen: a snapshot saves the cleared buffer.
        m_presented.reset();
    }
    m_firstPicture = true;
    m_lastShownTime = 0;
    // Nothing of this run is on the screen yet: a resumption asked for before its first picture
    // must not go back to where the last run was.
    m_shownPts.store(0, std::memory_order_relaxed);
    {
        CCritSecsLock lock(m_placeLock);
        m_shownPlace.valid = false;
        m_placePending = false;
        m_backPending = false;
    }
    // A new run shows no vehicle values before its own arrive.
    m_obd = ObdValues{};
    m_obdPosition = 0;
    m_restartSync = true;
    m_needKey = false;
    m_lastPicturePts = -1;
    m_lastSpeed = m_engine->m_playSpeed.load(std::memory_order_relaxed);
    // The last run may have ended without an end of stream, with pictures still held for
    // reordering: they must not come out as this run's first.
    FlushDecoder();
    m_flushAtKey = false;
    m_fresh = false;
    m_endTold = false;
    m_placePts = -1;
    // What this run shows is read after the demultiplexer's latest restart.
    m_markerSerial = m_runSerial = m_engine->m_channel.Demux().RestartSerial();
    return CMyThread::Start();
}

void CVideoCtx::Stop(DWORD timeout_ms)
{
    RequestStop();
    if (CFpsCtrl* clock = Clock())
        clock->Wake();
    CMyThread::Stop(timeout_ms);
    if (HasThread())
        return;  // still running: its state is its own until it ends
    m_currentTimestamp = 0;
    m_firstPicture = true;
    m_keyCount = m_otherCount = m_groupCount = 0;
    m_currentRate = 0;
}

bool CVideoCtx::CopyBackBuffer(std::vector<std::uint8_t>& out, int* width, int* height)
{
    CCritSecsLock lock(m_bufferLock);
    if (m_bufferWidth <= 0 || m_bufferHeight <= 0)
        return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(m_backBuffer->pixels.data());
    out.assign(bytes, bytes + static_cast<std::size_t>(m_bufferWidth) * m_bufferHeight * 4);
    *width = m_bufferWidth;
    *height = m_bufferHeight;
    return true;
}

bool CVideoCtx::CaptureSurface()
{
    // Saved where it lies, under the buffer's lock, so that no next picture replaces it halfway.
    CCritSecsLock lock(m_bufferLock);
    // The picture on the screen, not one decoded after it and still waiting for its present.
    const bool presented = m_presented != nullptr;
    const std::shared_ptr<SharedPicture>& picture = presented ? m_presented : m_backBuffer;
    const int width = presented ? m_presentedWidth : m_bufferWidth;
    const int height = presented ? m_presentedHeight : m_bufferHeight;
    if (width <= 0 || height <= 0 || picture == nullptr ||
        m_engine->m_snapshotPending[m_channel].load(std::memory_order_relaxed) == 0)
        return false;
    HBITMAP bitmap = gdi::CreateBitmapOver(width, height, picture->pixels.data(), width * 4);
    HDC dc = bitmap != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
    bool saved = false;
    if (dc != nullptr) {
        HGDIOBJ previous = SelectObject(dc, bitmap);
        saved = SaveSnapshot(*m_engine, m_channel, dc, width, height);
        SelectObject(dc, previous);
        DeleteDC(dc);
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    return saved;
}

bool CVideoCtx::ShownPlace(std::int64_t* pts, int* position, std::int32_t* time, int* serial)
{
    CCritSecsLock lock(m_placeLock);
    if (!m_shownPlace.valid)
        return false;
    *pts = m_shownPlace.pts;
    *position = m_shownPlace.position;
    *time = m_shownPlace.time;
    if (serial != nullptr)
        *serial = m_shownPlace.serial;
    return true;
}

CarInfoRecord CVideoCtx::CurrentRecord()
{
    CCritSecsLock lock(m_recordLock);
    return m_record;
}

void CVideoCtx::FollowFiles(std::int32_t time)
{
    // The file index names the file of the picture on the screen from the moment it is there
    // (not when it is decoded: one called off never was), however many files a seek or a
    // selection moved over.
    if (time <= 0)
        return;
    for (int n = 0; n < 4096; ++n) {
        const int before = m_engine->m_prevFileIndex.load(std::memory_order_relaxed);
        m_engine->FollowFileList(time);
        if (m_engine->m_prevFileIndex.load(std::memory_order_relaxed) == before)
            break;
    }
}

void CVideoCtx::Redraw()
{
    std::int32_t presentedTime = 0;
    int request = m_redraw.exchange(0, std::memory_order_relaxed);
    if (request == 1) {
        // Channels present together: this one is ready, and its present stays asked for until
        // every channel is (with one channel its own readiness is the whole rendezvous).
        m_engine->SetFrameReady(m_channel);
        if (!m_engine->FrameRendezvous()) {
            m_redraw.store(1, std::memory_order_relaxed);
            request = 0;
        }
    }
    if (request == 1) {
        CCritSecsLock lock(m_bufferLock);
        if (m_bufferWidth > 0 && m_bufferHeight > 0) {
            // Stretched through the crop rectangle, or the whole picture letter-boxed.
            PresentRequest present;
            present.keep_aspect = m_flag.load(std::memory_order_relaxed) != 0;
            const CropRect crop = m_engine->Crop(m_channel);
            present.source = {crop.left, crop.top, m_bufferWidth + crop.right, m_bufferHeight + crop.bottom};
            if (HWND window = m_engine->m_channel.RenderWindow())
                PresentToWindow(window, m_bufferWidth, m_bufferHeight, m_backBuffer, present);
            m_presented = m_backBuffer;
            m_presentedWidth = m_bufferWidth;
            m_presentedHeight = m_bufferHeight;
            m_presents.fetch_add(1, std::memory_order_relaxed);
            m_fresh = false;
            ShownPlaceState back;
            {
                CCritSecsLock placeLock(m_placeLock);
                if (m_placePending) {
                    m_shownPlace = m_decodedPlace;
                    presentedTime = m_shownPlace.time;
                    m_placePending = false;
                    if (m_backPending)
                        back = m_decodedPlace;
                    m_backPending = false;
                }
            }
            // Forward play after backward play goes on from the last key picture on the screen,
            // not from one called off before its present.
            if (back.valid)
                m_engine->m_channel.Demux().StepBackTarget(back.pts, back.position, back.time, back.serial);
        }
    } else if (request == 2) {
        CCritSecsLock lock(m_bufferLock);
        if (m_bufferWidth > 0 && m_bufferHeight > 0) {
            std::uint8_t* bytes = RewriteBackBuffer();
            std::fill_n(bytes, static_cast<std::size_t>(m_bufferWidth) * m_bufferHeight * 4, std::uint8_t{0});
        }
    }
    FollowFiles(presentedTime);
}

std::uint8_t* CVideoCtx::RewriteBackBuffer()
{
    // Neither the picture the presenter holds nor the one presented last is written over.
    const auto taken = [this](const std::shared_ptr<SharedPicture>& b) { return b == nullptr || b->InUse() || b == m_presented; };
    if (taken(m_backBuffer)) {
        std::swap(m_backBuffer, m_spareBuffer);
        if (taken(m_backBuffer))
            m_backBuffer = std::make_shared<SharedPicture>();
    }
    m_backBuffer->pixels.resize(static_cast<std::size_t>(m_bufferWidth) * static_cast<std::size_t>(m_bufferHeight));
    return reinterpret_cast<std::uint8_t*>(m_backBuffer->pixels.data());
}

CAudioCtx* CVideoCtx::Sound() const
{
    CAudioCtx* audio = m_engine->m_audioCtx[m_channel];
    if (audio == nullptr && m_channel == 0)
        audio = &m_engine->m_channel.AudioCtx();
    return audio;
}

void CVideoCtx::ResumeSound(double speed)
{
    // A frame step stays silent; play resumes the sound, whose clock starts again from it
    // (the wall clock ran on meanwhile).
    CAudioCtx* audio = Sound();
    if (audio == nullptr || !audio->Paused() || !IsRunning() || Paused() || speed == 0 || IsFrameStep(speed))
        return;
    audio->SetPaused(false);
    if (AudioClockAnchor* anchor = m_engine->Anchor(m_channel))
        anchor->RequestResync();
}

void CVideoCtx::WaitWhilePaused()
{
    if (CAudioCtx* audio = Sound())
        audio->SetPaused(true);
    while (IsRunning() && Paused()) {
        Redraw();
        Sleep(10);
    }
    ResumeSound(m_engine->m_playSpeed.load(std::memory_order_seq_cst));
    if (CFpsCtrl* clock = Clock())
        clock->BeginFrame();
}

bool CVideoCtx::HoldUnchanged(DWORD ms, double speed, unsigned requests, bool speedCounts)
{
    const CTSAnalyse& demux = m_engine->m_channel.Demux();
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        if (!IsRunning() || demux.Requests() != requests ||
            (speedCounts && m_engine->m_playSpeed.load(std::memory_order_relaxed) != speed))
            return false;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return true;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(10, deadline - now)));
    }
}

bool CVideoCtx::TakeSpeed(CTSAnalyse& demux, double speed, bool turned)
{
    // Whatever the change (speed, direction, pause or step), play goes on from the next
    // picture as if it started there. Back at normal speed the sound is read again from the
    // picture on the screen: what was read meanwhile lies far ahead; so is slower play or a
    // step forward after fast play, whose next pictures were left out. Reading that turned
    // from backwards started both queues there already; read again, the pictures shown since
    // the turn would come a second time. (An export reads each frame once.)
    // A turn read at another speed than normal left its sound out (a turn forward at 2x,
    // paused at once, then 1x): read again too.
    const bool resume = !demux.ExportMode() && ((!turned && (speed == 1.0 || (speed > 0 && speed < 2.0 && m_needKey))) ||
                                                (turned && speed == 1.0 && demux.SoundLeftOut()));
    m_lastSpeed = speed;
    // Play taken up again without passing through the pause (a step that found no picture,
    // then 1x): the sound the step silenced comes back.
    ResumeSound(speed);
    m_restartSync = true;
    if (!resume)
        return false;
    std::int64_t pts = 0;
    int position = 0, serial = 0;
    std::int32_t time = 0;
    // With nothing of this run on the screen, the reader goes back to the run's start.
    if (!ShownPlace(&pts, &position, &time, &serial))
        position = -1;
    demux.ResumeAt(pts, position, time, serial);
    return true;
}

void CVideoCtx::PauseAfterStep()
{
    m_paused.store(true, std::memory_order_seq_cst);
    // A play speed set since the step was read must not end up paused.
    const double now = m_engine->m_playSpeed.load(std::memory_order_seq_cst);
    if (now != 0 && !IsFrameStep(now))
        m_paused.store(false, std::memory_order_seq_cst);
}

bool CVideoCtx::LeftFastPlay(double speed) const
{
    const double now = m_engine->m_playSpeed.load(std::memory_order_relaxed);
    return now != speed && !(now >= 2.0);
}

bool CVideoCtx::Current(const CTSAnalyse& demux)
{
    // The reader answers each request at its next pass; this bound only keeps a reader that
    // no longer reads from holding the screen forever.
    constexpr ULONGLONG kAnswerMs = 3000;
    const ULONGLONG deadline = GetTickCount64() + kAnswerMs;
    while (demux.RequestsOutstanding() || m_engine->m_speedChanging.load(std::memory_order_seq_cst) != 0) {
        if (!IsRunning() || GetTickCount64() >= deadline)
            return false;
        if (m_redraw.load(std::memory_order_relaxed) != 0 && !m_fresh)
            Redraw();
        Sleep(1);
    }
    return demux.RestartSerial() == m_markerSerial;
}

bool CVideoCtx::HoldEnd(const CTSAnalyse& demux, unsigned requests, double speed)
{
    ULONGLONG deadline = GetTickCount64() + 1000;
    for (;;) {
        if (!IsRunning())
            return false;
        // A request that left play where it was (a seek outside the recording, a turn asked
        // and taken back, a file that cannot be opened) leaves the end to be reported.
        if (demux.Requests() != requests) {
            if (!Current(demux))
                return false;
            requests = demux.Requests();
        }
        // Fast play ended at its last key picture: slower play or a step goes on from there,
        // and a pause holds the end until play goes on (fast play that follows stands there).
        double now = m_engine->m_playSpeed.load(std::memory_order_seq_cst);
        if (now == 0 && m_needKey) {
            WaitWhilePaused();
            deadline = GetTickCount64() + 1000;
            continue;  // decided afresh by the speed play goes on at
        }
        if (now != speed && m_needKey && now > 0 && now < 2.0)
            return false;
        const ULONGLONG tick = GetTickCount64();
        if (tick >= deadline)
            return Current(demux);
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(10, deadline - tick)));
    }
}

void CVideoCtx::TakeRecord(const PacketDesc& packet, double speed)
{
    if (speed >= 2.0) {
        const int every = static_cast<int>(speed + 1.0);
        if (every > 0 && (m_keyCount + m_otherCount) % every != 0)
            return;
    }
    if (packet.data == nullptr || packet.size < static_cast<std::int32_t>(sizeof(CarInfoRecord)))
        return;
    CarInfoRecord record;
    std::memcpy(&record, packet.data, sizeof record);
    if (!record.IsValid())
        return;
    {
        CCritSecsLock lock(m_recordLock);
        m_record = record;
    }
    m_engine->m_sourceBox.SetCarInfo(record);
    m_engine->PostNotify(WM_JTV_CARINFO, 0);
}

bool CVideoCtx::ShowFrame()
{
    AVFrame* frame = m_decoder.frame;
    if (frame->width <= 0 || frame->height <= 0)
        return false;
    bool resized = false;
    {
        CCritSecsLock lock(m_bufferLock);
        if (frame->width != m_bufferWidth || frame->height != m_bufferHeight) {
            m_bufferWidth = frame->width;
            m_bufferHeight = frame->height;
            resized = true;
        }
        if (m_decoder.bitsPerPixel != 32)
            m_decoder.bitsPerPixel = 32;
        // The scaler follows the picture's own format and range, not an assumed 4:2:0.
        if (!FitH264Scaler(m_decoder, frame)) {
            m_bufferWidth = m_bufferHeight = 0;
            m_backBuffer.reset();
            m_spareBuffer.reset();
            SetPictureSize(0, 0);
            return false;
        }
        // A snapshot taken before belongs to the picture that goes now.
        m_engine->m_snapshotBlocked.store(1, std::memory_order_release);
        m_engine->m_snapshotTaken.store(0, std::memory_order_release);
        // Every pixel is written by the scaler, so the buffer's old content never shows.
        std::uint8_t* planes[4] = {RewriteBackBuffer(), nullptr, nullptr, nullptr};
        int strides[4] = {m_bufferWidth * 4, 0, 0, 0};
        sws_scale(m_decoder.scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        DrawChannelOsd(*m_engine, m_channel, m_obd, static_cast<std::uint64_t>(m_pictureTimestamp), planes[0],
                       m_bufferWidth, m_bufferHeight);
        m_engine->m_snapshotBlocked.store(0, std::memory_order_release);
    }
    if (resized) {
        SetPictureSize(frame->width, frame->height);
        m_engine->PostNotify(WM_JTV_VIDEOSIZE, m_channel);
    }
    return true;
}

void CVideoCtx::DrainOrFlush()
{
    if (m_flushAtKey) {
        FlushDecoder();
        m_flushAtKey = false;
    } else {
        DecodePacket(nullptr);
    }
}

void CVideoCtx::FlushDecoder()
{
    if (m_decoder.context != nullptr)
        avcodec_flush_buffers(m_decoder.context);
    m_inDecoder.clear();
}

int CVideoCtx::DecodePacket(const PacketDesc* packet)
{
    AVCodecContext* ctx = m_decoder.context;
    if (ctx == nullptr && !OpenH264Decoder(m_decoder, 0, 0, 0))
        return 0;
    ctx = m_decoder.context;
    AVPacket* pkt = m_decoder.packet;
    int sent;
    if (packet != nullptr) {
        av_packet_unref(pkt);
        pkt->data = packet->data;
        pkt->size = packet->size;
        // The packet's time stamp comes back with its picture, which with reordered frames is
        // not the picture this packet brings out.
        pkt->pts = packet->pts;
        sent = avcodec_send_packet(ctx, pkt);
        pkt->data = nullptr;
        pkt->size = 0;
        if (sent >= 0) {
            m_inDecoder.push_back(InDecoder{packet->pts, packet->time, packet->position});
            if (m_inDecoder.size() > kMaxInDecoder)
                m_inDecoder.pop_front();
        }
    } else {
        sent = avcodec_send_packet(ctx, nullptr);
    }
    int shown = 0;
    if (sent >= 0 || sent == AVERROR(EAGAIN)) {
        for (;;) {
            const int got = avcodec_receive_frame(ctx, m_decoder.frame);
            if (got < 0)
                break;
            // The picture's own time and place, from the packet that carried it.
            InDecoder own{packet != nullptr ? packet->pts : m_pictureTimestamp,
                          packet != nullptr ? packet->time : 0,
                          packet != nullptr ? packet->position : m_lastShownPosition.load(std::memory_order_relaxed)};
            const std::int64_t pts = m_decoder.frame->best_effort_timestamp;
            if (pts != AV_NOPTS_VALUE) {
                own.pts = pts;
                const auto it = std::find_if(m_inDecoder.begin(), m_inDecoder.end(),
                                             [pts](const InDecoder& d) { return d.pts == pts; });
                if (it != m_inDecoder.end()) {
                    own = *it;
                    m_inDecoder.erase(it);
                }
            }
            if (shown > 0) {
                // Every picture is presented, not only the last one of a burst.
                m_redraw.store(1, std::memory_order_relaxed);
                Redraw();
            }
            if (m_skipping) {
                // Read again only to reach the picture on the screen: decoded, not shown.
                // The files of a set start their stream times again: a later second is ahead.
                const std::int64_t behind = m_skipThrough - own.pts;
                const bool laterFile = own.time > 0 && m_skipTime > 0 && own.time > m_skipTime;
                if (!laterFile && behind >= 0 && behind < kSkipSpanUs && ++m_skipped < kMaxSkipped) {
                    av_frame_unref(m_decoder.frame);
                    continue;
                }
                m_skipping = false;
            }
            m_pictureTimestamp = own.pts;
            if (ShowFrame()) {
                ++shown;
                CountShown(own.position, own.time, own.pts);
                ConvertForExport(packet);
            }
            av_frame_unref(m_decoder.frame);
        }
    }
    if (packet == nullptr)
        FlushDecoder();  // a drained decoder takes packets again only after a flush
    return shown;
}

DWORD CVideoCtx::Run()
{
    CFpsCtrl* clock = Clock();
    CVBuffer2* queue = Queue();
    if (clock == nullptr || queue == nullptr)
        return 1;
    m_currentRate = m_engine->ClockFps(m_channel);
    Sleep(10);
    clock->BeginFrame();
    m_engine->MarkClock(m_channel);

    PacketDesc packet;
    const auto& enableVideo = m_engine->m_enableVideo[m_channel];
    while (IsRunning() && enableVideo.load(std::memory_order_relaxed) == 0) {
        if (!queue->Pop(packet))
            Sleep(10);
    }

    struct Presenting {
        std::atomic<bool>& flag;
        explicit Presenting(std::atomic<bool>& f) : flag(f) { flag.store(true, std::memory_order_relaxed); }
        ~Presenting() { flag.store(false, std::memory_order_relaxed); }
    } presenting(m_presenting);
    m_skipping = false;
    bool stepBackDone = false;
    int stepDropped = 0;
    bool lastBackward = false;
    CTSAnalyse& demux = m_engine->m_channel.Demux();
    while (IsRunning()) {
        m_engine->SecondTick();
        // The picture decoded last waited for its time: a request carried out meanwhile by
        // starting over elsewhere leaves it off the screen.
        if (m_fresh) {
            const bool current = Current(demux);
            m_fresh = false;
            const double now = m_engine->m_playSpeed.load(std::memory_order_seq_cst);
            // Fast play's key picture is not shown once play left fast play for normal or slower
            // play or a step: that goes on from the picture on the screen.
            const bool leftFast = m_freshSpeed >= 2.0 && now > 0 && now < 2.0;
            if (!current || leftFast) {
                int shown = 1;
                m_redraw.compare_exchange_strong(shown, 0, std::memory_order_relaxed);
                RestoreScreen();
                if (leftFast)
                    m_needKey = true;  // the pictures after it were left out
            } else if (IsFrameStep(now) && !IsFrameStep(m_freshSpeed) && m_freshSpeed != 0 &&
                       (now > 0) == (m_freshSpeed > 0)) {
                // A step asked for while the next picture waited for its time: that picture is
                // the step's (a second one would make the step two).
                PauseAfterStep();
            }
        }
        if (m_redraw.load(std::memory_order_relaxed) != 0)
            Redraw();

        const int target = m_flushTarget.load(std::memory_order_relaxed);
        if (target != 0) {
            m_flushing.store(true, std::memory_order_relaxed);
            m_firstPicture = true;
            m_lastShownPosition.store(target, std::memory_order_relaxed);
            m_lastShownTime = 0;
            m_placePts = -1;
            queue->Clear();
            FlushDecoder();
            m_restartSync = true;
        } else {
            m_flushing.store(false, std::memory_order_relaxed);
        }
        if (target == 0 && Paused() && !m_firstPicture) {
            // The queued packets wait for play to go on, in whichever direction it then takes:
            // taken now, they would be judged against a speed of 0. (A run started paused
            // shows its first picture.)
            m_lastSpeed = m_engine->m_playSpeed.load(std::memory_order_seq_cst);
            WaitWhilePaused();
            continue;
        }

        // Read before the queue: a drain asked for after the last push is answered only once
        // the queue is seen empty after it.
        const LONG drain = m_drainRequest.load(std::memory_order_seq_cst);
        if (!queue->Pop(packet) || target != 0) {
            if (drain != m_drainDone.load(std::memory_order_relaxed)) {
                if (target == 0)
                    DrainOrFlush();
                m_drainDone.store(drain, std::memory_order_seq_cst);
            }
            m_idle.store(true, std::memory_order_relaxed);
            // Play changed with nothing queued (at the end of the input): the change is taken
            // now, for no packet would bring it (a step from the last key picture fast play
            // showed reads again from there). A turn is the reader's own.
            const double speed = m_engine->m_playSpeed.load(std::memory_order_relaxed);
            if (target == 0 && speed != m_lastSpeed && speed != 0 && (speed < 0) == lastBackward)
                TakeSpeed(demux, speed, false);
            clock->BeginFrame();
            Sleep(10);
            continue;
        }
        m_idle.store(false, std::memory_order_relaxed);

        if (packet.type == PKT_MARKER) {
            // The demultiplexer started over (seek, file, direction, resumption) at a key
            // picture: pictures held from before must not come out after it, and play is paced
            // afresh from it. Taken whichever way it was read: a place it begins holds for the
            // play that follows.
            m_flushAtKey = true;
            m_restartSync = true;
            m_markerSerial = packet.time;
            m_skipping = packet.rate == kMarkerResume;  // read again up to the shown picture
            m_skipThrough = m_shownPts.load(std::memory_order_relaxed);
            m_skipTime = m_lastShownTime;
            m_skipped = 0;
            // Reading started over: a step back passes over what it brings first that is not
            // before the screen's picture, even when the step before it was done (a step back,
            // a turn forward taken at once, then a step back again).
            stepBackDone = false;
            stepDropped = 0;
            if (packet.rate == kMarkerPlace || packet.stream - m_runSerial > 0) {
                // A seek or a file chosen: steps and play after backward play are placed from
                // where it went, not from the picture still on the screen.
                m_runSerial = packet.stream;
                m_lastShownPosition.store(packet.position, std::memory_order_relaxed);
                m_lastShownTime = 0;
                m_placePts = -1;
            }
            continue;
        }
        // Read before the user's latest request was carried out, the packet may belong to the
        // place or direction play has left (the speed is read after that answer too).
        if (!Current(demux))
            continue;
        double speed = m_engine->m_playSpeed.load(std::memory_order_relaxed);
        const bool backwardPacket = packet.direction < 0;
        // A pause keeps the direction of the play it holds.
        const bool backwardPlay = speed < 0 || (speed == 0 && demux.Direction() == 1);
        if (backwardPlay != backwardPacket)
            continue;
        const bool turned = backwardPacket != lastBackward;
        if (turned) {
            // References from the other direction must not reach the next pictures.
            lastBackward = backwardPacket;
            FlushDecoder();
        }
        if (speed != m_lastSpeed && TakeSpeed(demux, speed, turned) && !Current(demux))
            continue;  // read before the resumption
        const unsigned requests = demux.Requests();
        if (speed >= 0 ? packet.position > m_obdPosition + 5 : packet.position < m_obdPosition - 5) {
            // A jump in the play position: the vehicle values belong to another moment.
            m_obdPosition = 0;
            m_obd.valid = false;
        }

        const auto ts = static_cast<std::uint64_t>(packet.pts);
        const auto jump = static_cast<std::int32_t>(static_cast<std::uint32_t>(ts - m_currentTimestamp));
        if (m_firstPicture || std::llabs(static_cast<long long>(jump)) > 1000000)
            clock->Reset(static_cast<std::uint32_t>(m_currentTimestamp));
        m_currentTimestamp = ts;

        const int type = packet.type;
        if (type == PKT_KEY_FRAME || type == PKT_FRAME) {
            // A jump in the pictures' time (another file of a set): the synchronisation starts
            // over. Reordered pictures differ by far less.
            const std::int64_t step = packet.pts - m_lastPicturePts;
            if (m_lastPicturePts >= 0 && (step > 1000000 || step < -1000000))
                m_restartSync = true;
            m_lastPicturePts = packet.pts;
        }
        if (type == PKT_KEY_FRAME || type == PKT_FRAME)
            clock->BeginFrame();

        bool decode = true;
        bool stale = false;
        switch (type) {
        case PKT_NONE:
        case PKT_CARD_RESET:
            continue;
        case PKT_END_OF_STREAM: {
            // Pictures the decoder still holds are shown first, then it starts afresh; the end
            // of the input is reported once the last picture has been on the screen a while,
            // and once while play stands there (read again to the screen's picture, a second
            // end shows nothing new). After a restart with no picture since (a file without
            // pictures), what the decoder holds is from before it.
            DrainOrFlush();
            if (m_redraw.load(std::memory_order_relaxed) != 0)
                Redraw();
            const std::uint64_t shown = m_shown.load(std::memory_order_relaxed);
            const bool told = m_endTold && m_endShown == shown && m_endRun == m_runSerial;
            if (m_engine->m_open.load(std::memory_order_relaxed) != 0 && !told && HoldEnd(demux, requests, speed)) {
                m_engine->PostNotify(WM_JTV_PLAYEND, m_channel);  // this channel's pictures ended
                m_endTold = true;
                m_endShown = m_shown.load(std::memory_order_relaxed);
                m_endRun = m_runSerial;
            }
            continue;
        }
        case PKT_TIME_CODE:
            if (packet.data != nullptr && packet.size >= 20) {
                std::uint64_t t = 0;
                for (int i = 4; i < 20; ++i)
                    t = (t << 4) | (packet.data[i] & 0x0F);
                m_currentTimestamp = t;
                if (m_firstPicture)
                    clock->Reset(static_cast<std::uint32_t>(t));
            }
            continue;
        case PKT_OBD_TEXT:
            if (packet.data != nullptr && packet.size > 0)
                ParseObdHexText(reinterpret_cast<const char*>(packet.data), static_cast<std::size_t>(packet.size),
                                packet.position, m_obd);
            m_obdPosition = packet.position;
            continue;
        case PKT_CAR_INFO:
            TakeRecord(packet, speed);
            continue;
        case PKT_KEY_FRAME: {
            // Until it reaches the decoder, what follows it has no references: a key picture
            // passed over for any reason leaves the rest of its group undecodable.
            m_needKey = true;
            const DWORD sleep = speed < 0 && speed != -1.1 ? 650
                                : speed == 2.0             ? 500
                                : speed == 4.0             ? 300
                                : speed == 8.0             ? 100
                                                           : 0;
            // The sleep ends as play changes. A key picture held back by fast play is shown at
            // another fast speed (it is the next one there too), not when play left fast play:
            // that goes on from the picture on the screen. (Requests are judged before
            // decoding, backward play's own changes below.)
            if (sleep > 0 && !HoldUnchanged(sleep, speed, requests)) {
                // A pause holds it: fast play that follows shows it next, as nothing reads it
                // again for fast play.
                if (speed > 0 && demux.Requests() == requests &&
                    m_engine->m_playSpeed.load(std::memory_order_seq_cst) == 0) {
                    WaitWhilePaused();
                    if (const double now = m_engine->m_playSpeed.load(std::memory_order_seq_cst); now >= 2.0)
                        speed = now;
                }
                stale = speed > 0 && LeftFastPlay(speed);
            }
            // A sequence parameter set starts a new group: the pictures since the last one are
            // the group length that the statistics show. It is known by its NAL type, behind a
            // start code of either length and with any reference level.
            if (packet.data != nullptr && packet.size > 0 && m_groupCount > 0 &&
                ts::ScanAccessUnit(packet.data, static_cast<std::size_t>(packet.size)).sps) {
                m_engine->m_piValue[m_channel].store(m_groupCount, std::memory_order_relaxed);
                m_groupCount = 0;
            }
            ++m_keyCount;
            if (speed >= 2.0 && speed < 8.0 && !stale &&
                packet.position > m_lastShownPosition.load(std::memory_order_relaxed) + 2 &&
                !HoldUnchanged(250, speed, requests))
                stale = LeftFastPlay(speed);
            if (speed > 8.0) {
                const int every = static_cast<int>(speed / 4);
                if (every > 1 && m_keyCount % every != 0)
                    decode = false;
            }
            break;
        }
        case PKT_FRAME:
            ++m_otherCount;
            ++m_groupCount;
            if (static_cast<int>(speed) != -1 && speed >= 2.0) {
                decode = false;
                // The pictures the decoder holds for reordering are the next ones: out now,
                // not behind the next key picture.
                if (!m_needKey)
                    DecodePacket(nullptr);
                m_needKey = true;  // what follows it cannot be decoded before the next key picture
            }
            break;
        default:
            break;
        }
        if (!decode || stale || !IsRunning())
            continue;
        if (speed < 0 && m_engine->m_playSpeed.load(std::memory_order_relaxed) != speed) {
            // Backward play changed during this key picture's sleep. A pause holds it: it is the
            // next picture back when backward play or a step back follows. Otherwise (forward
            // play, or a place, file or turn asked for meanwhile, carried out or not yet) it
            // belongs to the play that ended.
            double now = m_engine->m_playSpeed.load(std::memory_order_seq_cst);
            if (now == 0 || Paused()) {
                WaitWhilePaused();
                now = m_engine->m_playSpeed.load(std::memory_order_seq_cst);
            }
            if (!(now < 0) || !IsRunning() || !Current(demux))
                continue;
            speed = now;
            m_lastSpeed = speed;
        }
        if (type == PKT_FRAME && m_needKey)
            continue;  // its references were left out (fast play, a key picture passed over)
        if (packet.data == nullptr || packet.size <= 0)
            continue;  // an empty packet would end the decoder's stream

        // A step backward shows the first picture before the one on the screen; it gives up
        // eventually. At a place sought, with no picture of it shown yet, backward reading began
        // at or before the place: its first picture is the step's. (Forward play after backward
        // play goes on after the last picture shown: the reader reads again from there, and its
        // marker passes over what the screen has shown.)
        if (speed == -1.1) {
            // Stream times start again with each file of a set: the calendar second, when both
            // are known, tells which of two places lies later.
            const bool notBefore = m_lastShownTime > 0 && packet.time > 0 && packet.time != m_lastShownTime
                                       ? packet.time > m_lastShownTime
                                       : packet.pts >= m_placePts;
            if (!stepBackDone && m_placePts >= 0 && notBefore && ++stepDropped < 400)
                continue;
            stepBackDone = true;
        } else {
            stepBackDone = false;
        }
        stepDropped = 0;

        // Slow play sleeps before each picture it shows (only those: the ones passed over above,
        // and those read again to reach the picture on the screen, go at once).
        if (type == PKT_FRAME && !m_skipping) {
            if (const DWORD slow = speed == 0.125 ? 360 : speed == 0.25 ? 180 : speed == 0.5 ? 90 : 0)
                HoldUnchanged(slow, speed, requests);
        }
        // A request made during a sleep: its answer decides.
        if (!Current(demux))
            continue;
        if (m_flushAtKey && type == PKT_KEY_FRAME) {
            FlushDecoder();
            m_flushAtKey = false;
        }
        if (type == PKT_KEY_FRAME)
            m_needKey = false;
        m_engine->AddBytes(m_channel, packet.size);
        SaveScreen();
        int shown = DecodePacket(&packet);
        if ((speed < 0 || speed >= 2.0) && type == PKT_KEY_FRAME) {
            // Only key pictures are decoded backwards and in fast play: a decoder that keeps
            // pictures back for reordering would show each one only after the next ones.
            shown += DecodePacket(nullptr);
            m_needKey = true;  // the drain flushed its references: the pictures after it need the next key
        }
        if (shown == 0)
            continue;
        m_fresh = true;
        m_freshSpeed = speed;
        if (speed < 0 && type == PKT_KEY_FRAME) {
            CCritSecsLock lock(m_placeLock);
            m_backPending = m_placePending;
        }

        if (packet.rate != 0 && std::fabs(speed) * packet.rate != m_currentRate) {
            m_currentRate = std::fabs(speed) * packet.rate;
            m_engine->SetClockFps(m_channel, m_currentRate);
        }
        if (speed == 1.1 || speed == -1.1) {
            speed = 0;
            PauseAfterStep();
        }
        if (Paused() || speed == 0) {
            Redraw();
            WaitWhilePaused();
            continue;
        }
        if (!m_syncOff.load(std::memory_order_relaxed)) {
            m_engine->SetClockRate(speed);
            const int rate = static_cast<int>(speed) < 0 ? -packet.rate : packet.rate;
            // Paced by the shown picture's own time, which with reordered frames is not the
            // time of the packet just decoded.
            if (m_restartSync && speed > 0) {
                m_engine->RestartSync(m_channel, m_pictureTimestamp);
                m_engine->m_restartedSerial.store(m_markerSerial, std::memory_order_release);
                m_restartSync = false;
            }
            m_engine->SyncFrame(m_channel, m_pictureTimestamp, rate);
            clock->Wait();
        }
    }
    return 0;
}

void CVideoCtx::SaveScreen()
{
    CCritSecsLock lock(m_placeLock);
    m_screenBefore = {m_shownPlace, m_lastShownPosition.load(std::memory_order_relaxed),
                      m_shownPts.load(std::memory_order_relaxed), m_lastShownTime, m_placePts, m_shownSerial};
}

void CVideoCtx::RestoreScreen()
{
    {
        // The picture called off leaves the back buffer too: a redraw or a snapshot shows the
        // screen's.
        CCritSecsLock lock(m_bufferLock);
        if (m_presented != nullptr && m_backBuffer != m_presented) {
            m_spareBuffer = m_backBuffer;
            m_backBuffer = m_presented;
            if (m_bufferWidth != m_presentedWidth || m_bufferHeight != m_presentedHeight) {
                m_bufferWidth = m_presentedWidth;
                m_bufferHeight = m_presentedHeight;
                SetPictureSize(m_bufferWidth, m_bufferHeight);
                m_engine->PostNotify(WM_JTV_VIDEOSIZE, m_channel);
            }
        }
    }
    CCritSecsLock lock(m_placeLock);
    m_shownPlace = m_screenBefore.place;
    m_placePending = false;
    m_backPending = false;
    m_lastShownPosition.store(m_screenBefore.position, std::memory_order_relaxed);
    m_shownPts.store(m_screenBefore.pts, std::memory_order_relaxed);
    m_lastShownTime = m_screenBefore.time;
    m_placePts = m_screenBefore.placePts;
    m_shownSerial = m_screenBefore.serial;
}

void CVideoCtx::CountShown(int position, std::int32_t time, std::int64_t pts)
{
    // The shown picture's calendar time is the channel's play position (clock, OSD, file list).
    if (time > 0)
        m_engine->m_channelPlayTime[m_channel].store(time, std::memory_order_relaxed);
    m_firstPicture = false;
    m_redraw.store(1, std::memory_order_relaxed);
    m_lastShownPosition.store(position, std::memory_order_relaxed);
    m_shownPts.store(pts, std::memory_order_relaxed);
    m_lastShownTime = time;
    m_placePts = pts;
    m_shownSerial = m_markerSerial;
    {
        CCritSecsLock lock(m_placeLock);
        // Others learn the screen's place once the picture is on it: one called off before
        // its present never was there.
        m_decodedPlace = {true, pts, position, time, m_markerSerial};
        m_placePending = true;
    }
    m_shown.fetch_add(1, std::memory_order_relaxed);
    m_engine->CountFrame(m_channel);
}

void CVideoCtx::ConvertForExport(const PacketDesc* packet)
{
    // Channel 0's pictures feed the conversion; one picture at a time, under the source's lock.
    if (m_channel != 0 || !m_engine->m_sourceBox.ConversionActive(0))
        return;
    const AVFrame* frame = m_decoder.frame;
    ExportPicture picture;
    for (int i = 0; i < 3; ++i) {
        picture.planes[i] = frame->data[i];
        picture.strides[i] = frame->linesize[i];
    }
    picture.format = frame->format;
    picture.width = frame->width;
    picture.height = frame->height;
    // The picture's own: with reordered frames the packet just sent is another picture's.
    picture.key = frame->key_frame != 0;
    picture.fps = packet != nullptr ? packet->rate : 0;
    // The picture's own time stamp and second (just counted as shown), which tell the clip where
    // a recording's pictures begin: with reordered frames the packet's are another picture's.
    picture.pts = m_pictureTimestamp;
    std::int64_t time = m_lastShownTime;
    if (time <= 0)
        time = packet != nullptr && packet->time > 0 ? packet->time
                                                     : m_engine->m_channelPlayTime[0].load(std::memory_order_relaxed);
    m_engine->m_sourceBox.EncodeFrameForExport(0, time, picture);
}

void CVideoCtx::SetPictureSize(int width, int height)
{
    m_width.store(width, std::memory_order_relaxed);
    m_height.store(height, std::memory_order_relaxed);
}
