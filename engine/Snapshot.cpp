#include "engine/Snapshot.h"

#include "engine/MediaCtx.h"
#include "engine/gpstext.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/image.h"

#include <cstdint>

std::string SnapshotFileName(const std::string& name, LONG format)
{
    std::string base = name.size() > 3 ? name.substr(0, name.size() - 3) : std::string();
    return base + (format != 0 ? ".jpg" : ".bmp");
}

bool SaveSnapshot(CJtvCtrl& engine, int channel, HDC source, int width, int height)
{
    if (source == nullptr || width <= 0 || height <= 0 || channel < 0 || channel >= kJtvChannels)
        return false;
    HDC memory = CreateCompatibleDC(source);
    if (memory == nullptr)
        return false;
    HBITMAP bitmap = CreateCompatibleBitmap(source, width * 3 / 2, height * 3 / 2);
    if (bitmap == nullptr) {
        DeleteDC(memory);
        return false;
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    // A new DC stretches by pixel replication: the picture is enlarged, not filtered.
    StretchBlt(memory, 0, 0, width * 3 / 2, height * 3 / 2, source, 0, 0, width, height, SRCCOPY);

    const LONG format = engine.m_snapshotFormat.load(std::memory_order_relaxed);
    const std::string path = SnapshotFileName(engine.m_snapshotName, format);
    engine.m_snapshotName = path.substr(0, path.size() - 4);

    CImage image;
    image.Attach(bitmap);
    const bool saved = image.Save(path) == S_OK;
    image.Detach();
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
    if (engine.m_snapshotBlocked.load(std::memory_order_acquire) == 0)
        engine.m_snapshotTaken.store(1, std::memory_order_release);
    return saved;
}

bool RequestSnapshot(CJtvCtrl& engine, LONG format, LONG option, COLORREF colour, std::string_view name)
{
    if (name.empty())
        return false;
    constexpr auto r = std::memory_order_relaxed;
    engine.m_snapshotFormat.store(format, r);
    engine.m_snapshotOption.store(option, r);
    engine.m_snapshotColour.store(colour, r);
    engine.m_snapshotName.assign(name);
    if (!CreatePathDirectories(engine.m_snapshotName))
        return false;

    bool saved = false;
    for (int ch = 0; ch < kJtvChannels; ++ch) {
        CVideoCtx* video = engine.m_videoCtx[ch] != nullptr ? engine.m_videoCtx[ch] : &engine.m_channel.VideoCtx();
        engine.m_snapshotPending[ch].store(1, r);
        saved = video->CaptureSurface() || saved;
        engine.m_snapshotPending[ch].store(0, r);
    }
    return saved;
}
