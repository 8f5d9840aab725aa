#include "ui/ChannelPane.h"

BOOL CChannelPane::CreatePane(CWnd* parent, const RECT& rect, UINT id)
{
    WNDCLASS wc{};
    wc.lpfnWndProc = ::DefWindowProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    AfxRegisterClass(&wc);
    return CreateEx(0, kClassName, "", WS_CHILD | WS_VISIBLE, rect, parent, id);
}
