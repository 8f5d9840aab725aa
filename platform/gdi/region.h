#pragma once
// Regions: sets of pixels kept as y-x banded rectangles (bands sorted top to bottom, rectangles of
// a band left to right, neither overlapping nor touching). The form is canonical, so two regions
// covering the same pixels compare equal.

#include <vector>

#include "platform/gdi/gdi_types.h"

namespace gdi {

// One row's covered x intervals [x0, x1), sorted and disjoint.
struct Span {
    int x0;
    int x1;
};

class Region {
public:
    Region() = default;
    explicit Region(const RECT& rect);

    // Builds a region from per-row spans; rows[i] covers y = top + i.
    static Region from_rows(int top, const std::vector<std::vector<Span>>& rows);

    bool empty() const { return m_rects.empty(); }
    const std::vector<RECT>& rects() const { return m_rects; }
    RECT bounds() const;
    // NULLREGION, SIMPLEREGION or COMPLEXREGION.
    int complexity() const;
    bool contains(int x, int y) const;
    bool intersects(const RECT& rect) const;
    void offset(int dx, int dy);

    // op is RGN_AND, RGN_OR, RGN_XOR or RGN_DIFF.
    static Region combine(const Region& a, const Region& b, int op);
    Region intersected(const RECT& rect) const { return combine(*this, Region(rect), RGN_AND); }

    bool operator==(const Region& other) const;

private:
    std::vector<RECT> m_rects;
};

// Between region handles and the sets they hold, for layers above that keep regions as values.
// A new handle holding `region` (DeleteObject frees it).
HRGN CreateRgnFromRegion(const Region& region);
// The set a handle holds; false (and `out` untouched) when `h` is not a region.
bool GetRegionOfRgn(HRGN h, Region* out);
// Replaces the set a handle holds: the region's complexity, or ERROR when `h` is not a region.
int SetRgnToRegion(HRGN h, const Region& region);

}  // namespace gdi
