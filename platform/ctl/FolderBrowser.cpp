// The folder browser over std::filesystem. Folders are listed when first opened (never on
// paint), so a tree over a large disk costs only what the user unfolds.

#include "platform/ctl/FolderBrowser.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/ctl/Button.h"
#include "platform/win/dialog.h"

namespace fs = std::filesystem;

struct ITEMIDLIST {
    size_t size;
    char path[1];  // `size` bytes and a terminator
};

namespace {

constexpr char kTreeClass[] = "SysTreeView32";
constexpr int kTreeId = 100;
constexpr int kRowHeight = 18;
constexpr int kIndent = 16;

LPITEMIDLIST MakeItem(const std::string& path)
{
    auto* item = static_cast<ITEMIDLIST*>(std::malloc(sizeof(ITEMIDLIST) + path.size()));
    if (!item)
        return nullptr;
    item->size = path.size();
    std::memcpy(item->path, path.c_str(), path.size() + 1);
    return item;
}

struct Node {
    std::string name;
    std::string path;
    int parent = -1;
    int depth = 0;
    std::vector<int> children;
    bool listed = false;
    bool expanded = false;
};

struct Browser {
    BROWSEINFO* bi = nullptr;
    HWND dialog = nullptr;
    HWND tree = nullptr;
    std::vector<Node> nodes;
    int sel = -1;
    int top = 0;  // first row in view
    std::string status;
    bool selection_reported = false;
    LPITEMIDLIST result = nullptr;
    RECT title_rect{}, status_rect{};
};

Browser* Of(HWND dialog) { return reinterpret_cast<Browser*>(GetWindowLongPtr(dialog, GWLP_USERDATA)); }

void List(Browser& b, int index)
{
    if (b.nodes[static_cast<size_t>(index)].listed)
        return;
    b.nodes[static_cast<size_t>(index)].listed = true;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(b.nodes[static_cast<size_t>(index)].path, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code dir_ec;
        if (it->is_directory(dir_ec))
            names.push_back(it->path().filename().string());
    }
    // Hidden folders after the others, each group by name.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& c) {
        const bool ha = !a.empty() && a[0] == '.', hc = !c.empty() && c[0] == '.';
        return ha != hc ? hc : a < c;
    });
    for (const std::string& name : names) {
        Node n;
        n.name = name;
        const std::string& base = b.nodes[static_cast<size_t>(index)].path;
        n.path = base == "/" ? "/" + name : base + "/" + name;
        n.parent = index;
        n.depth = b.nodes[static_cast<size_t>(index)].depth + 1;
        b.nodes.push_back(std::move(n));
        b.nodes[static_cast<size_t>(index)].children.push_back(static_cast<int>(b.nodes.size() - 1));
    }
}

// A folder may have children until it has been listed.
bool MayHaveChildren(const Node& n) { return !n.listed || !n.children.empty(); }

void Rows(const Browser& b, int index, std::vector<int>& out)
{
    out.push_back(index);
    const Node& n = b.nodes[static_cast<size_t>(index)];
    if (n.expanded)
        for (int c : n.children)
            Rows(b, c, out);
}

std::vector<int> Rows(const Browser& b)
{
    std::vector<int> out;
    if (!b.nodes.empty())
        Rows(b, 0, out);
    return out;
}

int RowsInView(const Browser& b)
{
    RECT rc;
    GetClientRect(b.tree, &rc);
    return std::max(1, static_cast<int>(rc.bottom) / kRowHeight);
}

void ScrollIntoView(Browser& b)
{
    const std::vector<int> rows = Rows(b);
    const int row = static_cast<int>(std::find(rows.begin(), rows.end(), b.sel) - rows.begin());
    const int n = RowsInView(b);
    if (row < b.top)
        b.top = row;
    else if (row >= b.top + n)
        b.top = row - n + 1;
    b.top = std::clamp(b.top, 0, std::max(0, static_cast<int>(rows.size()) - n));
}

void Select(Browser& b, int index)
{
    if (index < 0 || index == b.sel)
        return;
    b.sel = index;
    for (int p = b.nodes[static_cast<size_t>(index)].parent; p >= 0; p = b.nodes[static_cast<size_t>(p)].parent)
        b.nodes[static_cast<size_t>(p)].expanded = true;
    ScrollIntoView(b);
    InvalidateRect(b.tree, nullptr, TRUE);
    b.selection_reported = true;
    if (b.bi->lpfn) {
        LPITEMIDLIST item = MakeItem(b.nodes[static_cast<size_t>(index)].path);
        b.bi->lpfn(b.dialog, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item), b.bi->lParam);
        CoTaskMemFree(item);
    }
}

void SetExpanded(Browser& b, int index, bool expanded)
{
    if (expanded)
        List(b, index);  // may grow the node table: no references into it are held here
    b.nodes[static_cast<size_t>(index)].expanded = expanded && !b.nodes[static_cast<size_t>(index)].children.empty();
    if (!expanded) {
        // A selection inside the folder being closed moves up to the folder.
        for (int p = b.sel; p >= 0; p = b.nodes[static_cast<size_t>(p)].parent)
            if (p == index && b.sel != index) {
                Select(b, index);
                break;
            }
    }
    ScrollIntoView(b);
    InvalidateRect(b.tree, nullptr, TRUE);
}

// The node of an absolute path, listing folders on the way; -1 when some part is no folder.
int FindPath(Browser& b, const std::string& text)
{
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(text), ec);
    if (ec || text.empty())
        return -1;
    p = p.lexically_normal();
    int node = 0;
    for (const fs::path& part : p.relative_path()) {
        const std::string name = part.string();
        if (name.empty())
            continue;  // a trailing separator
        List(b, node);
        const std::vector<int>& kids = b.nodes[static_cast<size_t>(node)].children;
        auto it = std::find_if(kids.begin(), kids.end(), [&](int c) { return b.nodes[static_cast<size_t>(c)].name == name; });
        if (it == kids.end())
            return -1;
        node = *it;
    }
    return node;
}

void PaintTree(Browser& b)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(b.tree, &ps);
    RECT rc;
    GetClientRect(b.tree, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    const std::vector<int> rows = Rows(b);
    const bool focused = GetFocus() == b.tree;
    for (int r = b.top, y = 0; r < static_cast<int>(rows.size()) && y < rc.bottom; ++r, y += kRowHeight) {
        const Node& n = b.nodes[static_cast<size_t>(rows[static_cast<size_t>(r)])];
        const int x = 4 + n.depth * kIndent;
        if (MayHaveChildren(n)) {
            RECT box{x, y + 4, x + 9, y + 13};
            FrameRect(dc, &box, GetSysColorBrush(COLOR_BTNSHADOW));
            RECT minus{x + 2, y + 8, x + 7, y + 9};
            FillRect(dc, &minus, GetSysColorBrush(COLOR_WINDOWTEXT));
            if (!n.expanded) {
                RECT bar{x + 4, y + 6, x + 5, y + 11};
                FillRect(dc, &bar, GetSysColorBrush(COLOR_WINDOWTEXT));
            }
        }
        RECT text{x + 14, y, rc.right, y + kRowHeight};
        const bool selected = rows[static_cast<size_t>(r)] == b.sel;
        if (selected) {
            SIZE size{};
            GetTextExtentPoint32(dc, n.name.c_str(), static_cast<int>(n.name.size()), &size);
            RECT mark{text.left - 2, y + 1, std::min<LONG>(text.left + size.cx + 2, rc.right), y + kRowHeight - 1};
            FillRect(dc, &mark, GetSysColorBrush(focused ? COLOR_HIGHLIGHT : COLOR_3DFACE));
        }
        SetTextColor(dc, GetSysColor(selected && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        DrawText(dc, n.name.c_str(), static_cast<int>(n.name.size()), &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, old_font);
    EndPaint(b.tree, &ps);
}

LRESULT TreeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Browser* b = Of(GetParent(hwnd));
    if (!b || b->tree != hwnd)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    const std::vector<int> rows = Rows(*b);
    const int count = static_cast<int>(rows.size());
    const int row = static_cast<int>(std::find(rows.begin(), rows.end(), b->sel) - rows.begin());
    auto at_row = [&](int r) { return rows[static_cast<size_t>(std::clamp(r, 0, count - 1))]; };
    switch (msg) {
    case WM_PAINT:
        PaintTree(*b);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_KEYDOWN: {
        if (count == 0)
            return 0;
        const Node& n = b->nodes[static_cast<size_t>(b->sel)];
        switch (wParam) {
        case VK_UP: Select(*b, at_row(row - 1)); break;
        case VK_DOWN: Select(*b, at_row(row + 1)); break;
        case VK_HOME: Select(*b, at_row(0)); break;
        case VK_END: Select(*b, at_row(count - 1)); break;
        case VK_PRIOR: Select(*b, at_row(row - RowsInView(*b) + 1)); break;
        case VK_NEXT: Select(*b, at_row(row + RowsInView(*b) - 1)); break;
        case VK_RIGHT:
            if (!n.expanded) {
                SetExpanded(*b, b->sel, true);
            } else if (!n.children.empty()) {
                Select(*b, n.children.front());
            }
            break;
        case VK_LEFT:
            if (n.expanded)
                SetExpanded(*b, b->sel, false);
            else if (n.parent >= 0)
                Select(*b, n.parent);
            break;
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetFocus(hwnd);
        const int y = GET_Y_LPARAM(lParam), x = GET_X_LPARAM(lParam);
        const int r = b->top + y / kRowHeight;
        if (y < 0 || r >= count)
            return 0;
        const int index = rows[static_cast<size_t>(r)];
        const Node& n = b->nodes[static_cast<size_t>(index)];
        const int box = 4 + n.depth * kIndent;
        const bool on_box = x >= box - 2 && x < box + 11;
        if (msg == WM_LBUTTONDBLCLK || on_box) {
            if (!on_box)
                Select(*b, index);
            SetExpanded(*b, index, !b->nodes[static_cast<size_t>(index)].expanded);
        } else {
            Select(*b, index);
        }
        return 0;
    }
    case WM_MOUSEWHEEL: {
        const int max_top = std::max(0, count - RowsInView(*b));
        b->top = std::clamp(b->top - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * 3, 0, max_top);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

void Layout(Browser& b)
{
    RECT rc;
    GetClientRect(b.dialog, &rc);
    const int w = rc.right, h = rc.bottom;
    b.title_rect = RECT{10, 8, w - 10, 44};
    const bool status = (b.bi->ulFlags & BIF_STATUSTEXT) != 0;
    b.status_rect = status ? RECT{10, 44, w - 10, 62} : RECT{};
    const int tree_top = status ? 66 : 48;
    MoveWindow(b.tree, 10, tree_top, w - 20, h - 48 - tree_top, FALSE);
    MoveWindow(GetDlgItem(b.dialog, IDOK), w - 180, h - 38, 80, 26, FALSE);
    MoveWindow(GetDlgItem(b.dialog, IDCANCEL), w - 90, h - 38, 80, 26, FALSE);
}

void PaintDialog(Browser& b)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(b.dialog, &ps);
    HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    if (b.bi->lpszTitle && *b.bi->lpszTitle) {
        RECT r = b.title_rect;
        DrawText(dc, b.bi->lpszTitle, -1, &r, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    }
    if (b.bi->ulFlags & BIF_STATUSTEXT) {
        RECT r = b.status_rect;
        DrawText(dc, b.status.c_str(), static_cast<int>(b.status.size()), &r,
                 DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    SelectObject(dc, old_font);
    EndPaint(b.dialog, &ps);
}

INT_PTR BrowserProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Browser* b = msg == WM_INITDIALOG ? reinterpret_cast<Browser*>(lParam) : Of(hwnd);
    if (!b)
        return FALSE;
    auto answer = [&](LRESULT result) {
        SetWindowLongPtr(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    };
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(b));
        b->dialog = hwnd;
        b->tree = GetDlgItem(hwnd, kTreeId);
        Layout(*b);
        Node root;
        root.name = "/";
        root.path = "/";
        b->nodes.push_back(root);
        // The default place: the root, open, reported only if the caller picks nothing else.
        b->sel = 0;
        SetExpanded(*b, 0, true);
        b->selection_reported = false;
        if (b->bi->lpfn)
            b->bi->lpfn(hwnd, BFFM_INITIALIZED, 0, b->bi->lParam);
        if (IsWindow(hwnd) && !b->selection_reported && b->bi->lpfn) {
            const int sel = b->sel;
            b->sel = -1;
            Select(*b, sel);
        }
        return TRUE;
    }
    case WM_PAINT:
        PaintDialog(*b);
        return TRUE;
    case BFFM_SETSELECTIONW: {
        if (!lParam)
            return answer(FALSE);
        const std::string path = wParam ? std::string(reinterpret_cast<LPCSTR>(lParam))
                                        : std::string(reinterpret_cast<LPCITEMIDLIST>(lParam)->path);
        const int node = FindPath(*b, path);
        if (node < 0)
            return answer(FALSE);
        Select(*b, node);
        return answer(TRUE);
    }
    case BFFM_SETSTATUSTEXTW:
        b->status = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
        InvalidateRect(hwnd, &b->status_rect, TRUE);
        return answer(0);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && b->sel >= 0) {
            const Node& n = b->nodes[static_cast<size_t>(b->sel)];
            if (b->bi->pszDisplayName) {
                // At most MAX_PATH - 1 bytes, never cutting a character in two.
                size_t len = std::min(n.name.size(), static_cast<size_t>(MAX_PATH - 1));
                while (len > 0 && len < n.name.size() && (static_cast<unsigned char>(n.name[len]) & 0xC0) == 0x80)
                    --len;
                std::memcpy(b->bi->pszDisplayName, n.name.data(), len);
                b->bi->pszDisplayName[len] = '\0';
            }
            b->result = MakeItem(n.path);
            EndDialog(hwnd, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(hwnd, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void RegisterTreeClass()
{
    WNDCLASS wc{};
    if (GetClassInfo(nullptr, kTreeClass, &wc))
        return;
    wc = WNDCLASS{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = TreeProc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kTreeClass;
    RegisterClass(&wc);
}

}  // namespace

LPITEMIDLIST SHBrowseForFolder(BROWSEINFO* bi)
{
    if (!bi || !qv::win::InitWindowing())
        return nullptr;
    RegisterTreeClass();
    qv::ctl::RegisterButtonClass();
    DialogTemplate t;
    t.caption = "Browse For Folder";
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.x = 40;
    t.y = 40;
    t.cx = 340;
    t.cy = 420;
    t.items.push_back({kTreeClass, "", kTreeId, 0, 0, 10, 10, WS_VISIBLE | WS_BORDER | WS_TABSTOP, 0});
    t.items.push_back({"BUTTON", "OK", IDOK, 0, 0, 10, 10, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0});
    t.items.push_back({"BUTTON", "Cancel", IDCANCEL, 0, 0, 10, 10, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0});
    Browser b;
    b.bi = bi;
    const INT_PTR result = DialogBoxIndirectParam(nullptr, &t, bi->hwndOwner, BrowserProc, reinterpret_cast<LPARAM>(&b));
    if (result == IDOK)
        return b.result;
    CoTaskMemFree(b.result);
    return nullptr;
}

BOOL SHGetPathFromIDList(LPCITEMIDLIST pidl, std::string* path)
{
    if (!pidl || !path)
        return FALSE;
    std::string p(pidl->path, pidl->size);
    std::error_code ec;
    if (p.empty() || !fs::is_directory(p, ec))
        return FALSE;
    *path = std::move(p);
    return TRUE;
}

void CoTaskMemFree(void* memory) { std::free(memory); }
