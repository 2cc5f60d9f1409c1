// Controls as a person uses them: edit fields, the progress bar, the tree view, statics
// and group boxes, seen through their messages and their cells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <commctrl.h>
#include <windows.h>

#include "qb/testhook.h"
#include "tests/platform/user_test_support.h"

using namespace qb::usertest;
using qb::render::Key;

namespace {

constexpr int kField = 100;
constexpr int kNumber = 101;
constexpr int kPassword = 102;
constexpr int kReadOnly = 103;
constexpr int kNarrow = 104;
constexpr int kProgress = 110;
constexpr int kTree = 120;

struct Notes {
    int changes = 0;
    std::vector<UINT> notifications;
    std::vector<HTREEITEM> selected;
    HWND tree = nullptr;
    bool fillOnExpand = false;
    bool refuseExpand = false;
};
Notes* gNotes = nullptr;

INT_PTR CALLBACK NotesProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (gNotes == nullptr) return FALSE;
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) ++gNotes->changes;
    if (msg == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        gNotes->notifications.push_back(header->code);
        auto* nm = reinterpret_cast<NMTREEVIEWW*>(lParam);
        if (header->code == TVN_SELCHANGEDW) gNotes->selected.push_back(nm->itemNew.hItem);
        if (header->code == TVN_ITEMEXPANDINGW && nm->action == TVE_EXPAND) {
            if (gNotes->refuseExpand) {
                SetWindowLongPtrW(GetParent(header->hwndFrom), DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            if (gNotes->fillOnExpand &&
                TreeView_GetChild(header->hwndFrom, nm->itemNew.hItem) == nullptr) {
                TVINSERTSTRUCTW insert{};
                insert.hParent = nm->itemNew.hItem;
                insert.hInsertAfter = TVI_LAST;
                insert.item.mask = TVIF_TEXT;
                insert.item.pszText = const_cast<LPWSTR>(u"filled");
                TreeView_InsertItem(header->hwndFrom, &insert);
            }
        }
    }
    return FALSE;
}

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        gNotes = &notes;
        DialogBytes t(WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0, 160, 96, u"");
        t.Control(kEditAtom, ES_AUTOHSCROLL | WS_TABSTOP, 0, 0, 40, 12, kField, u"")
            .Control(kEditAtom, ES_NUMBER | WS_TABSTOP, 0, 16, 40, 12, kNumber, u"")
            .Control(kEditAtom, ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP, 0, 32, 40, 12, kPassword,
                     u"")
            .Control(kEditAtom, ES_READONLY | WS_TABSTOP, 0, 48, 40, 12, kReadOnly, u"fixed")
            .Control(kEditAtom, WS_TABSTOP, 0, 64, 20, 12, kNarrow, u"")
            .Named(u"msctls_progress32", 0, 0, 80, 40, 8, kProgress)
            .Named(u"SysTreeView32", TVS_HASBUTTONS | TVS_HASLINES | WS_TABSTOP, 60, 0, 100, 64,
                   kTree);
        bytes = t.Build();
        dlg = CreateDialogIndirectParamW(nullptr, AsTemplate(bytes), nullptr, NotesProc, 0);
        ASSERT_NE(dlg, nullptr);
        notes.tree = GetDlgItem(dlg, kTree);
    }
    void TearDown() override {
        DestroyWindow(dlg);
        qb::test::Pump();
        gNotes = nullptr;
    }
    HWND Item(int id) const { return GetDlgItem(dlg, id); }
    std::pair<DWORD, DWORD> Selection(int id) const {
        DWORD from = 0, to = 0;
        SendMessageW(Item(id), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                     reinterpret_cast<LPARAM>(&to));
        return {from, to};
    }
    HTREEITEM Insert(HTREEITEM parent, const char16_t* text, HTREEITEM after = TVI_SORT,
                     int children = -2) {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = after;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        insert.item.pszText = const_cast<LPWSTR>(text);
        insert.item.iSelectedImage = 1;
        if (children != -2) {
            insert.item.mask |= TVIF_CHILDREN;
            insert.item.cChildren = children;
        }
        return TreeView_InsertItem(notes.tree, &insert);
    }
    std::u16string ItemLabel(HTREEITEM item) {
        WCHAR buffer[64] = {};
        TVITEMW info{};
        info.mask = TVIF_TEXT | TVIF_HANDLE;
        info.hItem = item;
        info.pszText = buffer;
        info.cchTextMax = 64;
        EXPECT_TRUE(TreeView_GetItem(notes.tree, &info));
        return buffer;
    }

    Notes notes;
    std::vector<BYTE> bytes;
    HWND dlg = nullptr;
};

TEST_F(ControlsTest, TypingReplacesTheSelectionAndEditsAsExpected) {
    ASSERT_EQ(GetFocus(), Item(kField));
    SetDlgItemTextW(dlg, kField, u"http://");
    SendMessageW(Item(kField), EM_SETSEL, 0, -1);
    notes.changes = 0;
    qb::test::TypeText(u"abc");
    EXPECT_EQ(ItemText(dlg, kField), u"abc"); // the selection was replaced
    EXPECT_EQ(notes.changes, 3);
    struct Step {
        Key key;
        unsigned modifiers;
        const char16_t* typed;
        const char16_t* expected;
    };
    const Step steps[] = {
        {Key::kHome, 0, u"X", u"Xabc"},
        {Key::kEnd, 0, u"Y", u"XabcY"},
        {Key::kBackspace, 0, nullptr, u"Xabc"},
        {Key::kLeft, 0, nullptr, u"Xabc"},
        {Key::kDelete, 0, nullptr, u"Xab"},
        {Key::kLeft, qb::render::kModShift, u"-", u"Xa-"}, // Shift+Left selects "b"
    };
    for (const Step& step : steps) {
        qb::test::PressKey(step.key, step.modifiers);
        if (step.typed != nullptr) qb::test::TypeText(step.typed);
        EXPECT_EQ(ItemText(dlg, kField), step.expected);
    }
    SendMessageW(Item(kField), EM_SETSEL, 1, 3);
    EXPECT_EQ(Selection(kField), (std::pair<DWORD, DWORD>{1, 3}));
    SendMessageW(Item(kField), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"ZZ"));
    EXPECT_EQ(ItemText(dlg, kField), u"XZZ");
}

// Ctrl+Left/Right go by words (runs between spaces), Shift extends the selection from where
// it began with any of the caret keys; each row starts from "ab cd  ef" with the caret at 4.
TEST_F(ControlsTest, WordsAndShiftExtendTheSelection) {
    constexpr unsigned kCtrl = qb::render::kModCtrl;
    constexpr unsigned kShift = qb::render::kModShift;
    struct Row {
        std::vector<std::pair<Key, unsigned>> keys;
        DWORD from, to;
    };
    const Row rows[] = {
        {{{Key::kLeft, kCtrl}}, 3, 3},
        {{{Key::kLeft, kCtrl}, {Key::kLeft, kCtrl}}, 0, 0},
        {{{Key::kRight, kCtrl}}, 7, 7},
        {{{Key::kRight, kCtrl}, {Key::kRight, kCtrl}}, 9, 9},
        {{{Key::kRight, kCtrl | kShift}}, 4, 7},
        {{{Key::kLeft, kCtrl | kShift}}, 3, 4},
        {{{Key::kRight, kShift}, {Key::kRight, kShift}}, 4, 6},
        {{{Key::kRight, kShift}, {Key::kLeft, kShift}, {Key::kLeft, kShift}}, 3, 4},
        {{{Key::kHome, kShift}}, 0, 4},
        {{{Key::kEnd, kShift}}, 4, 9},
        {{{Key::kEnd, kShift}, {Key::kLeft, 0}}, 4, 4}, // a plain arrow ends the selection
    };
    for (const Row& row : rows) {
        SetDlgItemTextW(dlg, kField, u"ab cd  ef");
        SetFocus(Item(kField));
        SendMessageW(Item(kField), EM_SETSEL, 4, 4);
        for (const auto& [key, modifiers] : row.keys) qb::test::PressKey(key, modifiers);
        EXPECT_EQ(Selection(kField), (std::pair<DWORD, DWORD>{row.from, row.to}))
            << "row " << (&row - rows);
    }
}

TEST_F(ControlsTest, NumberPasswordReadOnlyAndLimits) {
    SetFocus(Item(kNumber));
    qb::test::TypeText(u"8a0");
    EXPECT_EQ(ItemText(dlg, kNumber), u"80");
    EXPECT_FALSE(qb::test::Beeps().empty());
    SetFocus(Item(kPassword));
    qb::test::TypeText(u"secret");
    EXPECT_EQ(ItemText(dlg, kPassword), u"secret");
    EXPECT_EQ(qb::test::WindowText(Item(kPassword)), "******");
    SetFocus(Item(kReadOnly));
    qb::test::PressKey(Key::kEnd);
    qb::test::TypeText(u"x");
    qb::test::PressKey(Key::kBackspace);
    EXPECT_EQ(ItemText(dlg, kReadOnly), u"fixed");
    SendMessageW(Item(kField), EM_LIMITTEXT, 4, 0);
    SetFocus(Item(kField));
    qb::test::TypeText(u"123456");
    EXPECT_EQ(ItemText(dlg, kField), u"1234");
    // Without ES_AUTOHSCROLL the text stops at the field's width (5 cells).
    SetFocus(Item(kNarrow));
    qb::test::TypeText(u"abcdefgh");
    EXPECT_EQ(ItemText(dlg, kNarrow), u"abcde");
}

TEST_F(ControlsTest, LongTextScrollsToKeepTheCaretInView) {
    SetFocus(Item(kField));
    qb::test::TypeText(u"http://example.com/file");
    // 10 cells: the end of the text and the caret after it.
    EXPECT_EQ(qb::test::WindowText(Item(kField)), ".com/file");
    qb::test::PressKey(Key::kHome);
    EXPECT_EQ(qb::test::WindowText(Item(kField)), "http://exa");
    qb::render::Screen grid = qb::test::ScreenGrid();
    RECT cells = qb::test::WindowCells(Item(kField));
    EXPECT_TRUE(grid.caretVisible);
    EXPECT_EQ(grid.caretColumn, cells.left);
    EXPECT_EQ(grid.caretRow, cells.top);
}

TEST_F(ControlsTest, PasteTakesTheFirstLineOfTheClipboard) {
    qb::test::SetClipboardText(u"http://h/f\r\nnext");
    SetFocus(Item(kField));
    qb::test::PressKey(Key::kHome);
    qb::render::FeedChar(u'v', qb::render::kModCtrl);
    qb::test::Pump();
    EXPECT_EQ(ItemText(dlg, kField), u"http://h/f");
}

TEST_F(ControlsTest, ProgressBarRangeAndPosition) {
    HWND bar = Item(kProgress);
    EXPECT_EQ(SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 200)), MAKELONG(0, 100));
    EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 50, 0), 0);
    EXPECT_EQ(SendMessageW(bar, PBM_SETPOS, 500, 0), 50); // returns the old position
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 200);  // clamped to the range
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageW(bar, PBM_SETPOS, 30, 0);
    EXPECT_EQ(qb::test::WindowText(bar), "███░░░░░░░");
    PBRANGE range{};
    SendMessageW(bar, PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iHigh, 100);
}

TEST_F(ControlsTest, TreeInsertsSortedAndNavigates) {
    HTREEITEM root = Insert(TVI_ROOT, u"\\");
    HTREEITEM music = Insert(root, u"Music");
    HTREEITEM docs = Insert(root, u"My Documents");
    HTREEITEM apps = Insert(root, u"apps");
    HTREEITEM last = Insert(root, u"Zeta", TVI_LAST);
    HTREEITEM inner = Insert(docs, u"Letters");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(TreeView_GetCount(notes.tree), 6u);
    EXPECT_EQ(TreeView_GetRoot(notes.tree), root);
    // Sorted insertion ignores case, as Windows does.
    std::vector<std::u16string> order;
    for (HTREEITEM item = TreeView_GetChild(notes.tree, root); item != nullptr;
         item = TreeView_GetNextSibling(notes.tree, item))
        order.push_back(ItemLabel(item));
    EXPECT_EQ(order, (std::vector<std::u16string>{u"apps", u"Music", u"My Documents", u"Zeta"}));
    EXPECT_EQ(TreeView_GetParent(notes.tree, inner), docs);
    EXPECT_EQ(TreeView_GetParent(notes.tree, root), nullptr);
    (void)music;
    (void)apps;
    (void)last;
    TVITEMW info{};
    info.mask = TVIF_CHILDREN | TVIF_HANDLE;
    info.hItem = docs;
    TreeView_GetItem(notes.tree, &info);
    EXPECT_EQ(info.cChildren, 1);
    info.hItem = reinterpret_cast<HTREEITEM>(0x5);
    EXPECT_FALSE(TreeView_GetItem(notes.tree, &info));

    // Selecting an item opens its parents and tells the dialog.
    notes.notifications.clear();
    EXPECT_TRUE(TreeView_SelectItem(notes.tree, inner));
    EXPECT_EQ(TreeView_GetSelection(notes.tree), inner);
    ASSERT_EQ(notes.selected.size(), 1u);
    EXPECT_EQ(notes.selected[0], inner);
    EXPECT_NE(std::find(notes.notifications.begin(), notes.notifications.end(),
                        static_cast<UINT>(TVN_ITEMEXPANDINGW)),
              notes.notifications.end());
    EXPECT_EQ(qb::test::WindowText(notes.tree), "- \\\n"
                                                "  ├─ apps\n"
                                                "  ├─ Music\n"
                                                "  ├- My Documents\n"
                                                "  │ └─ Letters\n"
                                                "  └─ Zeta\n"
                                                "\n");
    // Keys: up, left to the parent, - collapses, down moves on.
    SetFocus(notes.tree);
    qb::test::PressKey(Key::kUp);
    EXPECT_EQ(TreeView_GetSelection(notes.tree), docs);
    qb::test::TypeText(u"-");
    EXPECT_EQ(TreeView_GetNextItem(notes.tree, docs, TVGN_NEXTVISIBLE), last);
    qb::test::PressKey(Key::kDown);
    EXPECT_EQ(TreeView_GetSelection(notes.tree), last);
    qb::test::PressKey(Key::kLeft);
    EXPECT_EQ(TreeView_GetSelection(notes.tree), root);
    qb::test::PressKey(Key::kLeft); // collapses the root
    EXPECT_EQ(TreeView_GetNextItem(notes.tree, root, TVGN_NEXTVISIBLE), nullptr);
    EXPECT_TRUE(TreeView_DeleteItem(notes.tree, docs));
    EXPECT_EQ(TreeView_GetCount(notes.tree), 4u);
    EXPECT_TRUE(TreeView_DeleteAllItems(notes.tree));
    EXPECT_EQ(TreeView_GetCount(notes.tree), 0u);
}

TEST_F(ControlsTest, TreeFillsChildrenWhenExpanded) {
    notes.fillOnExpand = true;
    HTREEITEM lazy = Insert(TVI_ROOT, u"lazy", TVI_LAST, 1);
    HTREEITEM empty = Insert(TVI_ROOT, u"empty", TVI_LAST);
    EXPECT_EQ(qb::test::WindowText(notes.tree).substr(0, 7), "+ lazy\n");
    EXPECT_FALSE(TreeView_Expand(notes.tree, empty, TVE_EXPAND)); // nothing to open
    SetFocus(notes.tree);
    TreeView_SelectItem(notes.tree, lazy);
    qb::test::PressKey(Key::kRight);
    HTREEITEM child = TreeView_GetChild(notes.tree, lazy);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(ItemLabel(child), u"filled");
    qb::test::PressKey(Key::kRight);
    EXPECT_EQ(TreeView_GetSelection(notes.tree), child);
    // A parent can refuse to open an item.
    notes.refuseExpand = true;
    HTREEITEM closed = Insert(TVI_ROOT, u"closed", TVI_LAST, 1);
    EXPECT_FALSE(TreeView_Expand(notes.tree, closed, TVE_EXPAND));
    TVITEMW info{};
    info.mask = TVIF_STATE | TVIF_HANDLE;
    info.hItem = closed;
    info.stateMask = TVIS_EXPANDED;
    TreeView_GetItem(notes.tree, &info);
    EXPECT_EQ(info.state & TVIS_EXPANDED, 0u);
}

TEST_F(ControlsTest, StaticsAlignAndGroupBoxesFrame) {
    DialogBytes t(WS_POPUP | WS_VISIBLE, 0, 0, 48, 40, u"");
    t.Control(kButtonAtom, BS_GROUPBOX, 0, 0, 48, 40, 1, u"  ")
        .Control(kStaticAtom, SS_RIGHT, 4, 8, 40, 8, 2, u"Port : ")
        .Control(kStaticAtom, SS_CENTER, 4, 16, 40, 8, 3, u"mid")
        .Control(kStaticAtom, SS_LEFT, 4, 24, 40, 8, 4, u"&Label");
    std::vector<BYTE> box = t.Build();
    HWND group = CreateDialogIndirectParamW(nullptr, AsTemplate(box), nullptr, NotesProc, 0);
    WindowGuard guard(group);
    // A caption of blanks leaves the line closed.
    EXPECT_EQ(qb::test::WindowText(group), "┌──────────┐\n"
                                           "│   Port : │\n"
                                           "│   mid    │\n"
                                           "│Label     │\n"
                                           "└──────────┘");
}

// A push button keeps its brackets whenever they fit around one cell: a wider label is cut
// at a whole character (never half a wide one), so the button never reads as plain text;
// a Japanese label gives up its bracketed accelerator letter first. The accelerator letter
// is marked (underlined) where it is shown.
TEST_F(ControlsTest, PushButtonsKeepTheirFrameWhenTheLabelIsWider) {
    const struct {
        const char16_t* label;
        int units; // the button's width in dialog units (4 a column)
        const char* shown;
        int underlined; // the column of the accelerator letter; -1: none shown
    } cases[] = {
        {u"Start", 36, "[ Start ]", -1},
        {u"一時停止", 40, "[一時停止]", -1},
        {u"一時停止", 36, "[一時停 ]", -1},
        {u"&Overwrite", 32, "[Overwr]", 1},
        {u"上書き(&O)", 44, "[上書き(O)]", 8},
        {u"上書き(&O)", 40, "[ 上書き ]", -1},
        {u"&Cancel", 12, "[C]", 1},
        {u"Ca&ncel", 12, "[C]", -1},
        {u"", 8, "[]", -1},
        {u"Go", 4, "G", -1},
        {u"", 4, "■", -1},
    };
    // No room beside the button, and a screen as narrow as it: nothing to grow into.
    for (const auto& c : cases) {
        qb::render::FeedResize(c.units / 4, 25);
        DialogBytes t(WS_POPUP | WS_VISIBLE, 0, 0, static_cast<short>(c.units), 16, u"");
        t.Control(kButtonAtom, BS_PUSHBUTTON, 0, 0, c.units, 8, 1, c.label);
        std::vector<BYTE> bytes = t.Build();
        HWND dialog = CreateDialogIndirectParamW(nullptr, AsTemplate(bytes), nullptr, NotesProc, 0);
        WindowGuard guard(dialog);
        qb::render::Screen grid = qb::test::WindowGrid(GetDlgItem(dialog, 1));
        EXPECT_EQ(qb::test::GridText(grid), c.shown) << c.units;
        int underlined = -1;
        for (int column = 0; column < grid.columns; ++column)
            if (grid.At(column, 0).attr & qb::render::kAttrMnemonic) underlined = column;
        EXPECT_EQ(underlined, c.underlined) << c.shown;
    }
    qb::render::FeedResize(80, 25);
}

} // namespace
