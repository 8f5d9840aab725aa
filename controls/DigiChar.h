#pragma once
// The characters of the segment-digit display: segments are outlines on the design grid (see
// app/segment_tables.h), scaled to the character's rectangle when drawn; runs of curve points
// become one cubic Bezier fitted through them.

#include <vector>

#include "app/segment_tables.h"
#include "platform/gdi/afxgdi.h"

// Style bits of the segment-digit display.
enum DigiStyle : int {
    DigiStyleSmooth = 1,        // curved outlines
    DigiStyle14Segment = 2,     // digits, space and minus with 14 segments
    DigiStyleProportional = 4,  // one scale for both axes, centred
    DigiStyleNoOff = 8,         // unlit segments not drawn
    DigiStyleSoftOff = 16,      // outlines blended a quarter towards the face colour
};

struct DigiPoint {
    double x, y;
};

// A character's place on the device, in fractional pixels.
struct DigiRect {
    double left, top, right, bottom;
};

// Control points c1, c2 of a cubic from points[0] to points[m-1] passing as close as it can to
// the points between (m >= 3).
void FitCubicThroughPoints(const DigiPoint* points, int m, DigiPoint* c1, DigiPoint* c2);
// The fit's measure: summed squared distance of the inner points to the curve.
double CubicFitError(const DigiPoint* points, int m, DigiPoint c1, DigiPoint c2);

class CDSegment {
public:
    enum Mirror { None = 0, AcrossX = 1, AcrossY = 2, Both = 3 };

    CDSegment() = default;
    CDSegment(const SegmentOutline& outline, Mirror mirror);

    // Traces the outline into the DC's current path (or as lines without one).
    void Draw(CDC* dc, const DigiRect& rect, int char_width) const;

    std::vector<POINT> m_paPoints;
    std::vector<BYTE> m_paTypes;
    int m_nCount = 0;
};

class CDigiChar {
public:
    virtual ~CDigiChar() = default;

    // Stores the lit segments and the no-off flag; the character classes then build their
    // segments for the style.
    virtual void SetElementData(WORD mask, int style);
    // Fills and outlines each segment in the on or off colours; with `region`, also adds the
    // outline of each drawn segment to it.
    void Draw(CDC* dc, const DigiRect& rect, CBrush* off_brush, CBrush* on_brush, CPen* off_pen, CPen* on_pen,
              CRgn* region) const;

    int GetWidth() const { return m_Width; }
    WORD GetMask() const { return m_wSegmData; }
    int GetSegmentCount() const { return m_NSegments; }
    const std::vector<CDSegment>& Segments() const { return m_SegmentArray; }

protected:
    int m_Width = 49;
    WORD m_wSegmData = 0;
    std::vector<CDSegment> m_SegmentArray;
    int m_NSegments = 0;
    BOOL m_bNoOff = FALSE;
};

class CDigi7Segment : public CDigiChar {
public:
    CDigi7Segment();
    void SetElementData(WORD mask, int style) override;
};

class CDigi14Segment : public CDigiChar {
public:
    CDigi14Segment();
    void SetElementData(WORD mask, int style) override;
};

class CDigiColonDotChar : public CDigiChar {
public:
    CDigiColonDotChar();
    void SetElementData(WORD mask, int style) override;
};
