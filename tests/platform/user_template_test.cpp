// The dialog template reader on raw bytes: both formats, class atoms and names, ordinals,
// fonts, creation data, and every truncation refused.
#include <gtest/gtest.h>

#include <vector>

#include "platform/user/dialog_template.h"
#include "tests/platform/user_test_support.h"

using namespace qb::usertest;
using qb::user::DialogTemplate;
using qb::user::ParseDialogTemplate;

namespace {

DialogBytes Sample() {
    DialogBytes t(DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 3, 4, 133, 94,
                  u"Quillbrook");
    t.Control(kComboAtom, CBS_DROPDOWN | WS_TABSTOP, 0, 0, 133, 12, 1001, u"")
        .Control(kEditAtom, ES_AUTOHSCROLL, 0, 13, 113, 12, 1014, u"")
        .Control(kButtonAtom, BS_DEFPUSHBUTTON, 3, 79, 39, 13, 1005, u"Start")
        .Control(kStaticAtom, SS_RIGHT, 1, 27, 42, 10, 0xFFFF, u"Bytes")
        .Named(u"msctls_progress32", 0, 0, 69, 133, 7, 1013)
        .Named(u"SysTreeView32", 0x0003, 0, 25, 137, 72, 1010);
    ItemLayout icon;
    icon.atom = kStaticAtom;
    icon.style = WS_CHILD | WS_VISIBLE | SS_ICON;
    icon.x = 9;
    icon.y = 7;
    icon.cx = 20;
    icon.cy = 20;
    icon.id = 1018;
    icon.titleOrdinal = 105;
    t.Item(icon);
    return t;
}

class TemplateTest : public ::testing::TestWithParam<bool> {};

TEST_P(TemplateTest, ReadsEveryField) {
    bool extended = GetParam();
    std::vector<BYTE> bytes = Sample().Build(extended);
    DialogTemplate t;
    ASSERT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), &t));
    EXPECT_EQ(t.extended, extended);
    EXPECT_EQ(t.style,
              static_cast<DWORD>(DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(t.x, 3);
    EXPECT_EQ(t.y, 4);
    EXPECT_EQ(t.cx, 133);
    EXPECT_EQ(t.cy, 94);
    EXPECT_EQ(t.title, u"Quillbrook");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.typeface, u"Tahoma");
    if (extended) {
        EXPECT_EQ(t.weight, 400);
        EXPECT_EQ(t.charset, 1);
    }
    ASSERT_EQ(t.items.size(), 7u);
    const auto& combo = t.items[0];
    EXPECT_TRUE(combo.windowClass.isOrdinal);
    EXPECT_EQ(combo.windowClass.ordinal, kComboAtom);
    EXPECT_EQ(combo.id, 1001u);
    EXPECT_EQ(combo.style & 0xFFFF, static_cast<DWORD>(CBS_DROPDOWN));
    EXPECT_EQ(t.items[2].title.name, u"Start");
    EXPECT_EQ(t.items[2].x, 3);
    EXPECT_EQ(t.items[2].cy, 13);
    EXPECT_EQ(t.items[3].id, 0xFFFFu);
    EXPECT_EQ(t.items[4].windowClass.name, u"msctls_progress32");
    EXPECT_EQ(t.items[5].windowClass.name, u"SysTreeView32");
    EXPECT_TRUE(t.items[6].title.isOrdinal);
    EXPECT_EQ(t.items[6].title.ordinal, 105);
}

TEST_P(TemplateTest, EveryTruncationIsRefused) {
    std::vector<BYTE> bytes = Sample().Build(GetParam());
    // The last item's creation-data count is the final word: anything shorter is cut.
    for (size_t size = 0; size < bytes.size(); ++size) {
        std::vector<BYTE> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        DialogTemplate t;
        EXPECT_FALSE(ParseDialogTemplate(part.data(), part.size(), &t)) << size;
    }
}

INSTANTIATE_TEST_SUITE_P(BothFormats, TemplateTest, ::testing::Values(true, false));

TEST(TemplateBytes, CreationDataAndOddCounts) {
    // DLGTEMPLATEEX: a count of extra bytes follows the title; DLGTEMPLATE counts its word.
    std::vector<BYTE> ex = DialogBytes(WS_POPUP, 0, 0, 10, 10, u"")
                               .Control(kButtonAtom, 0, 0, 0, 5, 5, 7, u"x")
                               .Build();
    ex[ex.size() - 2] = 3; // three bytes of creation data
    ex.push_back(0xAA);
    ex.push_back(0xBB);
    ex.push_back(0xCC);
    DialogTemplate t;
    ASSERT_TRUE(ParseDialogTemplate(ex.data(), ex.size(), &t));
    EXPECT_EQ(t.items[0].creationData, (std::vector<BYTE>{0xAA, 0xBB, 0xCC}));
    EXPECT_FALSE(ParseDialogTemplate(ex.data(), ex.size() - 1, &t));

    std::vector<BYTE> plain = DialogBytes(WS_POPUP, 0, 0, 10, 10, u"")
                                  .Control(kButtonAtom, 0, 0, 0, 5, 5, 7, u"x")
                                  .Build(false);
    plain[plain.size() - 2] = 4; // the word itself and two bytes
    plain.push_back(0x11);
    plain.push_back(0x22);
    ASSERT_TRUE(ParseDialogTemplate(plain.data(), plain.size(), &t));
    EXPECT_EQ(t.items[0].creationData, (std::vector<BYTE>{0x11, 0x22}));

    // A huge item count is refused rather than read on.
    std::vector<BYTE> many = DialogBytes(WS_POPUP, 0, 0, 10, 10, u"").Build();
    many[16] = 0xFF;
    many[17] = 0xFF;
    EXPECT_FALSE(ParseDialogTemplate(many.data(), many.size(), &t));
    EXPECT_FALSE(ParseDialogTemplate(nullptr, 10, &t));
}

TEST(TemplateBytes, CreatedDialogMatchesTheBytes) {
    qb::test::Reset();
    std::vector<BYTE> bytes = Sample().Build();
    HWND dlg = CreateDialogIndirectParamW(
        nullptr, AsTemplate(bytes), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_FALSE(IsWindowVisible(dlg)); // no WS_VISIBLE in the template
    HWND start = GetDlgItem(dlg, 1005);
    EXPECT_EQ(TextOf(start), u"Start");
    EXPECT_EQ(GetWindowLongW(start, GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
    EXPECT_TRUE(GetWindowLongW(start, GWL_STYLE) & WS_CHILD);
    EXPECT_NE(GetDlgItem(dlg, 1013), nullptr);
    EXPECT_NE(GetDlgItem(dlg, 1010), nullptr);
    RECT r;
    GetWindowRect(GetDlgItem(dlg, 1014), &r);
    POINT origin{0, 0};
    ClientToScreen(dlg, &origin);
    EXPECT_EQ(r.top - origin.y, 13);
    EXPECT_EQ(r.right - r.left, 113);
    DestroyWindow(dlg);
}

} // namespace
