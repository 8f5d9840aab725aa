#pragma once
// A static control showing a short text as lit segments: digits, space and minus as 7-segment
// characters (14 on request), letters and a few signs as 14-segment characters, dot and colon as
// narrow characters. The characters are built lazily at the next paint after a change.

#include <string>
#include <vector>

#include "controls/DigiChar.h"
#include "platform/ctl/static.h"

class CDigiStatic : public CStatic {
public:
    CDigiStatic();

    // "?" shows the window's caption.
    void SetText(const std::string& text);
    // FALSE, changing nothing, when the two masks share a bit.
    BOOL ModifyDigiStyle(DWORD remove, DWORD add);
    void SetColor(COLORREF off_color, COLORREF on_color);
    BOOL SetTransparent(BOOL transparent);
    void Redraw();

protected:
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;

    void BuildCharacters();
    // The character for `c` in the given style, or false when it has none.
    static bool CreateDigiChar(char c, DWORD style, CDigiChar* out);

    std::string m_strText;
    BOOL m_Modified;
    std::vector<CDigiChar> m_CharArray;
    COLORREF m_OffColor;
    COLORREF m_OnColor;
    COLORREF m_BackColor;
    DWORD m_DispStyle;
    BOOL m_bImmediateUpdate;
    BOOL m_bTransparent;
};
