// Text output and measurement: TextOut, ExtTextOut, GetTextExtentPoint32, GetTextMetrics, and
// DrawText's layout (line breaks, word wrap, alignment, ellipsis, '&' prefixes, tabs).

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/dc.h"
#include "platform/gdi/font.h"
#include "platform/gdi/gdi.h"

using namespace gdi;

namespace {

size_t length_of(const char* text, int count)
{
    if (!text)
        return 0;
    return count < 0 ? std::strlen(text) : static_cast<size_t>(count);
}

// The font as the DC's mapping scales it. Call under font_lock().
RealizedFont* font_of(DeviceContext& dc)
{
    FontObject* f = as_font(dc.state().font);
    if (!f)
        return nullptr;
    LOGFONT lf = f->logfont;
    if (dc.scaled()) {
        lf.lfHeight = static_cast<LONG>(std::lround(lf.lfHeight * std::fabs(dc.scale_y())));
        lf.lfWidth = static_cast<LONG>(std::lround(lf.lfWidth * std::fabs(dc.scale_x())));
    }
    return RealizedFont::get(lf);
}

void blend(uint32_t* p, uint32_t colour, int coverage, bool mono)
{
    if (mono) {
        if (coverage >= 128)
            *p = colour;
        return;
    }
    if (coverage >= 255) {
        *p = colour;
        return;
    }
    uint32_t d = *p, out = kAlpha;
    for (int shift = 0; shift < 24; shift += 8) {
        int dc = (d >> shift) & 0xFF, cc = (colour >> shift) & 0xFF;
        out |= static_cast<uint32_t>(dc + ((cc - dc) * coverage + (coverage > 0 ? 127 : 0)) / 255) << shift;
    }
    *p = out;
}

// A box in text space (u along the baseline, v downwards, both from the baseline start), filled
// in device space; turned with the font.
void fill_text_box(DeviceContext& dc, double ox, double oy, double angle, double u0, double v0, double u1, double v1,
                   uint32_t pixel)
{
    if (angle == 0) {
        dc.fill_rect(RECT{static_cast<LONG>(std::lround(ox + u0)), static_cast<LONG>(std::lround(oy + v0)),
                          static_cast<LONG>(std::lround(ox + u1)), static_cast<LONG>(std::lround(oy + v1))},
                     pixel);
        return;
    }
    double c = std::cos(angle), s = std::sin(angle);
    auto at = [&](double u, double v) { return PointF{ox + u * c + v * s, oy - u * s + v * c}; };
    std::vector<std::vector<PointF>> poly{{at(u0, v0), at(u1, v0), at(u1, v1), at(u0, v1)}};
    RECT limit = dc.clip_bounds();
    fill_rows(dc, polygon_rows(poly, ALTERNATE, &limit), pixel);
}

// Paints glyphs with their pen positions `xs` (text space) from the baseline start (ox, oy).
void paint_glyphs(DeviceContext& dc, RealizedFont& font, double ox, double oy, const std::u32string& text,
                  const std::vector<int>& xs, COLORREF colour)
{
    uint32_t pixel = dc.pixel_for(colour);
    bool mono = dc.mono();
    double c = std::cos(font.angle()), s = std::sin(font.angle());
    const std::vector<RECT>& clips = dc.clip_rects();
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph& g = font.glyph(text[i]);
        if (g.coverage.empty())
            continue;
        int gx = static_cast<int>(std::lround(ox + xs[i] * c)) + g.left;
        int gy = static_cast<int>(std::lround(oy - xs[i] * s)) - g.top;
        for (const RECT& clip : clips) {
            int x0 = std::max<int>(gx, clip.left), x1 = std::min<int>(gx + g.width, clip.right);
            int y0 = std::max<int>(gy, clip.top), y1 = std::min<int>(gy + g.height, clip.bottom);
            for (int y = y0; y < y1; ++y) {
                const uint8_t* cov = &g.coverage[static_cast<size_t>(y - gy) * g.width];
                uint32_t* row = dc.at(0, y);
                for (int x = x0; x < x1; ++x)
                    if (int a = cov[x - gx])
                        blend(row + x, pixel, a, mono);
            }
        }
    }
}

// Pen positions of each character and the total width; tabs stop every `tab` pixels when `tab`
// is non-zero.
int layout(RealizedFont& font, const std::u32string& text, std::vector<int>* xs, int tab = 0, const int* dx = nullptr)
{
    int x = 0;
    if (xs)
        xs->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (xs)
            xs->push_back(x);
        if (dx)
            x += dx[i];
        else if (text[i] == U'\t' && tab > 0)
            x = (x / tab + 1) * tab;
        else
            x += font.advance(text[i]);
    }
    return x;
}

// Draws one line: reference point in device space, alignment as SetTextAlign gives it.
void draw_line_of_text(DeviceContext& dc, RealizedFont& font, POINT ref, UINT align, const std::u32string& text,
                       const std::vector<int>& xs, int width, bool opaque, int underline_char = -1)
{
    const TEXTMETRIC& tm = font.metrics();
    double u0 = 0, v0 = 0;
    if ((align & TA_CENTER) == TA_CENTER)
        u0 = -width / 2;
    else if (align & TA_RIGHT)
        u0 = -width;
    if ((align & TA_BASELINE) == TA_BASELINE)
        v0 = 0;
    else if (align & TA_BOTTOM)
        v0 = -tm.tmDescent;
    else
        v0 = tm.tmAscent;
    double angle = font.angle(), c = std::cos(angle), s = std::sin(angle);
    double ox = ref.x + u0 * c + v0 * s, oy = ref.y - u0 * s + v0 * c;
    DcState& st = dc.state();
    if (opaque)
        fill_text_box(dc, ox, oy, angle, 0, -tm.tmAscent, width, tm.tmDescent, dc.pixel_for(st.bk_color));
    paint_glyphs(dc, font, ox, oy, text, xs, st.text_color);
    uint32_t ink = dc.pixel_for(st.text_color);
    int t = font.underline_thickness();
    if (font.underline())
        fill_text_box(dc, ox, oy, angle, 0, font.underline_offset(), width, font.underline_offset() + t, ink);
    if (font.strikeout())
        fill_text_box(dc, ox, oy, angle, 0, -font.strikeout_offset(), width, -font.strikeout_offset() + t, ink);
    if (underline_char >= 0 && static_cast<size_t>(underline_char) < text.size()) {
        int a = xs[static_cast<size_t>(underline_char)];
        int b = static_cast<size_t>(underline_char) + 1 < xs.size() ? xs[static_cast<size_t>(underline_char) + 1] : width;
        fill_text_box(dc, ox, oy, angle, a, font.underline_offset(), b, font.underline_offset() + t, ink);
    }
}

}  // namespace

BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, const char* text, int count, const int* dx)
{
    if (!hdc)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    DcState& st = dc.state();
    bool clipped = (options & ETO_CLIPPED) && rect;
    if (clipped) {
        SaveDC(hdc);
        IntersectClipRect(hdc, rect->left, rect->top, rect->right, rect->bottom);
    }
    if ((options & ETO_OPAQUE) && rect)
        dc.fill_rect(dc.to_device(*rect), dc.pixel_for(st.bk_color));
    size_t n = length_of(text, count);
    BOOL ok = TRUE;
    if (n > 0) {
        std::lock_guard lock(font_lock());
        RealizedFont* font = font_of(dc);
        if (!font) {
            ok = FALSE;
        } else {
            std::u32string s = decode_utf8(text, n);
            std::vector<int> xs;
            std::vector<int> scaled_dx;
            if (dx && dc.scaled()) {
                for (size_t i = 0; i < s.size(); ++i)
                    scaled_dx.push_back(static_cast<int>(std::lround(dx[i] * std::fabs(dc.scale_x()))));
                dx = scaled_dx.data();
            }
            int width = layout(*font, s, &xs, 0, dx);
            bool update = st.text_align & TA_UPDATECP;
            POINT ref = dc.to_device(update ? st.position : POINT{x, y});
            draw_line_of_text(dc, *font, ref, st.text_align, s, xs, width, st.bk_mode == OPAQUE && !(options & ETO_OPAQUE));
            if (update) {
                double a = font->angle();
                POINT end{ref.x + static_cast<LONG>(std::lround(width * std::cos(a))),
                          ref.y - static_cast<LONG>(std::lround(width * std::sin(a)))};
                st.position = dc.to_logical(end);
            }
        }
    }
    if (clipped)
        RestoreDC(hdc, -1);
    return ok;
}

BOOL TextOut(HDC dc, int x, int y, const char* text, int count)
{
    return ExtTextOut(dc, x, y, 0, nullptr, text, count, nullptr);
}

BOOL GetTextExtentPoint32(HDC hdc, const char* text, int count, SIZE* out)
{
    if (!hdc || !out)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    std::lock_guard lock(font_lock());
    RealizedFont* font = font_of(dc);
    if (!font)
        return FALSE;
    std::u32string s = decode_utf8(text, length_of(text, count));
    int width = layout(*font, s, nullptr);
    out->cx = dc.scaled() ? static_cast<LONG>(std::lround(width / std::fabs(dc.scale_x()))) : width;
    out->cy = dc.scaled() ? static_cast<LONG>(std::lround(font->metrics().tmHeight / std::fabs(dc.scale_y())))
                          : font->metrics().tmHeight;
    return TRUE;
}

BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* out)
{
    if (!hdc || !out)
        return FALSE;
    std::lock_guard lock(font_lock());
    RealizedFont* font = font_of(*as_dc(hdc));
    if (!font)
        return FALSE;
    *out = font->metrics();
    DeviceContext& dc = *as_dc(hdc);
    if (dc.scaled()) {
        // Reported in logical units, as everything else the DC answers.
        double sx = std::fabs(dc.scale_x()), sy = std::fabs(dc.scale_y());
        for (LONG* v : {&out->tmHeight, &out->tmAscent, &out->tmDescent, &out->tmInternalLeading, &out->tmExternalLeading})
            *v = static_cast<LONG>(std::lround(*v / sy));
        for (LONG* v : {&out->tmAveCharWidth, &out->tmMaxCharWidth})
            *v = static_cast<LONG>(std::lround(*v / sx));
    }
    return TRUE;
}

namespace {

struct TextLine {
    std::u32string text;
    int underline = -1;  // index of the '&'-prefixed character
};

// Removes '&' prefixes: "&x" underlines x, "&&" is a literal '&', a lone trailing '&' vanishes.
TextLine strip_prefixes(const std::u32string& in, bool keep)
{
    TextLine out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (keep || in[i] != U'&') {
            out.text.push_back(in[i]);
            continue;
        }
        if (i + 1 >= in.size())
            break;
        ++i;
        if (in[i] != U'&')
            out.underline = static_cast<int>(out.text.size());
        out.text.push_back(in[i]);
    }
    return out;
}

TextLine slice(const TextLine& line, size_t from, size_t to)
{
    TextLine out;
    out.text = line.text.substr(from, to - from);
    if (line.underline >= static_cast<int>(from) && line.underline < static_cast<int>(to))
        out.underline = line.underline - static_cast<int>(from);
    return out;
}

// Greedy word wrap: break after the last run of spaces that keeps the line inside `limit`; a
// word wider than the limit stays whole on its own line.
void wrap(RealizedFont& font, const TextLine& line, int limit, int tab, std::vector<TextLine>& out)
{
    size_t start = 0;
    const std::u32string& t = line.text;
    while (true) {
        std::vector<int> xs;
        std::u32string rest = t.substr(start);
        int width = layout(font, rest, &xs, tab);
        if (width <= limit) {
            out.push_back(slice(line, start, t.size()));
            return;
        }
        size_t cut = 0;  // characters kept on this line
        for (size_t i = 1; i < rest.size(); ++i) {
            bool boundary = rest[i] == U' ' && rest[i - 1] != U' ';
            if (!boundary)
                continue;
            if (xs[i] > limit && cut > 0)
                break;
            cut = i;
            if (xs[i] > limit)
                break;
        }
        if (cut == 0) {
            // No space before the overflow: the first word takes the line.
            cut = 1;
            while (cut < rest.size() && rest[cut] != U' ')
                ++cut;
            if (cut == rest.size()) {
                out.push_back(slice(line, start, t.size()));
                return;
            }
        }
        out.push_back(slice(line, start, start + cut));
        start += cut;
        while (start < t.size() && t[start] == U' ')
            ++start;
        if (start >= t.size())
            return;
    }
}

// Shortens a line until it fits with "..." after it.
void end_ellipsis(RealizedFont& font, TextLine& line, int limit, int tab)
{
    if (layout(font, line.text, nullptr, tab) <= limit)
        return;
    const std::u32string dots = U"...";
    int dots_width = layout(font, dots, nullptr);
    std::vector<int> xs;
    layout(font, line.text, &xs, tab);
    size_t keep = line.text.size();
    while (keep > 0 && xs[keep - 1] + font.advance(line.text[keep - 1]) + dots_width > limit)
        --keep;
    line.text = line.text.substr(0, keep) + dots;
    if (line.underline >= static_cast<int>(keep))
        line.underline = -1;
}

}  // namespace

int DrawText(HDC hdc, const char* text, int count, RECT* rect, UINT format)
{
    if (!hdc || !rect)
        return 0;
    DeviceContext& dc = *as_dc(hdc);
    std::unique_lock lock(font_lock());
    RealizedFont* font = font_of(dc);
    if (!font)
        return 0;
    const TEXTMETRIC& tm = font->metrics();
    RECT box = dc.to_device(*rect);
    int limit = box.right - box.left;
    int tab = (format & DT_EXPANDTABS) ? 8 * tm.tmAveCharWidth : 0;
    bool single = format & DT_SINGLELINE;

    std::u32string all = decode_utf8(text, length_of(text, count));
    std::vector<std::u32string> paragraphs;
    if (single) {
        std::u32string flat;
        for (char32_t c : all)
            if (c != U'\r' && c != U'\n')
                flat.push_back(c);
        paragraphs.push_back(flat);
    } else if (!all.empty()) {
        std::u32string cur;
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i] == U'\r' || all[i] == U'\n') {
                paragraphs.push_back(cur);
                cur.clear();
                if (all[i] == U'\r' && i + 1 < all.size() && all[i + 1] == U'\n')
                    ++i;
            } else {
                cur.push_back(all[i]);
            }
        }
        paragraphs.push_back(cur);
    }
    std::vector<TextLine> lines;
    for (const std::u32string& p : paragraphs) {
        TextLine line = strip_prefixes(p, format & DT_NOPREFIX);
        if ((format & DT_WORDBREAK) && !single)
            wrap(*font, line, limit, tab, lines);
        else
            lines.push_back(line);
    }
    if ((format & DT_END_ELLIPSIS) && !lines.empty() && !(format & DT_CALCRECT))
        end_ellipsis(*font, lines.back(), limit, tab);

    int line_height = tm.tmHeight;
    int total = static_cast<int>(lines.size()) * line_height;
    std::vector<int> widths;
    int widest = 0;
    for (const TextLine& l : lines) {
        widths.push_back(layout(*font, l.text, nullptr, tab));
        widest = std::max(widest, widths.back());
    }
    auto to_logical_h = [&](int v) { return dc.scaled() ? static_cast<int>(std::lround(v / std::fabs(dc.scale_y()))) : v; };
    if (format & DT_CALCRECT) {
        POINT br = dc.to_logical(POINT{box.left + widest, box.top + total});
        rect->right = br.x;
        rect->bottom = br.y;
        return to_logical_h(total);
    }
    int top = box.top;
    if (single && (format & DT_VCENTER))
        top = box.top + (box.bottom - box.top - total) / 2;
    else if (single && (format & DT_BOTTOM))
        top = box.bottom - total;

    lock.unlock();  // SaveDC and clipping take no font lock; retake it for drawing
    bool clip = !(format & DT_NOCLIP);
    if (clip) {
        SaveDC(hdc);
        IntersectClipRect(hdc, rect->left, rect->top, rect->right, rect->bottom);
    }
    lock.lock();
    for (size_t i = 0; i < lines.size(); ++i) {
        int x = box.left;
        if (format & DT_CENTER)
            x = box.left + (limit - widths[i]) / 2;
        else if (format & DT_RIGHT)
            x = box.right - widths[i];
        std::vector<int> xs;
        layout(*font, lines[i].text, &xs, tab);
        draw_line_of_text(dc, *font, POINT{x, top + static_cast<int>(i) * line_height}, TA_LEFT | TA_TOP, lines[i].text, xs,
                          widths[i], dc.state().bk_mode == OPAQUE, lines[i].underline);
    }
    lock.unlock();
    if (clip)
        RestoreDC(hdc, -1);
    return to_logical_h(top - box.top + total);
}
