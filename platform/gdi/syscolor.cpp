// System colours and metrics: fixed tables of the usual Windows defaults. The window layer draws
// its frames and scroll bars with these same sizes.

#include <atomic>
#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"

namespace {

constexpr COLORREF kSysColors[COLOR_MENUBAR + 1] = {
    RGB(200, 200, 200),  // COLOR_SCROLLBAR
    RGB(0, 0, 0),        // COLOR_BACKGROUND
    RGB(153, 180, 209),  // COLOR_ACTIVECAPTION
    RGB(191, 205, 219),  // COLOR_INACTIVECAPTION
    RGB(240, 240, 240),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(100, 100, 100),  // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(0, 0, 0),        // COLOR_CAPTIONTEXT
    RGB(180, 180, 180),  // COLOR_ACTIVEBORDER
    RGB(244, 247, 252),  // COLOR_INACTIVEBORDER
    RGB(171, 171, 171),  // COLOR_APPWORKSPACE
    RGB(51, 153, 255),   // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(240, 240, 240),  // COLOR_3DFACE
    RGB(160, 160, 160),  // COLOR_3DSHADOW
    RGB(109, 109, 109),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(0, 0, 0),        // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_3DHILIGHT
    RGB(105, 105, 105),  // COLOR_3DDKSHADOW
    RGB(227, 227, 227),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(0, 0, 0),        // 25: unused
    RGB(0, 102, 204),    // COLOR_HOTLIGHT
    RGB(185, 209, 234),  // COLOR_GRADIENTACTIVECAPTION
    RGB(215, 228, 242),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(51, 153, 255),   // COLOR_MENUHILIGHT
    RGB(240, 240, 240),  // COLOR_MENUBAR
};

// The table as it stands: the defaults above until a test changes a colour.
struct SysColours {
    std::atomic<DWORD> colour[COLOR_MENUBAR + 1];
    HBRUSH brush[COLOR_MENUBAR + 1] = {};
    std::once_flag brushesMade;
    SysColours()
    {
        for (int i = 0; i <= COLOR_MENUBAR; ++i)
            colour[i] = kSysColors[i];
    }
};

SysColours& Colours()
{
    static SysColours colours;
    return colours;
}

std::atomic<int> g_screen_width{1920};
std::atomic<int> g_screen_height{1080};

}  // namespace

DWORD GetSysColor(int index)
{
    if (index < 0 || index > COLOR_MENUBAR)
        return 0;
    return Colours().colour[index].load(std::memory_order_relaxed);
}

HBRUSH GetSysColorBrush(int index)
{
    SysColours& c = Colours();
    std::call_once(c.brushesMade, [&c] {
        for (int i = 0; i <= COLOR_MENUBAR; ++i) {
            c.brush[i] = CreateSolidBrush(c.colour[i]);
            c.brush[i]->stock = true;
        }
    });
    if (index < 0 || index > COLOR_MENUBAR)
        return nullptr;
    return c.brush[index];
}

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN: return g_screen_width;
    case SM_CYSCREEN: return g_screen_height;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 17;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return 20;
    case SM_CXSIZE: return 36;
    case SM_CYSIZE: return 22;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
    default: return 0;
    }
}

void gdi::SetSysColorForTesting(int index, COLORREF colour)
{
    if (index < 0 || index > COLOR_MENUBAR)
        return;
    SysColours& c = Colours();
    GetSysColorBrush(index);  // the brushes exist, so they can follow
    c.colour[index] = colour;
    if (auto* brush = as_brush(c.brush[index]))
        brush->logbrush.lbColor = colour;
}

void gdi::SetScreenSize(int width, int height)
{
    g_screen_width = width;
    g_screen_height = height;
}
