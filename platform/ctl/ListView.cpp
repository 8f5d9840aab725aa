#include "platform/ctl/ListView.h"

#include <memory>
#include <unordered_map>
#include <vector>

namespace {

struct Column {
    std::string heading;
    int width = 0;
    int format = LVCFMT_LEFT;
};

struct Row {
    std::vector<std::string> texts;  // by column
    UINT state = 0;
    int image = 0;
    LPARAM param = 0;
};

struct ListData {
    std::vector<Column> columns;
    std::vector<Row> rows;
    HFONT font = nullptr;
};

std::unordered_map<HWND, std::unique_ptr<ListData>>& Lists()
{
    static std::unordered_map<HWND, std::unique_ptr<ListData>> lists;
    return lists;
}

ListData* Data(HWND hwnd)
{
    auto it = Lists().find(hwnd);
    return it == Lists().end() ? nullptr : it->second.get();
}

HFONT FontOf(const ListData& d) { return d.font ? d.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

int TextHeight(const ListData& d)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontOf(d));
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    return tm.tmHeight > 0 ? tm.tmHeight : 13;
}

int RowHeight(const ListData& d) { return TextHeight(d) + 4; }

int HeaderHeight(HWND hwnd, const ListData& d)
{
    return (GetWindowLong(hwnd, GWL_STYLE) & LVS_NOCOLUMNHEADER) ? 0 : TextHeight(d) + 8;
}

int TotalWidth(const ListData& d)
{
    int w = 0;
    for (const Column& c : d.columns)
        w += c.width;
    return w;
}

RECT RowBounds(HWND hwnd, const ListData& d, int row)
{
    const int top = HeaderHeight(hwnd, d) + row * RowHeight(d);
    return {0, top, TotalWidth(d), top + RowHeight(d)};
}

void CopyText(const std::string& text, char* out, int size)
{
    if (!out || size <= 0)
        return;
    size_t n = text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
    text.copy(out, n);
    out[n] = '\0';
}

void Paint(HWND hwnd, ListData& d)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ old_font = SelectObject(dc, FontOf(d));
    SetBkMode(dc, TRANSPARENT);
    const int header = HeaderHeight(hwnd, d);
    if (header > 0) {
        RECT band{0, 0, client.right, header};
        FillRect(dc, &band, GetSysColorBrush(COLOR_3DFACE));
        int x = 0;
        for (const Column& c : d.columns) {
            RECT cell{x + 4, 0, x + c.width, header};
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            DrawText(dc, c.heading.c_str(), -1, &cell, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            RECT edge{x + c.width - 1, 2, x + c.width, header - 2};
            FillRect(dc, &edge, GetSysColorBrush(COLOR_3DSHADOW));
            x += c.width;
        }
    }
    const bool owner_draw = GetWindowLong(hwnd, GWL_STYLE) & LVS_OWNERDRAWFIXED;
    const bool focused = GetFocus() == hwnd;
    const int id = GetDlgCtrlID(hwnd);
    for (int i = 0; i < static_cast<int>(d.rows.size()); ++i) {
        RECT bounds = RowBounds(hwnd, d, i);
        if (bounds.top >= client.bottom)
            break;
        const Row& row = d.rows[i];
        if (owner_draw) {
            DRAWITEMSTRUCT dis{};
            dis.CtlType = ODT_LISTVIEW;
            dis.CtlID = static_cast<UINT>(id);
            dis.itemID = static_cast<UINT>(i);
            dis.itemAction = ODA_DRAWENTIRE;
            dis.itemState = ((row.state & LVIS_SELECTED) ? ODS_SELECTED : 0) |
                            ((row.state & LVIS_FOCUSED) && focused ? ODS_FOCUS : 0) |
                            (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
            dis.hwndItem = hwnd;
            dis.hDC = dc;
            dis.rcItem = bounds;
            dis.itemData = static_cast<ULONG_PTR>(row.param);
            if (HWND parent = GetParent(hwnd))
                SendMessage(parent, WM_DRAWITEM, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&dis));
            if (!IsWindow(hwnd))
                return;
            continue;
        }
        const bool selected = (row.state & LVIS_SELECTED) && (focused || (GetWindowLong(hwnd, GWL_STYLE) & LVS_SHOWSELALWAYS));
        if (selected)
            FillRect(dc, &bounds, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        int x = 0;
        for (size_t c = 0; c < d.columns.size(); ++c) {
            RECT cell{x + 4, bounds.top, x + d.columns[c].width, bounds.bottom};
            if (c < row.texts.size())
                DrawText(dc, row.texts[c].c_str(), -1, &cell, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            x += d.columns[c].width;
        }
    }
    SelectObject(dc, old_font);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK_ListView(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE)
        Lists()[hwnd] = std::make_unique<ListData>();
    ListData* d = Data(hwnd);
    if (!d)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    const int index = static_cast<int>(wParam);
    const bool valid_row = index >= 0 && index < static_cast<int>(d->rows.size());
    switch (msg) {
    case WM_NCDESTROY:
        Lists().erase(hwnd);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_PAINT:
        Paint(hwnd, *d);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETFONT:
        d->font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(static_cast<DWORD>(lParam)))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(d->font);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        const int y = GET_Y_LPARAM(lParam), header = HeaderHeight(hwnd, *d);
        if (y >= header) {
            const int row = (y - header) / RowHeight(*d);
            if (row < static_cast<int>(d->rows.size())) {
                for (Row& r : d->rows)
                    r.state &= ~(LVIS_SELECTED | LVIS_FOCUSED);
                d->rows[row].state |= LVIS_SELECTED | LVIS_FOCUSED;
                InvalidateRect(hwnd, nullptr, TRUE);
            }
        }
        return 0;
    }
    case LVM_GETITEMCOUNT:
        return static_cast<LRESULT>(d->rows.size());
    case LVM_INSERTCOLUMN: {
        const LVCOLUMN* c = reinterpret_cast<const LVCOLUMN*>(lParam);
        if (!c)
            return -1;
        int at = index < 0 ? 0 : (index > static_cast<int>(d->columns.size()) ? static_cast<int>(d->columns.size()) : index);
        Column col;
        if ((c->mask & LVCF_TEXT) && c->pszText)
            col.heading = c->pszText;
        if (c->mask & LVCF_WIDTH)
            col.width = c->cx > 0 ? c->cx : 0;
        if (c->mask & LVCF_FMT)
            col.format = c->fmt;
        d->columns.insert(d->columns.begin() + at, col);
        for (Row& r : d->rows)
            if (static_cast<int>(r.texts.size()) > at)
                r.texts.insert(r.texts.begin() + at, std::string());
        InvalidateRect(hwnd, nullptr, TRUE);
        return at;
    }
    case LVM_GETCOLUMN: {
        LVCOLUMN* c = reinterpret_cast<LVCOLUMN*>(lParam);
        if (!c || index < 0 || index >= static_cast<int>(d->columns.size()))
            return FALSE;
        const Column& col = d->columns[index];
        if (c->mask & LVCF_WIDTH)
            c->cx = col.width;
        if (c->mask & LVCF_FMT)
            c->fmt = col.format;
        if (c->mask & LVCF_TEXT)
            CopyText(col.heading, c->pszText, c->cchTextMax);
        if (c->mask & LVCF_SUBITEM)
            c->iSubItem = index;
        return TRUE;
    }
    case LVM_INSERTITEM: {
        const LVITEM* item = reinterpret_cast<const LVITEM*>(lParam);
        if (!item || item->iSubItem != 0)
            return -1;
        int at = item->iItem < 0 ? 0 : item->iItem;
        if (at > static_cast<int>(d->rows.size()))
            at = static_cast<int>(d->rows.size());
        Row row;
        row.texts.resize(d->columns.empty() ? 1 : d->columns.size());
        if ((item->mask & LVIF_TEXT) && item->pszText)
            row.texts[0] = item->pszText;
        if (item->mask & LVIF_STATE)
            row.state = item->state & item->stateMask;
        if (item->mask & LVIF_IMAGE)
            row.image = item->iImage;
        if (item->mask & LVIF_PARAM)
            row.param = item->lParam;
        d->rows.insert(d->rows.begin() + at, std::move(row));
        InvalidateRect(hwnd, nullptr, TRUE);
        return at;
    }
    case LVM_GETITEM:
    case LVM_SETITEM: {
        LVITEM* item = reinterpret_cast<LVITEM*>(lParam);
        if (!item || item->iItem < 0 || item->iItem >= static_cast<int>(d->rows.size()) || item->iSubItem < 0)
            return FALSE;
        Row& row = d->rows[item->iItem];
        if (msg == LVM_GETITEM) {
            if (item->mask & LVIF_STATE)
                item->state = row.state & item->stateMask;
            if (item->mask & LVIF_IMAGE)
                item->iImage = row.image;
            if (item->mask & LVIF_PARAM)
                item->lParam = row.param;
            if (item->mask & LVIF_TEXT)
                CopyText(item->iSubItem < static_cast<int>(row.texts.size()) ? row.texts[item->iSubItem] : std::string(),
                         item->pszText, item->cchTextMax);
            return TRUE;
        }
        if ((item->mask & LVIF_TEXT) && item->pszText) {
            if (item->iSubItem >= static_cast<int>(row.texts.size()))
                row.texts.resize(item->iSubItem + 1);
            row.texts[item->iSubItem] = item->pszText;
        }
        if (item->mask & LVIF_STATE)
            row.state = (row.state & ~item->stateMask) | (item->state & item->stateMask);
        if (item->mask & LVIF_IMAGE)
            row.image = item->iImage;
        if (item->mask & LVIF_PARAM)
            row.param = item->lParam;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case LVM_SETITEMSTATE: {
        const LVITEM* item = reinterpret_cast<const LVITEM*>(lParam);
        if (!item)
            return FALSE;
        if (index == -1) {
            for (Row& r : d->rows)
                r.state = (r.state & ~item->stateMask) | (item->state & item->stateMask);
        } else if (valid_row) {
            d->rows[index].state = (d->rows[index].state & ~item->stateMask) | (item->state & item->stateMask);
        } else {
            return FALSE;
        }
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case LVM_GETITEMSTATE:
        return valid_row ? static_cast<LRESULT>(d->rows[index].state & static_cast<UINT>(lParam)) : 0;
    case LVM_GETITEMTEXT:
    case LVM_SETITEMTEXT: {
        LVITEM* item = reinterpret_cast<LVITEM*>(lParam);
        if (!item || !valid_row || item->iSubItem < 0)
            return 0;
        Row& row = d->rows[index];
        if (msg == LVM_GETITEMTEXT) {
            std::string text = item->iSubItem < static_cast<int>(row.texts.size()) ? row.texts[item->iSubItem] : std::string();
            CopyText(text, item->pszText, item->cchTextMax);
            return static_cast<LRESULT>(text.size());
        }
        if (item->iSubItem >= static_cast<int>(row.texts.size()))
            row.texts.resize(item->iSubItem + 1);
        row.texts[item->iSubItem] = item->pszText ? item->pszText : "";
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case LVM_GETITEMRECT: {
        RECT* out = reinterpret_cast<RECT*>(lParam);
        if (!out || !valid_row)
            return FALSE;
        *out = RowBounds(hwnd, *d, index);
        return TRUE;
    }
    case LVM_DELETEALLITEMS:
        d->rows.clear();
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

namespace qv::ctl {

void RegisterListViewClass()
{
    WNDCLASS existing;
    if (GetClassInfo(nullptr, "SysListView32", &existing))
        return;
    WNDCLASS wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = CALLBACK_ListView;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "SysListView32";
    RegisterClass(&wc);
}

}  // namespace qv::ctl

CListCtrl::CListCtrl() { qv::ctl::RegisterListViewClass(); }

BOOL CListCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CWnd::Create("SysListView32", "", style, rect, parent, id);
}

int CListCtrl::InsertColumn(int column, LPCSTR heading, int format, int width, int sub_item)
{
    std::string text = heading ? heading : "";
    LVCOLUMN c{};
    c.mask = LVCF_TEXT | LVCF_FMT | (width >= 0 ? LVCF_WIDTH : 0) | (sub_item >= 0 ? LVCF_SUBITEM : 0);
    c.fmt = format;
    c.cx = width;
    c.pszText = text.data();
    c.iSubItem = sub_item;
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMN, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c)));
}

BOOL CListCtrl::GetColumn(int column, LVCOLUMN* out) const
{
    return static_cast<BOOL>(SendMessage(LVM_GETCOLUMN, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(out)));
}

int CListCtrl::InsertItem(int item, LPCSTR text)
{
    std::string copy = text ? text : "";
    LVITEM it{};
    it.mask = LVIF_TEXT;
    it.iItem = item;
    it.pszText = copy.data();
    return static_cast<int>(SendMessage(LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&it)));
}

BOOL CListCtrl::SetItemText(int item, int sub_item, LPCSTR text)
{
    std::string copy = text ? text : "";
    LVITEM it{};
    it.iSubItem = sub_item;
    it.pszText = copy.data();
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

std::string CListCtrl::GetItemText(int item, int sub_item) const
{
    LVITEM it{};
    it.iSubItem = sub_item;
    it.cchTextMax = 0;
    int length = static_cast<int>(SendMessage(LVM_GETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    it.pszText = text.data();
    it.cchTextMax = length + 1;
    SendMessage(LVM_GETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it));
    text.resize(static_cast<size_t>(length));
    return text;
}

BOOL CListCtrl::GetItem(LVITEM* item) const
{
    return static_cast<BOOL>(SendMessage(LVM_GETITEM, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask)
{
    LVITEM it{};
    it.state = state;
    it.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

UINT CListCtrl::GetItemState(int item, UINT mask) const
{
    return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), static_cast<LPARAM>(mask)));
}

BOOL CListCtrl::GetItemRect(int item, LPRECT rect, UINT code) const
{
    if (rect)
        rect->left = static_cast<LONG>(code);
    return static_cast<BOOL>(SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(rect)));
}

int CListCtrl::GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }

BOOL CListCtrl::DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }

void CListCtrl::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CListCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message != WM_DRAWITEM)
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    return TRUE;
}
