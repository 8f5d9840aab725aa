#pragma once
// An off-screen drawing context for one paint: the caller draws into it with the target's own
// coordinates, and the finished picture is copied onto the target in one block when it goes
// out of scope, so controls paint without flicker. A printing target (or a memory bitmap that
// cannot be made) is drawn on directly.

#include "platform/gdi/afxgdi.h"

class CMemDC : public CDC {
public:
    // area NULL: the target's clip box. copyBackground: start from what the target shows there
    // (for controls drawn over their parent), else from the target's background colour.
    CMemDC(CDC* target, const CRect* area, BOOL copyBackground);
    // The clip box, started from the target's background colour, without mapping modes.
    explicit CMemDC(CDC* target);
    ~CMemDC() override;

private:
    // Draws straight onto the target, sharing its handles without owning them.
    void PassThrough();

    CBitmap m_bitmap;
    CBitmap* m_oldBitmap = nullptr;
    CDC* m_pDC;
    CRect m_rect;
    BOOL m_bMemDC;
};
