// The window layer: a full repaint of a 1280x800 dialog of 100 child controls (aim: under 5 ms),
// the repaint of a render window after a 1280x720 picture was presented (UI-thread cost per
// video frame), and one posted-message round trip between a second thread and a window, against
// a plain condition_variable ping-pong between two threads measured in the same run.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/presenter.h"
#include "platform/win/afxwin.h"

namespace {

constexpr int kColumns = 10, kRows = 10;
constexpr UINT kPing = WM_APP + 1, kPong = WM_APP + 2, kStop = WM_APP + 3;

int g_paints = 0;

// A control that draws what a typical custom control does: a filled face, a 3-D edge and a label.
LRESULT ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_PAINT)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    ++g_paints;
    PAINTSTRUCT ps;
    CDC* dc = CDC::FromHandle(BeginPaint(hwnd, &ps));
    CRect rc;
    GetClientRect(hwnd, &rc);
    const int id = GetDlgCtrlID(hwnd);
    dc->FillSolidRect(&rc, RGB(40 + id * 2, 90, 200 - id));
    dc->DrawEdge(&rc, EDGE_RAISED, BF_RECT);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(RGB(255, 255, 255));
    dc->DrawText("Control " + std::to_string(id), &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(hwnd, &ps);
    return 0;
}

INT_PTR DialogProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG ? TRUE : FALSE; }

void BM_FullRepaint(benchmark::State& state)
{
    WNDCLASS wc{};
    wc.lpfnWndProc = ControlProc;
    wc.lpszClassName = "BenchControl";
    AfxRegisterClass(&wc);
    DialogTemplate tmpl;
    tmpl.style = WS_POPUP | WS_VISIBLE;
    tmpl.cx = 1280;
    tmpl.cy = 800;
    for (int i = 0; i < kColumns * kRows; ++i)
        tmpl.items.push_back({"BenchControl", "", 100 + i, 8 + (i % kColumns) * 127, 8 + (i / kColumns) * 79, 119, 71,
                              WS_VISIBLE, 0});
    HWND dialog = CreateDialogIndirectParam(nullptr, &tmpl, nullptr, DialogProc, 0);
    if (!dialog) {
        state.SkipWithError("dialog not created");
        return;
    }
    qv::win::PumpPending();
    g_paints = 0;
    for (auto _ : state) {
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        qv::win::PumpPending();  // shows the buffer
    }
    // Every control painted in every repaint, or the time means nothing.
    state.counters["controls_painted"] = static_cast<double>(g_paints) / static_cast<double>(state.iterations());
    DestroyWindow(dialog);
    qv::win::PumpPending();
}

// One video frame as the UI thread sees it: the present's repaint notice taken, the picture
// composed into the window's part of the backing buffer, the buffer shown.
void BM_PresentedFrameRepaint(benchmark::State& state)
{
    constexpr int kWidth = 1280, kHeight = 720;
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "BenchRender";
    AfxRegisterClass(&wc);
    HWND top = CreateWindowEx(0, "BenchRender", "", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight + 80, nullptr, nullptr,
                              nullptr, nullptr);
    HWND render = CreateWindowEx(0, "BenchRender", "", WS_CHILD | WS_VISIBLE, 0, 0, kWidth, kHeight, top, nullptr, nullptr,
                                 nullptr);
    std::vector<uint32_t> picture(static_cast<size_t>(kWidth) * kHeight);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    PresentRequest request;
    request.keep_aspect = true;
    qv::win::PumpPending();
    for (auto _ : state) {
        state.PauseTiming();  // the present itself is the video thread's cost
        PresentToWindow(render, kWidth, kHeight, kWidth * 4, reinterpret_cast<const uint8_t*>(picture.data()), request);
        state.ResumeTiming();
        qv::win::PumpPending();
    }
    // The picture is what was composed, or the time means nothing.
    const uint32_t p = picture[100 * kWidth + 100];
    if (qv::win::ReadPixel(render, 100, 100) != RGB(static_cast<BYTE>(p >> 16), static_cast<BYTE>(p >> 8), static_cast<BYTE>(p)))
        state.SkipWithError("the picture was not composed");
    DestroyWindow(top);
    qv::win::PumpPending();
}

LRESULT AnswerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kPing) {
        PostMessage(reinterpret_cast<HWND>(lParam), kPong, 0, 0);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

// The benchmark thread is the window's UI thread; one iteration is one ping dispatched there.
// The second thread posts the next ping only once the pong of the last has arrived, so the time
// per iteration is one whole round trip.
void BM_PostRoundTrip(benchmark::State& state)
{
    WNDCLASS wc{};
    wc.lpfnWndProc = AnswerProc;
    wc.lpszClassName = "BenchAnswer";
    AfxRegisterClass(&wc);
    HWND window = CreateWindowEx(0, "BenchAnswer", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    std::promise<HWND> mailbox;
    std::thread second([window, &mailbox] {
        bool stop = false;
        HWND self = CreateMessageWindow([&](HWND me, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg == kPong)
                PostMessageW(window, kPing, 0, reinterpret_cast<LPARAM>(me));
            else if (msg == kStop)
                stop = true;
            return 0;
        });
        mailbox.set_value(self);
        PostMessageW(window, kPing, 0, reinterpret_cast<LPARAM>(self));
        MSG msg;
        while (!stop && GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        DestroyMessageWindow(self);
    });
    const HWND self = mailbox.get_future().get();
    MSG msg;
    for (auto _ : state) {
        while (GetMessage(&msg, nullptr, 0, 0)) {
            const bool ping = msg.message == kPing;
            DispatchMessage(&msg);
            if (ping)
                break;
        }
    }
    PostMessageW(self, kStop, 0, 0);
    second.join();
    DestroyWindow(window);
    qv::win::PumpPending();
}

void BM_ConditionVariableRoundTrip(benchmark::State& state)
{
    std::mutex mutex;
    std::condition_variable cv;
    bool ping = false, pong = false, stop = false;
    std::thread second([&] {
        std::unique_lock lock(mutex);
        while (!stop) {
            ping = true;
            cv.notify_all();
            cv.wait(lock, [&] { return pong || stop; });
            pong = false;
        }
    });
    for (auto _ : state) {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return ping; });
        ping = false;
        pong = true;
        cv.notify_all();
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    cv.notify_all();
    second.join();
}

BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PresentedFrameRepaint)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_PostRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ConditionVariableRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0);

// Prints the usual table, then the round trips' ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.iterations > 0)
                seconds[r.benchmark_name()] = r.real_accumulated_time / static_cast<double>(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv)
{
    // The same code path as on a desktop, without needing one.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    if (!qv::win::InitWindowing()) {
        std::fprintf(stderr, "win_bench: no video driver\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double posted = 0, plain = 0;
    for (const auto& [name, s] : reporter.seconds) {
        if (name.find("BM_PostRoundTrip") == 0)
            posted = s;
        else if (name.find("BM_ConditionVariableRoundTrip") == 0)
            plain = s;
    }
    if (posted > 0 && plain > 0)
        std::printf("posted-message/condition_variable round-trip ratio: %.2f\n", posted / plain);
    qv::win::ShutdownWindowing();
    benchmark::Shutdown();
    return 0;
}
