#include "platform/gdi/region.h"

#include <algorithm>

namespace gdi {

namespace {

bool apply(int op, bool a, bool b)
{
    switch (op) {
    case RGN_AND: return a && b;
    case RGN_OR: return a || b;
    case RGN_XOR: return a != b;
    case RGN_DIFF: return a && !b;
    default: return false;
    }
}

bool inside(const std::vector<Span>& spans, int x0)
{
    for (const Span& s : spans)
        if (x0 >= s.x0 && x0 < s.x1)
            return true;
    return false;
}

std::vector<Span> combine_spans(const std::vector<Span>& a, const std::vector<Span>& b, int op)
{
    std::vector<int> xs;
    for (const Span& s : a) { xs.push_back(s.x0); xs.push_back(s.x1); }
    for (const Span& s : b) { xs.push_back(s.x0); xs.push_back(s.x1); }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::vector<Span> out;
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
        if (!apply(op, inside(a, xs[i]), inside(b, xs[i])))
            continue;
        if (!out.empty() && out.back().x1 == xs[i])
            out.back().x1 = xs[i + 1];
        else
            out.push_back({xs[i], xs[i + 1]});
    }
    return out;
}

// Appends a band, merging it into the previous one when they touch and cover the same columns.
void append_band(std::vector<RECT>& rects, int top, int bottom, const std::vector<Span>& spans)
{
    if (spans.empty() || top >= bottom)
        return;
    if (!rects.empty() && rects.back().bottom == top) {
        int last_top = rects.back().top;
        size_t first = rects.size();
        while (first > 0 && rects[first - 1].top == last_top)
            --first;
        bool same = rects.size() - first == spans.size();
        for (size_t i = 0; same && i < spans.size(); ++i)
            same = rects[first + i].left == spans[i].x0 && rects[first + i].right == spans[i].x1;
        if (same) {
            for (size_t i = first; i < rects.size(); ++i)
                rects[i].bottom = bottom;
            return;
        }
    }
    for (const Span& s : spans)
        rects.push_back({s.x0, top, s.x1, bottom});
}

// Spans of the band covering row y (empty between bands).
std::vector<Span> spans_at(const std::vector<RECT>& rects, int y)
{
    std::vector<Span> out;
    auto it = std::lower_bound(rects.begin(), rects.end(), y,
                               [](const RECT& r, int row) { return r.bottom <= row; });
    for (; it != rects.end() && it->top <= y; ++it)
        if (y < it->bottom)
            out.push_back({it->left, it->right});
    return out;
}

}  // namespace

Region::Region(const RECT& rect)
{
    if (rect.left < rect.right && rect.top < rect.bottom)
        m_rects.push_back(rect);
}

Region Region::from_rows(int top, const std::vector<std::vector<Span>>& rows)
{
    Region region;
    for (size_t i = 0; i < rows.size(); ++i) {
        std::vector<Span> spans = combine_spans(rows[i], {}, RGN_OR);
        append_band(region.m_rects, top + static_cast<int>(i), top + static_cast<int>(i) + 1, spans);
    }
    return region;
}

RECT Region::bounds() const
{
    if (m_rects.empty())
        return {0, 0, 0, 0};
    RECT b = m_rects.front();
    for (const RECT& r : m_rects) {
        b.left = std::min(b.left, r.left);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

int Region::complexity() const
{
    if (m_rects.empty())
        return NULLREGION;
    return m_rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

bool Region::contains(int x, int y) const
{
    for (const RECT& r : m_rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return true;
    return false;
}

bool Region::intersects(const RECT& rect) const
{
    for (const RECT& r : m_rects)
        if (std::max(r.left, rect.left) < std::min(r.right, rect.right) &&
            std::max(r.top, rect.top) < std::min(r.bottom, rect.bottom))
            return true;
    return false;
}

void Region::offset(int dx, int dy)
{
    for (RECT& r : m_rects) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

Region Region::combine(const Region& a, const Region& b, int op)
{
    if (op == RGN_AND && (a.empty() || b.empty()))
        return {};
    if (a.empty() && (op == RGN_OR || op == RGN_XOR))
        return b;
    if (b.empty() && op != RGN_AND)
        return a;
    std::vector<int> ys;
    for (const RECT& r : a.m_rects) { ys.push_back(r.top); ys.push_back(r.bottom); }
    for (const RECT& r : b.m_rects) { ys.push_back(r.top); ys.push_back(r.bottom); }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    Region out;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        std::vector<Span> spans = combine_spans(spans_at(a.m_rects, ys[i]), spans_at(b.m_rects, ys[i]), op);
        append_band(out.m_rects, ys[i], ys[i + 1], spans);
    }
    return out;
}

bool Region::operator==(const Region& other) const
{
    if (m_rects.size() != other.m_rects.size())
        return false;
    for (size_t i = 0; i < m_rects.size(); ++i) {
        const RECT& p = m_rects[i];
        const RECT& q = other.m_rects[i];
        if (p.left != q.left || p.top != q.top || p.right != q.right || p.bottom != q.bottom)
            return false;
    }
    return true;
}

}  // namespace gdi
