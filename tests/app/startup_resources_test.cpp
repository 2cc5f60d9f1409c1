// The resources start-up and the main dialog use are there in both languages: the main
// dialog templates and pop-up menus by id, the small icon, and a main dialog made from the
// template of the chosen language has every control the dialog reaches by id.
#include <gtest/gtest.h>

#include <windows.h>

#include "core/Language.h"
#include "resources/resource.h"
#include "tests/platform/scoped_env.h"

namespace {

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

const void* Template(int id, LPCWSTR type) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(nullptr, found);
    return loaded == nullptr ? nullptr : LockResource(loaded);
}

TEST(StartupResourcesTest, FoundInBothLanguages) {
    ScopedEnv env;
    env.clearLocale();
    for (const char* lang : {"ja_JP.UTF-8", "en_US.UTF-8"}) {
        env.set("LANG", lang);
        for (int id : {IDD_MAIN_JA, IDD_MAIN_EN}) {
            EXPECT_NE(Template(id, RT_DIALOG), nullptr) << lang << " dialog " << id;
        }
        for (int id : {IDM_POPUP_JA, IDM_POPUP_EN}) {
            EXPECT_NE(Template(id, RT_MENU), nullptr) << lang << " menu " << id;
        }
        HANDLE icon = LoadImageW(nullptr, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, 0);
        EXPECT_NE(icon, nullptr) << lang;
        if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
    }
}

TEST(StartupResourcesTest, MainDialogOfEitherLanguageHasItsControls) {
    ScopedEnv env;
    env.clearLocale();
    for (const char* lang : {"ja_JP.UTF-8", "en_US.UTF-8"}) {
        env.set("LANG", lang);
        const int id = ByLanguage(IDD_MAIN_JA, IDD_MAIN_EN);
        EXPECT_EQ(id, IsJapanese() ? 101 : 102);
        const auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(Template(id, RT_DIALOG));
        ASSERT_NE(dialogTemplate, nullptr) << lang;
        HWND dialog =
            CreateDialogIndirectParamW(nullptr, dialogTemplate, nullptr, QuietDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << lang;
        for (int control :
             {IDC_URL, IDC_PATH, IDC_BROWSE, IDC_BYTES, IDC_REST_TIME, IDC_SPEED, IDC_FILE_NAME,
              IDC_PROGRESS, IDC_START, IDC_PAUSE, IDC_STOP, IDC_MENU_BUTTON}) {
            EXPECT_NE(GetDlgItem(dialog, control), nullptr) << lang << " control " << control;
        }
        WCHAR title[32] = {};
        GetWindowTextW(dialog, title, 32);
        EXPECT_EQ(std::u16string(title), u"Quillbrook") << lang;
        DestroyWindow(dialog);
    }
}

} // namespace
