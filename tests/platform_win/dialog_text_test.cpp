// Dialog templates in their text form: what a file says reaches the created dialog, and a
// faulty file registers nothing.

#include "fixture.h"
#include "platform/win/dialog.h"
#include "tests/support/tempdir.h"

using namespace qv::win;

namespace {

const char kTwoDialogs[] = R"(# two dialogs
DIALOG 7100 30 40 300 200 WS_POPUP|WS_CAPTION|DS_MODALFRAME "Settings \"A\""
  FONT "DejaVu Sans" 9
  CONTROL Recorder 11 10 10 80 24 WS_VISIBLE|WS_TABSTOP|WS_GROUP "One"   # first tab stop
  CONTROL Recorder 12 10 40 80 24 WS_VISIBLE|WS_TABSTOP|WS_DISABLED|0x20 "Two\\"
  CONTROL Recorder -1 100 10 60 20 SS_NOTIFY|WS_EX_STATICEDGE
  CONTROL Recorder 13 100 40 60 20 WS_VISIBLE|WS_TABSTOP ""
END
DIALOG 7101 0 0 100 50 0
END
)";

}  // namespace

TEST_F(WinTest, TextTemplatesCreateTheDialogsTheyDescribe)
{
    TempDir dir;
    std::string error;
    ASSERT_TRUE(LoadDialogTemplates(dir.write("rc/dialogs.txt", kTwoDialogs), &error)) << error;
    const DialogTemplate* t = FindDialogTemplate(7100);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->caption, "Settings \"A\"");
    EXPECT_EQ(t->style, WS_POPUP | WS_CAPTION | DS_MODALFRAME);
    EXPECT_EQ(t->font_face, "DejaVu Sans");
    EXPECT_EQ(t->font_points, 9);
    ASSERT_EQ(t->items.size(), 4u);
    EXPECT_EQ(t->items[1].text, "Two\\");
    EXPECT_EQ(t->items[1].style, WS_VISIBLE | WS_TABSTOP | WS_DISABLED | 0x20u);
    EXPECT_EQ(t->items[2].id, -1);
    EXPECT_EQ(t->items[2].style, SS_NOTIFY);
    EXPECT_EQ(t->items[2].ex_style, WS_EX_STATICEDGE);
    const DialogTemplate* empty = FindDialogTemplate(7101);
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->items.empty());

    HWND dlg = CreateDialogIndirectParam(nullptr, t, nullptr, nullptr, 0);
    ASSERT_TRUE(dlg);
    HWND one = GetDlgItem(dlg, 11), two = GetDlgItem(dlg, 12), three = GetDlgItem(dlg, 13);
    ASSERT_TRUE(one && two && three);
    EXPECT_EQ(GetWindowTextString(one), "One");
    RECT rc;
    GetWindowRect(two, &rc);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 40);
    EXPECT_EQ(rc.right - rc.left, 80);
    EXPECT_EQ(rc.bottom - rc.top, 24);
    EXPECT_FALSE(IsWindowEnabled(two));
    // File order is tab order: the disabled control is passed over.
    EXPECT_EQ(GetNextDlgTabItem(dlg, one, FALSE), three);
    DestroyWindow(dlg);
}

TEST_F(WinTest, FaultyTextTemplatesNameTheLineAndRegisterNothing)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"DIALOG 7200 0 0 10 10 0\nCONTROL Recorder 1 0 0 5 5 WS_BOLD\nEND\n", "line 2: unknown style \"WS_BOLD\""},
        {"DIALOG 7200 0 0 10 10 0\nCONTROL Recorder 1 0 0 5 5 0\n", "END missing"},
        {"DIALOG 7200 0 0 10 10 0\nCONTROL Recorder 1 0 0 -5 5 0\nEND\n", "line 2: bad number \"-5\""},
        {"DIALOG 7200 0 0 10 10 0 \"open\nEND\n", "line 1: unterminated text"},
        {"CONTROL Recorder 1 0 0 5 5 0\n", "line 1: CONTROL outside a dialog"},
        {"DIALOG 7200 0 0 10 10 0\nEND\nDIALOG 7200 0 0 10 10 0\nEND\n", "line 3: dialog 7200 given twice"},
        {"DIALOG 7200 0 0 10 10 0\nCONTROL Recorder 99999999999999999999 0 0 5 5 0\nEND\n", "line 2: bad number"},
        {"DIALOG 7200 0 0 10 10 0 \"a\" extra\nEND\n", "line 1: expected id"},
        {"DIALOG 0 0 0 10 10 0\nEND\n", "line 1: a dialog needs a positive id"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        std::vector<std::pair<UINT, DialogTemplate>> out;
        EXPECT_FALSE(ParseDialogTemplates(c.text, &out, &error));
        EXPECT_TRUE(out.empty());
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_FALSE(LoadDialogTemplates(dir.write("bad.txt", c.text), &error));
        EXPECT_EQ(FindDialogTemplate(7200), nullptr);
    }
    std::string error;
    EXPECT_FALSE(LoadDialogTemplates(dir.file("missing.txt"), &error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos);
}
