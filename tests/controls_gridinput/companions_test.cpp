// The title tip, the in-place editor and the standard edit control on their own.

#include "controls/InPlaceEdit.h"
#include "controls/TitleTip.h"
#include "fixture.h"

namespace {
std::vector<Heard> MessagesOf(UINT message)
{
    std::vector<Heard> out;
    for (const Heard& h : Owner().heard)
        if (h.message == message)
            out.push_back(h);
    return out;
}
}  // namespace

class TitleTipTest : public GridInputTest {
protected:
    CWnd* ownerWnd = nullptr;
    void SetUp() override
    {
        GridInputTest::SetUp();
        ownerWnd = CWnd::FromHandle(owner);
        ::SetFocus(owner);
    }
    // The width of " text " in the tip's font.
    static int ShownWidth(CTitleTip& tip, const std::string& text)
    {
        CClientDC dc(&tip);
        return dc.GetTextExtent(" " + text + " ").cx;
    }
};

TEST_F(TitleTipTest, ShownOnlyWhenTheTextDoesNotFitAndAsWideAsIt)
{
    CTitleTip tip;
    ASSERT_TRUE(tip.Create(ownerWnd));
    tip.Show(CRect(10, 10, 400, 30), "short");
    EXPECT_FALSE(tip.IsWindowVisible());

    const std::string text = "a text much too long for its cell";
    tip.Show(CRect(10, 10, 60, 30), text.c_str());
    ASSERT_TRUE(tip.IsWindowVisible());
    CRect rc;
    tip.GetWindowRect(&rc);
    EXPECT_EQ(rc.Width(), ShownWidth(tip, text));
    EXPECT_EQ(rc.left, 100 + 10);
    EXPECT_EQ(CWnd::GetCapture(), &tip);
    tip.Hide();
    EXPECT_FALSE(tip.IsWindowVisible());
    EXPECT_EQ(CWnd::GetCapture(), nullptr);

    // Nothing shows while no window of ours has the focus.
    ::SetFocus(nullptr);
    tip.Show(CRect(10, 10, 60, 30), text.c_str());
    EXPECT_FALSE(tip.IsWindowVisible());
}

TEST_F(TitleTipTest, ClicksPassThroughAndASecondQuickOneIsADoubleClick)
{
    CTitleTip tip;
    ASSERT_TRUE(tip.Create(ownerWnd));
    now = 200;  // close to the clock's start: the first press is still a single one
    for (int i = 0; i < 2; ++i) {
        tip.Show(CRect(10, 10, 60, 30), "a text much too long for its cell");
        ASSERT_TRUE(tip.IsWindowVisible());
        qv::win::InjectMouseButton(100 + 20, 100 + 15, 1, true);
        qv::win::InjectMouseButton(100 + 20, 100 + 15, 1, false);
        Pump();
        EXPECT_FALSE(tip.IsWindowVisible());
        now += 100;
    }
    const auto downs = MessagesOf(WM_LBUTTONDOWN);
    const auto doubles = MessagesOf(WM_LBUTTONDBLCLK);
    ASSERT_EQ(downs.size(), 1u);
    ASSERT_EQ(doubles.size(), 1u);
    EXPECT_EQ(downs[0].row, 20);  // the owner's client coordinates
    EXPECT_EQ(downs[0].col, 15);
    EXPECT_EQ(doubles[0].row, 20);
}

TEST_F(TitleTipTest, AKeyForTheGridHidesTheTipAndGoesToItAndKeysForItsEditorStayThere)
{
    // Over a grid that has the focus, as a user meets the tip: keys are pressed, and the loop
    // hands them to the focus window, never to the tip.
    InputGrid grid(4, 4, 1, 1);
    Make(grid);
    const std::string text = "a text far too long for fifty pixels";
    grid.SetItemText(2, 2, text.c_str());
    grid.SetFocusCell(2, 1);
    grid.SetFocus();
    const POINT cut = CellCentre(grid, 2, 2);
    qv::win::InjectMouseMove(cut.x, cut.y);
    Pump();
    ASSERT_TRUE(grid.m_TitleTip.IsWindowVisible());
    ASSERT_EQ(CWnd::GetCapture(), &grid.m_TitleTip);

    // The key reaches the grid once. The tip that it hid is back at once: the pointer still
    // rests over the cut-off text, and the move sent as the tip let the capture go finds it.
    Key(VK_RIGHT);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));
    EXPECT_TRUE(grid.m_TitleTip.IsWindowVisible());

    // Ctrl++ fits every column to its text: the tip goes, and nothing brings it back.
    KeyWith(VK_CONTROL, VK_ADD);
    CClientDC dc(&grid);
    EXPECT_EQ(grid.GetColumnWidth(2), grid.GetCell(2, 2)->GetCellExtent(&dc).cx);
    EXPECT_FALSE(grid.m_TitleTip.IsWindowVisible());
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));

    // An edit opened with F2 under a tip shown over the next cell keeps its keys, and each of them
    // hides the tip. The box grows under the pointer as it is typed into; from then on the move
    // sent as the tip lets the capture go is the box's, the tip stays away and the text is seen.
    grid.SetItemText(2, 2, "r2c2");
    grid.SetItemText(2, 3, text.c_str());
    Key(VK_F2);
    const POINT next = CellCentre(grid, 2, 3);
    qv::win::InjectMouseMove(next.x, next.y);
    Pump();
    ASSERT_TRUE(grid.m_TitleTip.IsWindowVisible());
    Key(VK_LEFT);
    qv::win::InjectText("x");
    Key(VK_DELETE);
    const std::string typed(18, 'w');
    for (char c : typed) {
        qv::win::InjectKey('W', true);
        qv::win::InjectText(std::string(1, c));
        qv::win::InjectKey('W', false);
        Pump();
    }
    CWnd* editor = CWnd::GetFocus();
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(editor, &grid);
    CRect box;
    editor->GetWindowRect(&box);
    ASSERT_TRUE(box.PtInRect(next));
    EXPECT_FALSE(grid.m_TitleTip.IsWindowVisible());
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    Key(VK_TAB);
    EXPECT_EQ(grid.GetItemText(2, 2), "r2cx" + typed);
    EXPECT_EQ(grid.GetItemText(2, 1), "r2c1");
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 3));
    EXPECT_TRUE(grid.IsItemEditing(2, 3));
}

TEST_F(TitleTipTest, LeavingTheHoverRectangleHidesAndForwardsTheMove)
{
    CTitleTip tip;
    ASSERT_TRUE(tip.Create(ownerWnd));
    CRect hover(10, 10, 60, 30);
    tip.Show(CRect(10, 10, 60, 30), "a text much too long for its cell", 0, &hover);
    ASSERT_TRUE(tip.IsWindowVisible());
    qv::win::InjectMouseMove(100 + 30, 100 + 20);  // still over the cell
    Pump();
    EXPECT_TRUE(tip.IsWindowVisible());
    qv::win::InjectMouseMove(100 + 300, 100 + 200);
    Pump();
    EXPECT_FALSE(tip.IsWindowVisible());
    const auto moves = MessagesOf(WM_MOUSEMOVE);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().row, 300);
    EXPECT_EQ(moves.back().col, 200);
}

// ---- in-place editor ----

class InPlaceEditTest : public GridInputTest {
protected:
    CInPlaceEdit* Open(UINT firstChar, const char* text = "old", CRect rect = CRect(10, 10, 110, 30))
    {
        auto* edit = new CInPlaceEdit(CWnd::FromHandle(owner), rect, ES_LEFT, 8, 1, 2, text, firstChar);
        EXPECT_NE(edit->GetSafeHwnd(), nullptr);
        Pump();
        return edit;
    }
    static std::string Text(CWnd* edit)
    {
        std::string s;
        edit->GetWindowText(s);
        return s;
    }
};

TEST_F(InPlaceEditTest, FirstCharacterDecidesTheStartingText)
{
    struct Case {
        UINT first;
        const char* want;
    };
    for (const Case& c : {Case{'a', "a"}, Case{VK_BACK, "ol"}, Case{VK_LBUTTON, "old"}, Case{VK_RETURN, "old"},
                          Case{VK_DOWN, "old"}, Case{'(' | INPLACEEDIT_TYPED, "("}, Case{' ' | INPLACEEDIT_TYPED, " "}}) {
        CInPlaceEdit* edit = Open(c.first);
        const HWND hwnd = edit->GetSafeHwnd();
        EXPECT_EQ(Text(edit), c.want) << c.first;
        ::DestroyWindow(hwnd);
        EXPECT_FALSE(::IsWindow(hwnd));
    }
}

TEST_F(InPlaceEditTest, ArrowsStayInsideAfterAClickStartButEndATypedOne)
{
    CInPlaceEdit* edit = Open(VK_LBUTTON);
    const HWND clicked = edit->GetSafeHwnd();
    Key(VK_LEFT);
    EXPECT_TRUE(::IsWindow(clicked));
    EXPECT_TRUE(Owner().editorEnds.empty());
    KeyWith(VK_CONTROL, VK_LEFT);  // except with Ctrl
    EXPECT_FALSE(::IsWindow(clicked));
    ASSERT_EQ(Owner().editorEnds.size(), 1u);
    EXPECT_EQ(Owner().editorEnds[0], std::make_pair(std::string("old"), static_cast<UINT>(VK_LEFT)));

    edit = Open('x');
    const HWND typed = edit->GetSafeHwnd();
    Key(VK_RIGHT);
    EXPECT_FALSE(::IsWindow(typed));
    ASSERT_EQ(Owner().editorEnds.size(), 2u);
    EXPECT_EQ(Owner().editorEnds[1], std::make_pair(std::string("x"), static_cast<UINT>(VK_RIGHT)));
}

TEST_F(InPlaceEditTest, EscapeReportsTheInitialTextAndFocusLossTheTypedOneOnce)
{
    CInPlaceEdit* edit = Open(VK_LBUTTON);
    qv::win::InjectText("zz");
    Pump();
    EXPECT_EQ(Text(edit), "oldzz");
    Key(VK_ESCAPE);
    ASSERT_EQ(Owner().editorEnds.size(), 1u);
    EXPECT_EQ(Owner().editorEnds[0], std::make_pair(std::string("old"), 27u));

    edit = Open('n');
    const HWND hwnd = edit->GetSafeHwnd();
    ::SetFocus(owner);
    EXPECT_FALSE(::IsWindow(hwnd));
    ASSERT_EQ(Owner().editorEnds.size(), 2u);
    EXPECT_EQ(Owner().editorEnds[1], std::make_pair(std::string("n"), 0u));
    Pump();
    EXPECT_EQ(Owner().editorEnds.size(), 2u) << "reported once";
}

TEST_F(InPlaceEditTest, TheBoxGrowsWithTheTextButNotPastTheParent)
{
    CInPlaceEdit* edit = Open(VK_LBUTTON, "", CRect(500, 10, 540, 30));
    CRect before;
    edit->GetWindowRect(&before);
    qv::win::InjectText("wwww");
    Pump();
    CRect grown;
    edit->GetWindowRect(&grown);
    EXPECT_GT(grown.Width(), before.Width());
    qv::win::InjectText("wwwwwwwwwwwwwwwwwwwwwwwwwwww");
    Pump();
    CRect client;
    ::GetClientRect(owner, &client);
    CRect last;
    edit->GetWindowRect(&last);
    ::ScreenToClient(owner, reinterpret_cast<POINT*>(&last.right));
    EXPECT_EQ(last.right, client.right);
    // Deleting never shrinks it.
    for (int i = 0; i < 10; ++i)
        Key(VK_BACK);
    CRect after;
    edit->GetWindowRect(&after);
    ::ScreenToClient(owner, reinterpret_cast<POINT*>(&after.right));
    EXPECT_EQ(after.right, client.right);
    ::DestroyWindow(edit->GetSafeHwnd());
}

// ---- standard edit control ----

TEST_F(GridInputTest, EditControlTypingSelectionAndClipboard)
{
    CEdit edit;
    ASSERT_TRUE(edit.Create(WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(10, 10, 200, 30), CWnd::FromHandle(owner), 5));
    edit.SetWindowText("hello");
    edit.SetFocus();
    EXPECT_EQ(edit.GetSel(), 0u) << "setting the text puts the caret at the start";
    edit.SetSel(1, 3);
    int s = 0, e = 0;
    edit.GetSel(s, e);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(e, 3);
    qv::win::InjectText("X");
    Pump();
    std::string text;
    edit.GetWindowText(text);
    EXPECT_EQ(text, "hXlo");
    Key(VK_BACK);
    Key(VK_DELETE);
    edit.GetWindowText(text);
    EXPECT_EQ(text, "ho");

    // Characters, not bytes, count.
    edit.SetWindowText("aé€b");
    edit.SetSel(1, 3);
    edit.Copy();
    EXPECT_EQ(ClipboardText(), "é€");
    edit.ReplaceSel("");
    edit.GetWindowText(text);
    EXPECT_EQ(text, "ab");
    edit.SetSel(1, 1);
    edit.Paste();
    edit.GetWindowText(text);
    EXPECT_EQ(text, "aé€b");

    // Shift with the caret keys selects; End with -1 means the end.
    Key(VK_HOME);
    KeyWith(VK_SHIFT, VK_RIGHT);
    KeyWith(VK_SHIFT, VK_RIGHT);
    edit.GetSel(s, e);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 2);
    edit.SetSel(2, -1);
    edit.GetSel(s, e);
    EXPECT_EQ(e, 4);

    // A pasted text stops at its first line break.
    SetClipboard("one\r\ntwo");
    edit.SetSel(0, -1);
    edit.Paste();
    edit.GetWindowText(text);
    EXPECT_EQ(text, "one");
    EXPECT_EQ(edit.SendMessage(WM_GETDLGCODE) & DLGC_WANTCHARS, DLGC_WANTCHARS);
}
