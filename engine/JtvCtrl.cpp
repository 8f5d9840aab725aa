#include "engine/JtvCtrl.h"

#include "app/timezone.h"
#include "platform/base/message.h"
#include "platform/media/avifile.h"

#include <ctime>
#include <new>

namespace {

// Seconds west of UTC, as the engine keeps its offset.
LONG RuntimeTimeZone()
{
    return static_cast<LONG>(-StandardUtcOffset());
}

}  // namespace

CJtvCtrl::CJtvCtrl()
    : m_channel(this, &m_export[0]),
      m_sourceBox(this),
      m_timeZone(RuntimeTimeZone())
{
    AVIFileInit();  // the clip writers' library, ready before any export
    m_osdFont.height = 24;
    for (auto& ctx : m_export)
        ctx.SetEngine(this);
}

CJtvCtrl::~CJtvCtrl()
{
    // Workers go first: nothing they use may be freed while they run.
    if (m_currentSource != nullptr) {
        m_currentSource->Stop(INFINITE);
        if (m_currentSource != &m_sourceBox)
            delete m_currentSource;
        m_currentSource = nullptr;
    }
    ReapRetiredSources(true);
    m_channel.Stop();
    m_channel.VideoCtx().Stop(INFINITE);
    m_channel.AudioCtx().Stop(INFINITE);
    for (auto& fps : m_fps)
        fps.reset();
}

bool CJtvCtrl::CreateChannels()
{
    for (int ch = 0; ch < kJtvChannels; ++ch) {
        if (!m_fps[ch]) {
            m_fps[ch].reset(new (std::nothrow) CFpsCtrl(m_framesPerSecond, ch));
            if (!m_fps[ch])
                return false;
        }
    }
    m_videoCtx[0] = &m_channel.VideoCtx();
    m_audioCtx[0] = &m_channel.AudioCtx();
    m_videoQueue[0] = &m_channel.VideoQueue();
    m_audioQueue[0] = &m_channel.AudioQueue();
    return true;
}

void CJtvCtrl::CloseSource()
{
    // Every worker is told to stop and every queue woken before any of them is waited for,
    // so that no thread stays blocked on a queue whose other side is already waited for.
    if (m_currentSource != nullptr)
        m_currentSource->RequestStop();
    m_channel.VideoCtx().RequestStop();
    m_channel.AudioCtx().RequestStop();
    for (int ch = 0; ch < kJtvChannels; ++ch) {
        if (m_videoQueue[ch] != nullptr)
            m_videoQueue[ch]->Wake();
        if (m_audioQueue[ch] != nullptr)
            m_audioQueue[ch]->Wake();
    }
    if (m_currentSource != nullptr) {
        const DWORD wait = m_sourceBox.FastStop() == 1 ? kFastStopWaitMs : kStopWaitMs;
        m_currentSource->Stop(wait);
        if (m_currentSource != &m_sourceBox) {
            // Another kind of source is ours to delete, but never under its running thread.
            if (m_currentSource->HasThread())
                m_retiredSources.emplace_back(m_currentSource);
            else
                delete m_currentSource;
        }
        m_currentSource = nullptr;
    }
    ReapRetiredSources(false);
    m_channel.VideoCtx().Stop(kStopWaitMs);
    m_channel.AudioCtx().Stop(kStopWaitMs);
}

void CJtvCtrl::ReapRetiredSources(bool wait)
{
    std::erase_if(m_retiredSources, [wait](const std::unique_ptr<CSourceCtx>& s) {
        if (wait)
            s->Stop(INFINITE);
        else if (s->IsThreadAlive())
            return false;
        return true;  // its destructor collects the ended thread
    });
}

void CJtvCtrl::SetRecordOff()
{
    m_recording.store(0, std::memory_order_relaxed);
    // No re-encoded picture may reopen a clip once it is closed.
    m_sourceBox.SetExportContext(0, nullptr);
    for (auto& ctx : m_export)
        ctx.Close();
    m_aviFlag.store(0, std::memory_order_relaxed);
}

void CJtvCtrl::Stop()
{
    m_open.store(0, std::memory_order_relaxed);
    m_channel.Reset();
    CloseSource();
    SetRecordOff();

    ResetPlayState();
    for (int ch = 0; ch < kJtvChannels; ++ch) {
        // The engine's clocks exist only once channels are made; the channel's own always.
        if (m_fps[ch])
            m_fps[ch]->ResetTimes();
        m_channelPlayTime[ch].store(0, std::memory_order_relaxed);
        m_piValue[ch].store(0, std::memory_order_relaxed);
    }
    m_channel.FrameClock().ResetTimes();
}

LRESULT CJtvCtrl::SendNotify(UINT message, LPARAM lparam)
{
    return SendMessageW(m_notifyWindow[0].load(std::memory_order_relaxed), message,
                        reinterpret_cast<WPARAM>(this), lparam);
}

BOOL CJtvCtrl::PostNotify(UINT message, LPARAM lparam)
{
    return PostMessageW(m_notifyWindow[0].load(std::memory_order_relaxed), message,
                        reinterpret_cast<WPARAM>(this), lparam);
}

void CJtvCtrl::SetEdrFont(int x, int y, COLORREF colour, int height, const std::string& face)
{
    m_edrX.store(x, std::memory_order_relaxed);
    m_edrY.store(y, std::memory_order_relaxed);
    m_edrColour.store(colour, std::memory_order_relaxed);
    CCritSecsLock lock(m_fontLock);
    m_edrFont = JtvFontSpec{height, 900, face};
}

JtvFontSpec CJtvCtrl::EdrFont()
{
    CCritSecsLock lock(m_fontLock);
    return m_edrFont;
}

JtvFontSpec CJtvCtrl::OsdFont()
{
    CCritSecsLock lock(m_fontLock);
    return m_osdFont;
}
