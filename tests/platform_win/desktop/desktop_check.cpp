// Shows a dialog of coloured controls and a render window with a picture presented from another
// thread on a real X server (SDL's X11 driver), takes a screenshot of the root window with xwd
// and checks that the server shows what the backing buffer holds.
// Run by run.sh, which starts the server; exits non-zero on any failure, including a fallback to
// the dummy driver.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/presenter.h"
#include "platform/win/afxwin.h"

// SDL loads the X client libraries itself and unloads them when it quits; a few of their own
// allocations are still held then, in code the leak checker can no longer name or suppress. The
// layer's own leaks are checked by the headless tests, which run the same code.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

struct Swatch {
    int id;
    RECT rect;  // dialog client coordinates
    COLORREF color;
};

const Swatch kSwatches[] = {
    {101, {20, 20, 120, 90}, RGB(220, 30, 40)},
    {102, {140, 20, 240, 90}, RGB(20, 200, 60)},
    {103, {20, 110, 240, 170}, RGB(30, 60, 210)},
    {104, {260, 20, 380, 260}, RGB(250, 210, 20)},
};

LRESULT SwatchProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        CDC* dc = CDC::FromHandle(BeginPaint(hwnd, &ps));
        CRect rc;
        GetClientRect(hwnd, &rc);
        for (const Swatch& s : kSwatches)
            if (s.id == GetDlgCtrlID(hwnd))
                dc->FillSolidRect(&rc, s.color);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

INT_PTR DialogProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG ? TRUE : FALSE; }

uint32_t Be32(const std::vector<unsigned char>& d, size_t at)
{
    return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
}

// A screenshot in the X window dump format, read back as COLORREFs.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

BYTE Channel(uint32_t pixel, uint32_t mask)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const uint32_t max = mask >> shift;
    return static_cast<BYTE>(((pixel & mask) >> shift) * 255 / max);
}

bool ReadXwd(const std::string& path, Screenshot* out, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (d.size() < 100) {
        *error = "screenshot too short";
        return false;
    }
    const uint32_t header_size = Be32(d, 0), version = Be32(d, 4), format = Be32(d, 8);
    const uint32_t width = Be32(d, 16), height = Be32(d, 20), byte_order = Be32(d, 28);
    const uint32_t bpp = Be32(d, 44), bytes_per_line = Be32(d, 48);
    const uint32_t red = Be32(d, 56), green = Be32(d, 60), blue = Be32(d, 64), ncolors = Be32(d, 76);
    if (version != 7 || format != 2 || (bpp != 32 && bpp != 24)) {
        *error = "unexpected dump: version " + std::to_string(version) + ", format " + std::to_string(format) +
                 ", " + std::to_string(bpp) + " bits per pixel";
        return false;
    }
    const size_t data = size_t(header_size) + size_t(ncolors) * 12;
    if (d.size() < data + size_t(bytes_per_line) * height) {
        *error = "screenshot truncated";
        return false;
    }
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->pixels.resize(size_t(width) * height);
    const size_t step = bpp / 8;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned char* p = &d[data + size_t(y) * bytes_per_line + x * step];
            uint32_t v = 0;
            for (size_t i = 0; i < step; ++i)
                v |= uint32_t(p[byte_order ? i : step - 1 - i]) << (8 * (step - 1 - i));
            out->pixels[size_t(y) * width + x] = RGB(Channel(v, red), Channel(v, green), Channel(v, blue));
        }
    return true;
}

std::string Hex(COLORREF c)
{
    char b[16];
    std::snprintf(b, sizeof b, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
    return b;
}

struct Probe {
    POINT client;  // dialog client coordinates
    COLORREF want;
};

// Empty when every probe shows its colour on the screen.
std::string Check(HWND dialog, const std::vector<Probe>& probes, const std::string& dump)
{
    const std::string command = "xwd -root -silent -out '" + dump + "'";
    if (std::system(command.c_str()) != 0)
        return "xwd failed";
    Screenshot shot;
    std::string error;
    if (!ReadXwd(dump, &shot, &error))
        return error;
    std::string wrong;
    for (const Probe& p : probes) {
        POINT s = p.client;
        ClientToScreen(dialog, &s);
        if (s.x < 0 || s.y < 0 || s.x >= shot.width || s.y >= shot.height) {
            wrong += " (" + std::to_string(s.x) + "," + std::to_string(s.y) + ") off the screen;";
            continue;
        }
        const COLORREF got = shot.at(s.x, s.y);
        if (got != p.want)
            wrong += " (" + std::to_string(s.x) + "," + std::to_string(s.y) + ") shows " + Hex(got) + ", want " +
                     Hex(p.want) + ";";
    }
    return wrong;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <scratch folder>\n", argv[0]);
        return 2;
    }
    if (!qv::win::InitWindowing() || qv::win::IsHeadless()) {
        std::fprintf(stderr, "FAIL: no X11 video driver (is DISPLAY set and SDL_VIDEODRIVER=x11?)\n");
        return 1;
    }
    WNDCLASS wc{};
    wc.lpfnWndProc = SwatchProc;
    wc.lpszClassName = "DesktopSwatch";
    AfxRegisterClass(&wc);

    DialogTemplate tmpl;
    tmpl.caption = "desktop check";
    tmpl.style = WS_POPUP | WS_VISIBLE;
    tmpl.x = 100;
    tmpl.y = 80;
    tmpl.cx = 400;
    tmpl.cy = 280;
    for (const Swatch& s : kSwatches)
        tmpl.items.push_back({"DesktopSwatch", "", s.id, static_cast<int>(s.rect.left), static_cast<int>(s.rect.top),
                              static_cast<int>(s.rect.right - s.rect.left), static_cast<int>(s.rect.bottom - s.rect.top),
                              WS_VISIBLE, 0});
    // A render window of 220x70: a square picture, left half green and right half magenta,
    // letter-boxed into x 75-145 of it.
    WNDCLASS video{};
    video.lpfnWndProc = DefWindowProc;
    video.lpszClassName = "DesktopVideo";
    AfxRegisterClass(&video);
    tmpl.items.push_back({"DesktopVideo", "", 105, 20, 190, 220, 70, WS_VISIBLE, 0});
    HWND dialog = CreateDialogIndirectParam(nullptr, &tmpl, nullptr, DialogProc, 0);
    if (!dialog) {
        std::fprintf(stderr, "FAIL: the dialog was not created\n");
        return 1;
    }
    const HWND render = GetDlgItem(dialog, 105);
    std::vector<uint32_t> picture(16 * 16);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = i % 16 < 8 ? 0xFF00FF00 : 0xFFFF00FF;
    PresentRequest keep;
    keep.keep_aspect = true;
    bool presented = false;
    std::thread([&] {
        presented = PresentToWindow(render, 16, 16, 16 * 4, reinterpret_cast<const uint8_t*>(picture.data()), keep);
    }).join();
    if (!presented) {
        std::fprintf(stderr, "FAIL: the picture was not presented\n");
        return 1;
    }

    std::vector<Probe> probes;
    for (const Swatch& s : kSwatches) {
        probes.push_back({{(s.rect.left + s.rect.right) / 2, (s.rect.top + s.rect.bottom) / 2}, s.color});
        probes.push_back({{s.rect.left, s.rect.top}, s.color});
        probes.push_back({{s.rect.right - 1, s.rect.bottom - 1}, s.color});
    }
    for (auto [x, want] : {std::pair{30, RGB(0, 0, 0)}, std::pair{100, RGB(0, 255, 0)}, std::pair{140, RGB(255, 0, 255)},
                           std::pair{200, RGB(0, 0, 0)}})
        probes.push_back({{20 + x, 225}, want});
    // The dialog's own background, between the controls, as the backing buffer holds it.
    qv::win::PumpPending();
    for (POINT p : {POINT{10, 10}, POINT{130, 50}, POINT{250, 270}})
        probes.push_back({p, qv::win::ReadPixel(dialog, p.x, p.y)});
    for (const Swatch& s : kSwatches)
        if (qv::win::ReadPixel(dialog, s.rect.left + 1, s.rect.top + 1) != s.color) {
            std::fprintf(stderr, "FAIL: control %d was not painted into the backing buffer\n", s.id);
            return 1;
        }

    // The server maps and draws asynchronously: look again until it shows the picture or time is up.
    const std::string dump = std::string(argv[1]) + "/screen.xwd";
    std::string wrong;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        qv::win::PumpPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        qv::win::PumpPending();
        wrong = Check(dialog, probes, dump);
    } while (!wrong.empty() && std::chrono::steady_clock::now() < deadline);

    DestroyWindow(dialog);
    qv::win::ShutdownWindowing();
    if (!wrong.empty()) {
        std::fprintf(stderr, "FAIL: the screen differs from the dialog:%s\n", wrong.c_str());
        return 1;
    }
    std::printf("desktop check: %zu points match on the X server\n", probes.size());
    return 0;
}
