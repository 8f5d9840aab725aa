#include "controls/KrSkinDialog.h"

CKrSkinDialog::CKrSkinDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}

CKrSkinDialog::CKrSkinDialog(CWnd* parent) { m_pParentWnd = parent; }

CKrSkinDialog::~CKrSkinDialog() { m_bmpBack.DeleteObject(); }

BOOL CKrSkinDialog::SetBkBitmap(UINT bitmapId)
{
    m_bmpBack.DeleteObject();
    m_nBkWidth = m_nBkHeight = 0;
    BITMAP bm{};
    const BOOL loaded = m_bmpBack.LoadBitmap(bitmapId) && m_bmpBack.GetBitmap(&bm);
    if (loaded) {
        m_nBkWidth = bm.bmWidth;
        m_nBkHeight = bm.bmHeight;
    } else {
        m_bmpBack.DeleteObject();
    }
    if (m_hWnd && ::IsWindow(m_hWnd))
        Invalidate(TRUE);
    return loaded;
}

void CKrSkinDialog::DoDataExchange(CDataExchange* dx) { CDialog::DoDataExchange(dx); }

BOOL CKrSkinDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    return TRUE;
}

BOOL CKrSkinDialog::OnEraseBkgnd(CDC* dc)
{
    if (!HasBackground())
        return CDialog::OnEraseBkgnd(dc);

    CRect client;
    GetClientRect(&client);
    const int width = client.Width(), height = client.Height();

    CDC back;
    back.CreateCompatibleDC(dc);
    CBitmap* oldBack = back.SelectObject(&m_bmpBack);

    CDC picture;
    picture.CreateCompatibleDC(dc);
    CBitmap canvas;
    canvas.CreateCompatibleBitmap(dc, width, height);
    CBitmap* oldCanvas = picture.SelectObject(&canvas);
    // Beyond a background smaller than the window the plain dialog face shows, not whatever the
    // new bitmap happened to hold.
    picture.FillSolidRect(0, 0, width, height, GetSysColor(COLOR_3DFACE));
    picture.BitBlt(0, 0, m_nBkWidth, m_nBkHeight, &back, 0, 0, SRCCOPY);
    dc->BitBlt(client.left, client.top, width, height, &picture, 0, 0, SRCCOPY);

    picture.SelectObject(oldCanvas);
    picture.DeleteDC();
    canvas.DeleteObject();
    back.SelectObject(oldBack);
    back.DeleteDC();
    return TRUE;
}

void CKrSkinDialog::OnSize(UINT type, int cx, int cy)
{
    CDialog::OnSize(type, cx, cy);
    if (!HasBackground())
        return;
    Invalidate(TRUE);
    CRect client;
    GetClientRect(&client);
    CRgn region;
    region.CreateRoundRectRgn(client.left, client.top, client.right + 10, client.bottom + 10, m_nCornerWidth,
                              m_nCornerHeight);
    SetWindowRgn(static_cast<HRGN>(region.Detach()), TRUE);  // the window owns it from now on
}

void CKrSkinDialog::OnLButtonDown(UINT flags, CPoint point)
{
    if (m_bDrag) {
        // The move loop follows the pointer from where it was pressed, in screen coordinates.
        CPoint screen = point;
        ClientToScreen(&screen);
        PostMessage(WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION),
                    MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y)));
    }
    CDialog::OnLButtonDown(flags, point);
}
