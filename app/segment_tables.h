#pragma once
// The outlines the segment-digit display builds its characters from, on the characters' design
// grid (49 units wide, the colon and dot character 18; 83 high; y downwards). Each point has a
// type: 6 starts a figure, 2 draws a straight line to it, 4 is a point a curve passes through.
// Process-wide constants, built with the other global objects.

#include <vector>

#include "platform/base/types.h"

struct SegmentOutline {
    std::vector<POINT> points;
    std::vector<BYTE> types;
};

extern const SegmentOutline g_Seg7PlainHorizontal;
extern const SegmentOutline g_Seg7PlainVertical;
extern const SegmentOutline g_Seg7PlainMiddle;
extern const SegmentOutline g_Seg7SmoothHorizontal;
extern const SegmentOutline g_Seg7SmoothLeft;
extern const SegmentOutline g_Seg7SmoothRight;
extern const SegmentOutline g_Seg7SmoothMiddle;
extern const SegmentOutline g_Seg14PlainCentre;
extern const SegmentOutline g_Seg14PlainDiagonal;
extern const SegmentOutline g_Seg14PlainHalfMiddle;
extern const SegmentOutline g_Seg14PlainVertical;
extern const SegmentOutline g_Seg14PlainHorizontal;
extern const SegmentOutline g_Seg14SmoothCentre;
extern const SegmentOutline g_Seg14SmoothDiagonal;
extern const SegmentOutline g_Seg14SmoothHalfMiddle;
extern const SegmentOutline g_Seg14SmoothVertical;
extern const SegmentOutline g_Seg14SmoothHorizontal;
extern const SegmentOutline g_SegDotUpper;
extern const SegmentOutline g_SegDotMiddle;
extern const SegmentOutline g_SegDotLower;
