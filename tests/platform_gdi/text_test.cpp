// Fonts and text: face matching, the lfHeight rule, text inside its measured extent, rotation,
// and DrawText layouts checked against measured extents.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/gdi/font.h"
#include "tests/platform_gdi/canvas.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(0, 0, 128);

HFONT make_font(const char* face, int height, int escapement = 0, int weight = FW_NORMAL)
{
    return CreateFont(height, 0, escapement, escapement, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
}

std::string file_for(const char* face)
{
    LOGFONT lf{};
    lf.lfHeight = -12;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    std::lock_guard lock(gdi::font_lock());
    gdi::RealizedFont* f = gdi::RealizedFont::get(lf);
    return f ? f->file() : "";
}

SIZE extent(HDC dc, const char* text)
{
    SIZE s{};
    GetTextExtentPoint32(dc, text, -1, &s);
    return s;
}

bool inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

struct TextCanvas : Canvas {
    TextCanvas(int w, int h, HFONT f) : Canvas(w, h), font(f)
    {
        old = SelectObject(dc, font);
        SetTextColor(dc, kInk);
        SetBkMode(dc, TRANSPARENT);
    }
    ~TextCanvas()
    {
        SelectObject(dc, old);
        DeleteObject(font);
    }
    HFONT font;
    HGDIOBJ old;
};

TEST(Font, WindowsFacesResolveToInstalledSans)
{
    EXPECT_NE(file_for("Arial").find("LiberationSans"), std::string::npos);
    EXPECT_NE(file_for("Tahoma").find("LiberationSans"), std::string::npos);
    EXPECT_NE(file_for("MS Sans Serif").find("LiberationSans"), std::string::npos);
    EXPECT_NE(file_for("No Such Face 42").find("DejaVuSans"), std::string::npos);
}

TEST(Font, HeightSignRuleAndPointSize)
{
    Canvas c(4, 4);
    HFONT cell = make_font("Arial", 20), character = make_font("Arial", -20);
    TEXTMETRIC tm;
    SelectObject(c.dc, cell);
    GetTextMetrics(c.dc, &tm);
    EXPECT_EQ(tm.tmHeight, 20);  // positive: the cell height
    SelectObject(c.dc, character);
    GetTextMetrics(c.dc, &tm);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20);  // negative: the character height
    EXPECT_GT(tm.tmInternalLeading, 0);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(cell);
    DeleteObject(character);

    HFONT point = CreatePointFontHandle(90, "Tahoma");
    LOGFONT lf;
    GetObject(point, sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, -12);  // 9 points at 96 DPI
    EXPECT_STREQ(lf.lfFaceName, "Tahoma");
    DeleteObject(point);
}

TEST(Font, BoldIsWiderAndWidthScales)
{
    Canvas c(4, 4);
    HFONT normal = make_font("Arial", -16), bold = make_font("Arial", -16, 0, FW_BOLD);
    HFONT narrow = CreateFont(-16, 4, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    SelectObject(c.dc, normal);
    SIZE n = extent(c.dc, "Hello world");
    SelectObject(c.dc, bold);
    SIZE b = extent(c.dc, "Hello world");
    SelectObject(c.dc, narrow);
    SIZE w = extent(c.dc, "Hello world");
    EXPECT_GT(b.cx, n.cx);
    EXPECT_LT(w.cx, n.cx);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    for (HFONT f : {normal, bold, narrow})
        DeleteObject(f);
}

TEST(Text, PaintsOnlyInsideItsExtent)
{
    for (const char* face : {"Arial", "Times New Roman", "No Such Face 42", ""}) {
        TextCanvas c(200, 60, make_font(face, -18));
        TextOut(c.dc, 20, 10, "Hello Quorvin", -1);
        SIZE s = extent(c.dc, "Hello Quorvin");
        RECT ink = c.ink_box(kWhite);
        EXPECT_TRUE(inside(ink, RECT{20, 10, 20 + s.cx, 10 + s.cy})) << face;
        EXPECT_GT(c.count(kInk), 20) << face;  // solid stems in the exact text colour
        EXPECT_GT(ink.right - ink.left, s.cx * 3 / 4) << face;
    }
}

TEST(Text, ChineseCharactersComeFromAFaceThatHasThem)
{
    TextCanvas c(120, 40, make_font("Arial", -16));
    const char* text = "\xe4\xb8\xad\xe6\x96\x87";  // two Han characters
    TextOut(c.dc, 5, 5, text, -1);
    SIZE s = extent(c.dc, text);
    EXPECT_GE(s.cx, 24);
    EXPECT_GT(c.count(kInk), 10);
    EXPECT_TRUE(inside(c.ink_box(kWhite), RECT{5, 5, 5 + s.cx, 5 + s.cy}));
}

TEST(Text, OpaqueModeFillsTheCellAndAlignmentMovesTheBox)
{
    TextCanvas c(200, 60, make_font("Arial", -16));
    SetBkMode(c.dc, OPAQUE);
    SetBkColor(c.dc, RGB(0, 255, 0));
    SetTextAlign(c.dc, TA_RIGHT | TA_BOTTOM);
    TextOut(c.dc, 150, 50, "Opaque", -1);
    SIZE s = extent(c.dc, "Opaque");
    EXPECT_EQ(c.ink_box(kWhite), (RECT{150 - s.cx, 50 - s.cy, 150, 50}));
    c.clear(kWhite);
    SetBkMode(c.dc, TRANSPARENT);
    SetTextAlign(c.dc, TA_LEFT | TA_BASELINE);
    TextOut(c.dc, 10, 30, "HHH", -1);
    RECT ink = c.ink_box(kWhite);
    EXPECT_EQ(ink.bottom, 30);  // capitals sit on the baseline
    TEXTMETRIC tm;
    GetTextMetrics(c.dc, &tm);
    EXPECT_GE(ink.top, 30 - tm.tmAscent);
}

TEST(Text, UpdateCpAdvancesTheCurrentPosition)
{
    TextCanvas c(100, 30, make_font("Arial", -12));
    SetTextAlign(c.dc, TA_UPDATECP);
    MoveToEx(c.dc, 5, 5, nullptr);
    TextOut(c.dc, 0, 0, "abc", -1);
    POINT p;
    GetCurrentPositionEx(c.dc, &p);
    EXPECT_EQ(p.x, 5 + extent(c.dc, "abc").cx);
    EXPECT_EQ(p.y, 5);
}

TEST(Text, RotatedTextLiesInsideTheRotatedBox)
{
    TextCanvas c(80, 200, make_font("Arial", -16, 900));
    TextOut(c.dc, 20, 180, "Rotated", -1);
    SIZE s = extent(c.dc, "Rotated");
    RECT ink = c.ink_box(kWhite);
    // Turned a quarter counter-clockwise: the line runs upwards from the reference point, the
    // top of the cell facing left.
    EXPECT_TRUE(inside(ink, RECT{20 - 1, 180 - s.cx - 1, 20 + s.cy + 1, 180 + 1})) << ink.left << "," << ink.top << ","
                                                                                   << ink.right << "," << ink.bottom;
    EXPECT_GT(ink.bottom - ink.top, s.cx * 3 / 4);
    EXPECT_LE(ink.right - ink.left, s.cy);

    TextCanvas d(200, 200, make_font("Arial", -16, 450));
    TextOut(d.dc, 20, 150, "Diagonal", -1);
    RECT dink = d.ink_box(kWhite);
    EXPECT_GT(dink.right - dink.left, 40);
    EXPECT_GT(dink.bottom - dink.top, 40);
    EXPECT_LE(dink.bottom, 150 + 16);
}

TEST(DrawText, SingleLineAlignmentAndCalcRect)
{
    TextCanvas c(200, 60, make_font("Arial", -14));
    SIZE s = extent(c.dc, "Middle");
    RECT calc{10, 10, 10, 10};
    int h = DrawText(c.dc, "Middle", -1, &calc, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(calc, (RECT{10, 10, 10 + s.cx, 10 + s.cy}));
    EXPECT_EQ(h, s.cy);
    EXPECT_EQ(c.count(kInk), 0);  // measuring draws nothing

    RECT r{0, 0, 200, 60};
    SetBkMode(c.dc, OPAQUE);
    SetBkColor(c.dc, RGB(0, 255, 0));
    DrawText(c.dc, "Middle", -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    int left = (200 - s.cx) / 2, top = (60 - s.cy) / 2;
    EXPECT_EQ(c.ink_box(kWhite), (RECT{left, top, left + s.cx, top + s.cy}));
    c.clear(kWhite);
    DrawText(c.dc, "Middle", -1, &r, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
    EXPECT_EQ(c.ink_box(kWhite), (RECT{200 - s.cx, 60 - s.cy, 200, 60}));
}

TEST(DrawText, WordBreakAndLineBreaks)
{
    TextCanvas c(200, 100, make_font("Arial", -14));
    TEXTMETRIC tm;
    GetTextMetrics(c.dc, &tm);
    int two = extent(c.dc, "alpha beta").cx;
    RECT r{0, 0, two + 2, 0};
    int h = DrawText(c.dc, "alpha beta gamma", -1, &r, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(h, 2 * tm.tmHeight);
    EXPECT_EQ(r.bottom, 2 * tm.tmHeight);
    EXPECT_EQ(r.right, two);  // narrowed to the widest line
    // A word wider than the box keeps its own line.
    RECT narrow{0, 0, 5, 0};
    DrawText(c.dc, "alpha beta", -1, &narrow, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(narrow.bottom, 2 * tm.tmHeight);
    EXPECT_EQ(narrow.right, extent(c.dc, "alpha").cx);
    // Line breaks without word wrap; CR LF counts once.
    RECT lines{0, 0, 200, 0};
    DrawText(c.dc, "one\r\ntwo\nthree", -1, &lines, DT_CALCRECT);
    EXPECT_EQ(lines.bottom, 3 * tm.tmHeight);
    EXPECT_EQ(lines.right, extent(c.dc, "three").cx);

    // The second line is drawn where TextOut would put it.
    Canvas ref(200, 100);
    SelectObject(ref.dc, c.font);
    SetTextColor(ref.dc, kInk);
    SetBkMode(ref.dc, TRANSPARENT);
    TextOut(ref.dc, 0, 0, "alpha beta", -1);
    TextOut(ref.dc, 0, tm.tmHeight, "gamma", -1);
    RECT box{0, 0, two + 2, 100};
    DrawText(c.dc, "alpha beta gamma", -1, &box, DT_WORDBREAK);
    EXPECT_EQ(c.map(kInk), ref.map(kInk));
    SelectObject(ref.dc, GetStockObject(SYSTEM_FONT));
}

TEST(DrawText, EndEllipsisCutsWhereTheMeasuredTextFits)
{
    TextCanvas c(300, 40, make_font("Arial", -14));
    const std::string text = "A rather long label that cannot fit";
    int limit = 120;
    size_t keep = 0;
    for (size_t k = 1; k <= text.size(); ++k)
        if (extent(c.dc, (text.substr(0, k) + "...").c_str()).cx <= limit)
            keep = k;
    std::string expected = text.substr(0, keep) + "...";
    RECT r{0, 0, limit, 40};
    DrawText(c.dc, text.c_str(), -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    Canvas ref(300, 40);
    SelectObject(ref.dc, c.font);
    SetTextColor(ref.dc, kInk);
    SetBkMode(ref.dc, TRANSPARENT);
    TextOut(ref.dc, 0, 0, expected.c_str(), -1);
    EXPECT_EQ(c.map(kInk), ref.map(kInk));
    EXPECT_LE(c.ink_box(kWhite).right, limit);
    // A text that fits is left alone.
    c.clear(kWhite);
    ref.clear(kWhite);
    DrawText(c.dc, "Short", -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS);
    TextOut(ref.dc, 0, 0, "Short", -1);
    EXPECT_EQ(c.map(kInk), ref.map(kInk));
    SelectObject(ref.dc, GetStockObject(SYSTEM_FONT));
}

TEST(DrawText, PrefixesUnderlineAndDoubleAmpersand)
{
    TextCanvas c(200, 40, make_font("Arial", -16));
    Canvas ref(200, 40);
    SelectObject(ref.dc, c.font);
    SetTextColor(ref.dc, kInk);
    SetBkMode(ref.dc, TRANSPARENT);
    RECT r{0, 0, 200, 40};
    TEXTMETRIC tm;
    GetTextMetrics(c.dc, &tm);

    DrawText(c.dc, "&File", -1, &r, DT_SINGLELINE);
    TextOut(ref.dc, 0, 0, "File", -1);
    int f_width = extent(c.dc, "F").cx;
    // Identical except for an underline below the baseline under the F only.
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (c.at(x, y) != ref.at(x, y)) {
                EXPECT_LT(x, f_width) << x << "," << y;
                EXPECT_GE(y, tm.tmAscent) << x << "," << y;
            }
    EXPECT_NE(c.map(kInk), ref.map(kInk));

    c.clear(kWhite);
    ref.clear(kWhite);
    DrawText(c.dc, "A&&B", -1, &r, DT_SINGLELINE);
    TextOut(ref.dc, 0, 0, "A&B", -1);
    EXPECT_EQ(c.map(kInk), ref.map(kInk));

    c.clear(kWhite);
    ref.clear(kWhite);
    DrawText(c.dc, "&File", -1, &r, DT_SINGLELINE | DT_NOPREFIX);
    TextOut(ref.dc, 0, 0, "&File", -1);
    EXPECT_EQ(c.map(kInk), ref.map(kInk));
    SelectObject(ref.dc, GetStockObject(SYSTEM_FONT));
}

TEST(DrawText, TabsExpandToEightAverageCharacters)
{
    TextCanvas c(300, 40, make_font("Arial", -14));
    TEXTMETRIC tm;
    GetTextMetrics(c.dc, &tm);
    RECT r{0, 0, 300, 40};
    DrawText(c.dc, "ab\tZ", -1, &r, DT_SINGLELINE | DT_EXPANDTABS);
    Canvas ref(300, 40);
    SelectObject(ref.dc, c.font);
    SetTextColor(ref.dc, kInk);
    SetBkMode(ref.dc, TRANSPARENT);
    TextOut(ref.dc, 0, 0, "ab", -1);
    TextOut(ref.dc, 8 * tm.tmAveCharWidth, 0, "Z", -1);
    EXPECT_EQ(c.map(kInk), ref.map(kInk));
    SelectObject(ref.dc, GetStockObject(SYSTEM_FONT));
}

TEST(DrawText, ClipsToItsRectangle)
{
    TextCanvas c(200, 40, make_font("Arial", -16));
    RECT r{10, 5, 40, 30};
    DrawText(c.dc, "Clipped text runs on", -1, &r, DT_SINGLELINE);
    EXPECT_TRUE(inside(c.ink_box(kWhite), r));
    c.clear(kWhite);
    DrawText(c.dc, "Clipped text runs on", -1, &r, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(c.ink_box(kWhite).right, 40);
}

}  // namespace

namespace {

// The OSD draws text on the video thread while the UI thread draws its own: both share the
// font and glyph caches.
TEST(Text, TwoThreadsDrawTheSameTextAlike)
{
    auto render = [](std::vector<std::string>* out) {
        TextCanvas c(160, 30, make_font("Arial", -15, 0, FW_HEAVY));
        for (int i = 0; i < 30; ++i) {
            c.clear(kWhite);
            char line[64];
            std::snprintf(line, sizeof line, "%02d:%02d:%02d %d km/h", i, i * 2 % 60, i * 3 % 60, i * 7);
            TextOut(c.dc, 2, 2, line, -1);
        }
        *out = c.map(kInk);
    };
    std::vector<std::string> a, b, reference;
    std::thread t1(render, &a), t2(render, &b);
    t1.join();
    t2.join();
    render(&reference);
    EXPECT_EQ(a, reference);
    EXPECT_EQ(b, reference);
}

}  // namespace
