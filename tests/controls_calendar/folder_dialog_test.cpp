// The folder picker run modally over the browser, against folder trees made for each test.

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controls/FolderDialog.h"
#include "platform/win/messagebeep.h"
#include "tests/controls_calendar/fixture.h"
#include "tests/support/pixels.h"
#include "tests/support/tempdir.h"

namespace fs = std::filesystem;

namespace {

// The status texts the picker sends its browser, caught on their way in.
std::vector<std::string> g_statusSent;
WNDPROC g_browserProc = nullptr;

LRESULT CatchStatus(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == BFFM_SETSTATUSTEXTW)
        g_statusSent.push_back(lParam ? reinterpret_cast<LPCSTR>(lParam) : "");
    return CallWindowProc(g_browserProc, hwnd, msg, wParam, lParam);
}

// Records what the browser reports and runs the test's steps once it stands.
class Picker : public CFolderDialog {
public:
    using CFolderDialog::CFolderDialog;
    std::vector<std::string> changes;  // paths of BFFM_SELCHANGED
    std::function<void(HWND)> on_ready;
    std::function<void()> on_change;

    void OnInitialized() override
    {
        CFolderDialog::OnInitialized();
        g_statusSent.clear();
        g_browserProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtr(m_hDialogBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CatchStatus)));
        if (on_ready)
            on_ready(m_hDialogBox);
    }
    void OnSelChanged(LPITEMIDLIST item) override
    {
        CFolderDialog::OnSelChanged(item);
        std::string path;
        SHGetPathFromIDList(item, &path);
        changes.push_back(path);
        if (on_change)
            on_change();
    }
};

std::function<void()> g_afterPaint;

void RunAfterPaint(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (auto step = std::exchange(g_afterPaint, nullptr))
        step();
}


// The browser's folder tree: its one child of the tree class.
HWND TreeOf(HWND browser)
{
    for (HWND c = GetWindow(browser, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassName(c, name, sizeof name);
        if (std::string(name) == "SysTreeView32")
            return c;
    }
    return nullptr;
}

void Inject(int vk)
{
    qv::win::InjectKey(vk, true);
    qv::win::InjectKey(vk, false);
}

void InjectClick(HWND hwnd, const RECT& r, bool twice = false)
{
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(hwnd, &p);
    qv::win::InjectMouseMove(p.x, p.y);
    for (int i = 0; i < (twice ? 2 : 1); ++i) {
        qv::win::InjectMouseButton(p.x, p.y, 1, true);
        qv::win::InjectMouseButton(p.x, p.y, 1, false);
    }
}

RECT ClientRectOf(HWND dialog, int id)
{
    HWND c = GetDlgItem(dialog, id);
    RECT r;
    GetClientRect(c, &r);
    MapWindowPoints(c, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Clicks (or double-clicks) the row `up` rows above the tree's selected one, on its right-hand
// half, clear of the open/close box. The selected row is found by its highlight: the marked band
// and a row of its height around it (the mark leaves one pixel above and below).
void ClickRowAboveSelection(HWND browser, int up, bool twice = false)
{
    HWND tree = TreeOf(browser);
    RECT client;
    GetClientRect(tree, &client);
    CRect found;
    for (COLORREF mark : {GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_3DFACE)}) {
        found = BoundsWhere(CRect(0, 0, client.right - 1, client.bottom - 1),
                            [&](int x, int y) { return qv::win::ReadPixel(tree, x, y) == mark; });
        if (found.bottom >= found.top)
            break;
    }
    const int height = found.bottom - found.top + 3;
    ASSERT_GT(height, 4);
    const RECT row{client.right / 2, found.top - 1 - up * height, client.right, found.bottom + 2 - up * height};
    InjectClick(tree, row, twice);
}

class FolderDialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        fs::create_directories(dir.path() / "a" / "b1");
        fs::create_directories(dir.path() / "a" / "b2");
        dir.write("a/file.txt", "x");  // files are not folders: never listed
    }
    std::string Path(const std::string& rel) const { return (dir.path() / rel).string(); }
    // Runs `step` once the browser has been painted: a timer's turn comes after the paints.
    static void AfterPaint(std::function<void()> step)
    {
        g_afterPaint = std::move(step);
        SetTimer(nullptr, 0, 10, RunAfterPaint);
        now += 10;  // due at once on the test's clock
    }
    TempDir dir;
};

TEST_F(FolderDialogTest, CancelGivesIdcancelAndNoFolder)
{
    Picker dlg("", Path("a").c_str(), nullptr, BIF_RETURNONLYFSDIRS);
    Inject(VK_ESCAPE);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(dlg.m_szFolderPath.empty());
    ASSERT_FALSE(dlg.changes.empty());
    EXPECT_EQ(dlg.changes.back(), Path("a"));  // the start folder was selected
}

TEST_F(FolderDialogTest, OkOnTheStartFolderGivesItsWholePathBeyond260Characters)
{
    std::string rel = "a";
    for (int i = 0; i < 12; ++i)
        rel += "/" + std::string(30, static_cast<char>('k' + i));
    fs::create_directories(dir.path() / rel);
    ASSERT_GT(Path(rel).size(), 300u);
    Picker dlg("", Path(rel).c_str(), nullptr, BIF_RETURNONLYFSDIRS);
    Inject(VK_RETURN);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_szFolderPath, Path(rel));
    EXPECT_STREQ(dlg.m_bi.pszDisplayName, std::string(30, 'v').c_str());
}

TEST_F(FolderDialogTest, TheKeyboardWalksTheTree)
{
    Picker dlg("", Path("a").c_str(), nullptr, BIF_RETURNONLYFSDIRS);
    Inject(VK_RIGHT);  // open "a"
    Inject(VK_RIGHT);  // to its first folder, b1
    Inject(VK_DOWN);   // b2; the file is no row
    Inject(VK_UP);
    Inject(VK_DOWN);
    Inject(VK_RETURN);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_szFolderPath, Path("a/b2"));

    Picker up("", Path("a/b1").c_str(), nullptr, BIF_RETURNONLYFSDIRS);
    Inject(VK_LEFT);  // b1 is closed: to its parent
    Inject(VK_LEFT);  // closes "a"
    Inject(VK_UP);    // the row above "a"
    Inject(VK_RETURN);
    EXPECT_EQ(up.DoModal(), IDOK);
    EXPECT_EQ(up.m_szFolderPath, dir.path().string());
}

TEST_F(FolderDialogTest, TheMouseSelectsARowAndPressesOk)
{
    Picker dlg("Pick one", Path("a/b2").c_str(), nullptr, BIF_RETURNONLYFSDIRS);
    dlg.on_ready = [&](HWND browser) {
        AfterPaint([browser] {
            ClickRowAboveSelection(browser, 1);  // b1 is the row just above the selected b2
            InjectClick(browser, ClientRectOf(browser, IDOK));
        });
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_szFolderPath, Path("a/b1"));
}

TEST_F(FolderDialogTest, ADoubleClickClosesAFolderAndItsSelectionMovesUp)
{
    Picker dlg("", Path("a/b2").c_str(), nullptr, BIF_RETURNONLYFSDIRS);
    dlg.on_ready = [&](HWND browser) {
        AfterPaint([browser] {
            ClickRowAboveSelection(browser, 2, true);  // "a" stands two rows above b2
            qv::win::InjectKey(VK_RETURN, true);
        });
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_szFolderPath, Path("a"));
}

TEST_F(FolderDialogTest, NoOrEmptyStartFolderOpensAtTheRoot)
{
    for (const char* start : {static_cast<const char*>(nullptr), ""}) {
        Picker dlg("", start, nullptr, BIF_RETURNONLYFSDIRS);
        Inject(VK_ESCAPE);
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        ASSERT_EQ(dlg.changes.size(), 1u);
        EXPECT_EQ(dlg.changes[0], "/");
    }
    Picker dlg("", nullptr, nullptr, 0);
    EXPECT_FALSE(dlg.SetSelectedFolder(nullptr));
    EXPECT_TRUE(dlg.SetSelectedFolder(Path("a").c_str()));
    EXPECT_EQ(dlg.m_szSelectedFolder, Path("a"));
}

TEST_F(FolderDialogTest, TheStatusLineShowsTheSelectionOnlyWhenAskedFor)
{
    Picker with("", Path("a").c_str(), nullptr, BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT);
    Inject(VK_RIGHT);
    Inject(VK_RIGHT);
    Inject(VK_ESCAPE);
    EXPECT_EQ(with.DoModal(), IDCANCEL);
    ASSERT_FALSE(g_statusSent.empty());
    EXPECT_EQ(g_statusSent.back(), Path("a/b1"));

    Picker without("", Path("a").c_str(), nullptr, BIF_RETURNONLYFSDIRS);
    Inject(VK_RIGHT);
    Inject(VK_RIGHT);
    Inject(VK_ESCAPE);
    EXPECT_EQ(without.DoModal(), IDCANCEL);
    ASSERT_EQ(without.changes.back(), Path("a/b1"));
    EXPECT_TRUE(g_statusSent.empty());
}

TEST_F(FolderDialogTest, AChosenFolderThatIsGoneGivesMinusOne)
{
    fs::create_directories(dir.path() / "gone");
    Picker dlg("", Path("gone").c_str(), nullptr, BIF_RETURNONLYFSDIRS);
    dlg.on_ready = [&](HWND) {
        fs::remove(dir.path() / "gone");
        qv::win::InjectKey(VK_RETURN, true);
    };
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_TRUE(dlg.m_szFolderPath.empty());
}

TEST_F(FolderDialogTest, TheOwnerIsDisabledWhileTheBrowserRuns)
{
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, nullptr, nullptr));
    Picker dlg("", Path("a").c_str(), &owner, BIF_RETURNONLYFSDIRS);
    bool enabled_meanwhile = true;
    dlg.on_ready = [&](HWND browser) {
        EXPECT_EQ(GetWindow(browser, GW_OWNER), owner.m_hWnd);
        Inject(VK_RIGHT);  // a selection change once the modal loop runs
        Inject(VK_RIGHT);
        qv::win::InjectKey(VK_ESCAPE, true);
    };
    dlg.on_change = [&] { enabled_meanwhile = enabled_meanwhile && owner.IsWindowEnabled(); };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(enabled_meanwhile);
    EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST_F(FolderDialogTest, CallbackAnswersValidateFailureWithABeepAndKeepsTheBrowserOpen)
{
    Picker dlg("", nullptr, nullptr, BIF_RETURNONLYFSDIRS);
    const int beeps = qv::win::MessageBeepCount();
    EXPECT_EQ(dlg.m_bi.lpfn(nullptr, BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>("nope"), dlg.m_bi.lParam), 1);
    EXPECT_EQ(qv::win::MessageBeepCount(), beeps + 1);
    EXPECT_EQ(dlg.m_bi.lpfn(nullptr, BFFM_VALIDATEFAILEDA, 0, dlg.m_bi.lParam), 0);
    EXPECT_EQ(dlg.m_bi.lpfn(nullptr, BFFM_IUNKNOWN, 0, dlg.m_bi.lParam), 0);
    EXPECT_EQ(qv::win::MessageBeepCount(), beeps + 1);
    EXPECT_EQ(dlg.m_hDialogBox, nullptr);
}

}  // namespace
