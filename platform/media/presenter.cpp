#include "platform/media/presenter.h"

#include "platform/base/message.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

constexpr uint32_t kBlack = 0xFF000000u;

void FillBlack(uint8_t* dst, int stride, int x0, int y0, int x1, int y1)
{
    for (int y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(dst + static_cast<std::ptrdiff_t>(y) * stride);
        std::fill(row + x0, row + x1, kBlack);
    }
}

// Source rectangle clipped to the picture; the whole picture when nothing of it is left.
RECT ClipSource(const RECT& wanted, int width, int height)
{
    RECT r{std::max<LONG>(wanted.left, 0), std::max<LONG>(wanted.top, 0),
           std::min<LONG>(wanted.right, width), std::min<LONG>(wanted.bottom, height)};
    if (r.left >= r.right || r.top >= r.bottom)
        return RECT{0, 0, width, height};
    return r;
}

}  // namespace

bool LetterBoxRect(int w, int h, int pw, int ph, RECT* out)
{
    if (w <= 0 || h <= 0 || pw <= 0 || ph <= 0)
        return false;
    const int64_t W = pw, H = ph;
    if (int64_t{h} * W > int64_t{w} * H) {
        const int used = static_cast<int>(int64_t{w} * H / W);
        const int bar = (h - used) / 2;
        *out = RECT{0, bar, w, h - bar};
    } else {
        const int used = static_cast<int>(int64_t{h} * W / H);
        const int bar = (w - used) / 2;
        *out = RECT{bar, 0, w - bar, h};
    }
    return true;
}

Presenter::~Presenter()
{
    for (Picture* pic : {&spare_, &latest_})
        if (pic->lent)
            pic->lent->holders.fetch_sub(1, std::memory_order_release);
}

bool Presenter::Acceptable(int width, int height)
{
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
}

void Presenter::Publish()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(spare_, latest_);
        ++count_;
    }
    if (spare_.lent) {
        spare_.lent->holders.fetch_sub(1, std::memory_order_release);
        spare_.lent.reset();
    }
}

bool Presenter::Present(int width, int height, int stride, const uint8_t* pixels,
                        const PresentRequest& request)
{
    if (!pixels || !Acceptable(width, height) || stride < width * 4)
        return false;

    std::lock_guard<std::mutex> producer(producer_mutex_);
    // spare_ is only touched under producer_mutex_, so the copy runs without blocking a paint.
    spare_.width = width;
    spare_.height = height;
    spare_.request = request;
    spare_.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        std::memcpy(&spare_.pixels[static_cast<size_t>(y) * width],
                    pixels + static_cast<std::ptrdiff_t>(y) * stride,
                    static_cast<size_t>(width) * 4);
    Publish();
    return true;
}

bool Presenter::Present(int width, int height, std::shared_ptr<SharedPicture> picture,
                        const PresentRequest& request)
{
    if (!picture || !Acceptable(width, height) ||
        picture->pixels.size() < static_cast<size_t>(width) * height)
        return false;

    picture->holders.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> producer(producer_mutex_);
    spare_.width = width;
    spare_.height = height;
    spare_.request = request;
    spare_.lent = std::move(picture);  // spare_.pixels keeps its memory for the next copy
    Publish();
    return true;
}

bool Presenter::Compose(uint8_t* dst, int width, int height, int stride) const
{
    if (!dst || width <= 0 || height <= 0 || stride < width * 4)
        return false;

    std::lock_guard<std::mutex> lock(mutex_);
    const Picture& pic = latest_;
    if (pic.width <= 0 || pic.height <= 0)
        return false;

    RECT target{0, 0, width, height};
    RECT source{0, 0, pic.width, pic.height};
    if (pic.request.keep_aspect) {
        LetterBoxRect(width, height, pic.width, pic.height, &target);
        FillBlack(dst, stride, 0, 0, width, target.top);
        FillBlack(dst, stride, 0, target.bottom, width, height);
        FillBlack(dst, stride, 0, target.top, target.left, target.bottom);
        FillBlack(dst, stride, target.right, target.top, width, target.bottom);
    } else {
        source = ClipSource(pic.request.source, pic.width, pic.height);
    }

    const int tw = target.right - target.left;
    const int th = target.bottom - target.top;
    const int sw = source.right - source.left;
    const int sh = source.bottom - source.top;
    if (tw <= 0 || th <= 0)
        return true;

    // Each target pixel takes the source pixel under its centre.
    std::vector<int> column(static_cast<size_t>(tw));
    for (int x = 0; x < tw; ++x)
        column[x] = source.left + static_cast<int>((int64_t{2} * x + 1) * sw / (int64_t{2} * tw));

    for (int y = 0; y < th; ++y) {
        const int sy = source.top + static_cast<int>((int64_t{2} * y + 1) * sh / (int64_t{2} * th));
        const uint32_t* in = pic.Data() + static_cast<size_t>(sy) * pic.width;
        auto* out = reinterpret_cast<uint32_t*>(
                        dst + static_cast<std::ptrdiff_t>(target.top + y) * stride) +
                    target.left;
        if (sw == tw) {
            std::memcpy(out, in + source.left, static_cast<size_t>(tw) * 4);
        } else {
            for (int x = 0; x < tw; ++x)
                out[x] = in[column[x]];
        }
    }
    return true;
}

uint64_t Presenter::PresentCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

namespace {

struct Registry {
    std::mutex mutex;
    std::map<HWND, std::shared_ptr<Presenter>> presenters;
    std::function<void(HWND)> hook;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

}  // namespace

std::shared_ptr<Presenter> GetPresenter(HWND window)
{
    Registry& reg = TheRegistry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    // Checked under the lock: a window ends its handle before it destroys its presenter, so a
    // presenter made here is always seen by that destroy and never outlives the window.
    if (!IsWindow(window))
        return nullptr;
    auto& slot = reg.presenters[window];
    if (!slot)
        slot = std::make_shared<Presenter>();
    return slot;
}

std::shared_ptr<Presenter> FindPresenter(HWND window)
{
    Registry& reg = TheRegistry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.presenters.find(window);
    return it == reg.presenters.end() ? nullptr : it->second;
}

void DestroyPresenter(HWND window)
{
    std::shared_ptr<Presenter> doomed;  // released outside the lock
    Registry& reg = TheRegistry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.presenters.find(window);
    if (it != reg.presenters.end()) {
        doomed = std::move(it->second);
        reg.presenters.erase(it);
    }
}

void SetPresentHook(std::function<void(HWND)> hook)
{
    Registry& reg = TheRegistry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    reg.hook = std::move(hook);
}

namespace {

void RunPresentHook(HWND window)
{
    std::function<void(HWND)> hook;
    {
        Registry& reg = TheRegistry();
        std::lock_guard<std::mutex> lock(reg.mutex);
        hook = reg.hook;
    }
    if (hook)
        hook(window);
}

}  // namespace

bool PresentToWindow(HWND window, int width, int height, int stride, const uint8_t* pixels,
                     const PresentRequest& request)
{
    std::shared_ptr<Presenter> presenter = GetPresenter(window);
    if (!presenter || !presenter->Present(width, height, stride, pixels, request))
        return false;
    RunPresentHook(window);
    return true;
}

bool PresentToWindow(HWND window, int width, int height, std::shared_ptr<SharedPicture> picture,
                     const PresentRequest& request)
{
    std::shared_ptr<Presenter> presenter = GetPresenter(window);
    if (!presenter || !presenter->Present(width, height, std::move(picture), request))
        return false;
    RunPresentHook(window);
    return true;
}
