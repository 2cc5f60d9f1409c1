// The program's own dialog templates and menus, compiled by tools/rc, read by the dialog
// manager: every template creates, and the main window looks as a person sees it.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "qb/testhook.h"
#include "resources/resource.h"
#include "tests/platform/user_test_support.h"

using namespace qb::usertest;

namespace {

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG;
}

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override { qb::test::Reset(); }
    void TearDown() override { qb::test::Pump(); }
};

TEST_F(ResourcesTest, EveryDialogTemplateCreatesWithItsControls) {
    struct Case {
        int id;
        std::vector<int> controls;
    };
    const Case cases[] = {
        {IDD_MAIN_JA, {IDC_URL, IDC_PATH, IDC_BROWSE, IDC_PROGRESS, IDC_START, IDC_MENU_BUTTON}},
        {IDD_MAIN_EN, {IDC_URL, IDC_PATH, IDC_BYTES, IDC_SPEED, IDC_STOP}},
        {IDD_FILE_EXISTS_JA, {IDC_RESUME, IDC_OVERWRITE, IDCANCEL, IDC_QUESTION_ICON}},
        {IDD_FILE_EXISTS_EN, {IDC_RESUME, IDC_OVERWRITE, IDCANCEL, IDC_QUESTION_ICON}},
        {IDD_FOLDER_BROWSER, {IDC_BROWSER_TITLE, IDC_BROWSER_PATH, IDOK, IDC_BROWSER_TREE}},
        {IDD_ABOUT, {IDC_ABOUT_ADDRESS, IDOK}},
        {IDD_PROXY_JA,
         {IDC_PROXY_ENABLE, IDC_PROXY_SERVER, IDC_PROXY_PORT, IDC_PROXY_IMPORT, IDOK}},
        {IDD_PROXY_EN,
         {IDC_PROXY_ENABLE, IDC_PROXY_GROUP, IDC_PROXY_SERVER, IDC_PROXY_PORT, IDC_PROXY_USER,
          IDC_PROXY_PASSWORD, IDOK}},
        {IDD_CREDENTIALS_JA,
         {IDC_AUTH_TARGET, IDC_AUTH_USER, IDC_AUTH_PASSWORD, IDC_AUTH_GROUP, IDOK}},
        {IDD_CREDENTIALS_EN,
         {IDC_AUTH_TARGET, IDC_AUTH_USER, IDC_AUTH_PASSWORD, IDC_AUTH_GROUP, IDOK}},
    };
    for (const Case& c : cases) {
        const void* bytes = qb::test::DialogTemplate(nullptr, c.id);
        ASSERT_NE(bytes, nullptr) << c.id;
        HWND dlg = CreateDialogIndirectParamW(nullptr, static_cast<LPCDLGTEMPLATEW>(bytes), nullptr,
                                              Quiet, 0);
        ASSERT_NE(dlg, nullptr) << c.id;
        for (int id : c.controls) EXPECT_NE(GetDlgItem(dlg, id), nullptr) << c.id << " " << id;
        DestroyWindow(dlg);
    }
}

TEST_F(ResourcesTest, IconsOfTheTemplatesAreLoaded) {
    const void* bytes = qb::test::DialogTemplate(nullptr, IDD_FILE_EXISTS_EN);
    HWND dlg =
        CreateDialogIndirectParamW(nullptr, static_cast<LPCDLGTEMPLATEW>(bytes), nullptr, Quiet, 0);
    WindowGuard guard(dlg);
    EXPECT_NE(SendDlgItemMessageW(dlg, IDC_QUESTION_ICON, STM_GETICON, 0, 0), 0);
}

TEST_F(ResourcesTest, EnglishMainWindowAsShown) {
    const void* bytes = qb::test::DialogTemplate(nullptr, IDD_MAIN_EN);
    HWND dlg =
        CreateDialogIndirectParamW(nullptr, static_cast<LPCDLGTEMPLATEW>(bytes), nullptr, Quiet, 0);
    WindowGuard guard(dlg);
    EXPECT_FALSE(IsWindowVisible(dlg)); // the procedure shows it
    ShowWindow(dlg, SW_SHOW);
    SetDlgItemTextW(dlg, IDC_URL, u"http://");
    SetDlgItemTextW(dlg, IDC_PATH, u"\\My Documents");
    std::string text = qb::test::WindowText(dlg);
    EXPECT_NE(text.find("┌ Quillbrook "), std::string::npos) << text;
    EXPECT_NE(text.find("│http://"), std::string::npos) << text;
    EXPECT_NE(text.find("Start"), std::string::npos) << text;
    EXPECT_NE(text.find("RestTime"), std::string::npos) << text;
    RECT cells = qb::test::WindowCells(dlg);
    EXPECT_EQ(cells.right - cells.left, 36);
    EXPECT_EQ(cells.bottom - cells.top, 14);
}

TEST_F(ResourcesTest, PopupMenusLoadFromTheResources) {
    for (int id : {IDM_POPUP_JA, IDM_POPUP_EN}) {
        HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(id));
        ASSERT_NE(menu, nullptr) << id;
        HMENU popup = GetSubMenu(menu, 0);
        ASSERT_NE(popup, nullptr);
        ASSERT_EQ(GetMenuItemCount(popup), 4);
        EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(IDM_PROXY));
        EXPECT_TRUE(GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR);
        EXPECT_TRUE(GetMenuState(popup, IDM_UPDATE, MF_BYCOMMAND) & MF_GRAYED);
        EXPECT_EQ(GetMenuItemID(popup, 3), static_cast<UINT>(IDM_ABOUT));
        EXPECT_TRUE(DestroyMenu(menu));
    }
    EXPECT_EQ(LoadMenuW(nullptr, MAKEINTRESOURCEW(9999)), nullptr);
}

} // namespace
