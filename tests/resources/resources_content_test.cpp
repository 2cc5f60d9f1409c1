// The program's compiled resources: every template, menu, icon and bitmap the program
// loads is there, in the right language, with the ids, rectangles, styles and texts the
// dialogs are built from.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/resources/images.h"
#include "resources/about.h" // compiles as the About box includes it
#include "resources/resource.h"
#include "template_reader.h"

namespace {

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

constexpr uint16_t kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082, kComboBox = 0x0085;
constexpr DWORD kButtonType = BS_TYPEMASK;
constexpr DWORD kStaticType = SS_TYPEMASK;
constexpr DWORD kComboType = 0x3;
constexpr DWORD kNoId = 0xFFFFFFFFu;

// The resource's bytes, found in exactly that language.
std::vector<uint8_t> resourceBytes(LPCWSTR type, WORD id, WORD language) {
    HRSRC found = FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), language);
    if (!found) return {};
    const uint8_t* p = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    return std::vector<uint8_t>(p, p + SizeofResource(nullptr, found));
}

struct ExpectedControl {
    DWORD id;
    uint16_t atom;       // 0: a class name
    const char16_t* cls; // the class name when atom is 0
    int16_t x, y, cx, cy;
    const char16_t* text; // nullptr: an icon, by ordinal
    DWORD mask, value;    // (style & mask) == value
};

struct ExpectedDialog {
    WORD id;
    WORD language;
    int16_t cx, cy;
    const char16_t* title;
    uint16_t pointSize;
    DWORD mask, value;
    std::vector<ExpectedControl> controls;
};

constexpr DWORD kPushButton = kButtonType | WS_TABSTOP;

std::vector<ExpectedControl> mainControls(bool japanese) {
    int16_t valueWidth = japanese ? 89 : 90;
    auto t = [japanese](const char16_t* ja, const char16_t* en) { return japanese ? ja : en; };
    return {
        {IDC_URL, kComboBox, nullptr, 0, 0, 133, 12, u"", kComboType | WS_TABSTOP,
         CBS_DROPDOWN | WS_TABSTOP},
        {IDC_PATH, kEdit, nullptr, 0, 13, 113, 12, u"", WS_BORDER | WS_TABSTOP,
         WS_BORDER | WS_TABSTOP},
        {IDC_BROWSE, kButton, nullptr, 113, 13, 19, 13, u"...", kPushButton,
         BS_PUSHBUTTON | WS_TABSTOP},
        {kNoId, kStatic, nullptr, 1, 27, 42, 10, t(u"バイト数", u"Bytes"), kStaticType, SS_LEFT},
        {kNoId, kStatic, nullptr, 1, 37, 42, 10, t(u"残り時間", u"RestTime"), kStaticType, SS_LEFT},
        {kNoId, kStatic, nullptr, 1, 47, 42, 10, t(u"転送速度", u"Speed"), kStaticType, SS_LEFT},
        {kNoId, kStatic, nullptr, 1, 57, 42, 10, t(u"ファイル名", u"FileName"), kStaticType,
         SS_LEFT},
        {IDC_BYTES, kStatic, nullptr, 43, 27, valueWidth, 10, u"", kStaticType, SS_LEFT},
        {IDC_REST_TIME, kStatic, nullptr, 43, 37, valueWidth, 10, u"", kStaticType, SS_LEFT},
        {IDC_SPEED, kStatic, nullptr, 43, 47, valueWidth, 10, u"", kStaticType, SS_LEFT},
        {IDC_FILE_NAME, kStatic, nullptr, 43, 57, valueWidth, 10, u"", kStaticType, SS_LEFT},
        {IDC_PROGRESS, 0, u"msctls_progress32", 0, 69, 133, 7, u"", 0, 0},
        {IDC_START, kButton, nullptr, 3, 79, 39, 13, t(u"開始", u"Start"),
         kPushButton | WS_DISABLED, BS_PUSHBUTTON | WS_TABSTOP},
        {IDC_PAUSE, kButton, nullptr, 46, 79, 39, 13, t(u"一時停止", u"Pause"),
         kPushButton | WS_DISABLED, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED},
        {IDC_STOP, kButton, nullptr, 85, 79, 39, 13, t(u"中断", u"Stop"), kPushButton | WS_DISABLED,
         BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED},
        {IDC_MENU_BUTTON, kButton, nullptr, 128, 89, 5, 5, u"", kButtonType, BS_PUSHBUTTON},
    };
}

std::vector<ExpectedControl> questionControls(bool japanese) {
    auto t = [japanese](const char16_t* ja, const char16_t* en) { return japanese ? ja : en; };
    return {
        {kNoId, kStatic, nullptr, int16_t(japanese ? 40 : 45), 13, 100, 10,
         t(u"既にファイルが存在します。", u"This file already exists."), kStaticType, SS_LEFT},
        {IDC_RESUME, kButton, nullptr, 6, 35, 43, 13, t(u"再開(&R)", u"&Resume"), kButtonType,
         BS_PUSHBUTTON},
        {IDC_OVERWRITE, kButton, nullptr, 58, 35, 43, 13, t(u"上書き(&O)", u"&Overwrite"),
         kButtonType, BS_PUSHBUTTON},
        {IDCANCEL, kButton, nullptr, 104, 35, 43, 13, t(u"中止(&C)", u"&Cancel"), kButtonType,
         BS_PUSHBUTTON},
        {IDC_QUESTION_ICON, kStatic, nullptr, 9, 7, 20, 20, nullptr, kStaticType, SS_ICON},
    };
}

std::vector<ExpectedControl> proxyControls(bool japanese) {
    auto t = [japanese](const char16_t* ja, const char16_t* en) { return japanese ? ja : en; };
    return {
        {IDC_PROXY_GROUP, kButton, nullptr, 3, 4, 126, 82, u"  ", kButtonType, BS_GROUPBOX},
        {IDC_PROXY_ENABLE, kButton, nullptr, 9, 0, 96, 10,
         t(u"プロキシを有効にする", u"Enable Proxy"), kButtonType | WS_TABSTOP,
         BS_AUTOCHECKBOX | WS_TABSTOP},
        {kNoId, kStatic, nullptr, 7, 18, 40, 10, t(u"サーバ : ", u"Server : "), kStaticType,
         SS_RIGHT},
        {kNoId, kStatic, nullptr, 7, 34, 40, 10, t(u"ポート : ", u"Port : "), kStaticType,
         SS_RIGHT},
        {IDC_PROXY_SERVER, kEdit, nullptr, 48, 16, 76, 12, u"", ES_AUTOHSCROLL | WS_TABSTOP,
         ES_AUTOHSCROLL | WS_TABSTOP},
        {IDC_PROXY_PORT, kEdit, nullptr, 48, 32, 40, 12, u"", ES_NUMBER | WS_TABSTOP,
         ES_NUMBER | WS_TABSTOP},
        {IDC_PROXY_IMPORT, kButton, nullptr, 92, 32, 32, 13, t(u"取得", u"import"),
         kButtonType | WS_DISABLED, BS_PUSHBUTTON | WS_DISABLED},
        {kNoId, kStatic, nullptr, 5, 50, 42, 10, t(u"ユーザー名 : ", u"User ID : "), kStaticType,
         SS_RIGHT},
        {kNoId, kStatic, nullptr, 5, 66, 42, 10, t(u"パスワード : ", u"Password : "), kStaticType,
         SS_RIGHT},
        {IDC_PROXY_USER, kEdit, nullptr, 48, 48, 76, 12, u"", ES_AUTOHSCROLL | WS_TABSTOP,
         ES_AUTOHSCROLL | WS_TABSTOP},
        {IDC_PROXY_PASSWORD, kEdit, nullptr, 48, 64, 76, 12, u"",
         ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP, ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP},
        {IDOK, kButton, nullptr, 46, 90, 40, 14, u"OK", kButtonType, BS_DEFPUSHBUTTON},
    };
}

std::vector<ExpectedControl> credentialsControls(bool japanese) {
    auto t = [japanese](const char16_t* ja, const char16_t* en) { return japanese ? ja : en; };
    return {
        // The origin the entries go to: wide enough for a long host name kept whole.
        {IDC_AUTH_TARGET, kStatic, nullptr, 4, 4, 232, 48, u"", kStaticType | SS_NOPREFIX,
         SS_LEFT | SS_NOPREFIX},
        {kNoId, kStatic, nullptr, 13, 63, 50, 12, t(u"ユーザー名 : ", u"User ID : "), kStaticType,
         SS_RIGHT},
        {kNoId, kStatic, nullptr, 13, 76, 50, 12, t(u"パスワード : ", u"Password : "), kStaticType,
         SS_RIGHT},
        {IDC_AUTH_USER, kEdit, nullptr, 63, 63, 160, 12, u"", ES_PASSWORD | WS_TABSTOP, WS_TABSTOP},
        {IDC_AUTH_PASSWORD, kEdit, nullptr, 63, 76, 160, 12, u"", ES_PASSWORD | WS_TABSTOP,
         ES_PASSWORD | WS_TABSTOP},
        {IDC_AUTH_GROUP, kButton, nullptr, 4, 52, 232, 42, u"", kButtonType, BS_GROUPBOX},
        {IDOK, kButton, nullptr, 84, 98, 71, 15, u"OK", kButtonType, BS_DEFPUSHBUTTON},
    };
}

constexpr DWORD kMainStyle = DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kModalStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
// A title bar needs both bits of WS_CAPTION; a border alone is no title bar.
constexpr DWORD kNoTitleMask = WS_POPUP | WS_DLGFRAME;

std::vector<ExpectedDialog> expectedDialogs() {
    std::vector<ExpectedDialog> all;
    for (bool ja : {true, false}) {
        WORD lang = ja ? kJapanese : kEnglish;
        all.push_back({WORD(ja ? IDD_MAIN_JA : IDD_MAIN_EN), lang, 133, 94, u"Quillbrook", 8,
                       kMainStyle, kMainStyle, mainControls(ja)});
        all.push_back({WORD(ja ? IDD_FILE_EXISTS_JA : IDD_FILE_EXISTS_EN), lang, 154, 54,
                       ja ? u"確認" : u"Question", 8, kModalStyle, kModalStyle,
                       questionControls(ja)});
        all.push_back({WORD(ja ? IDD_PROXY_JA : IDD_PROXY_EN), lang, 133, 107,
                       ja ? u"プロキシの設定" : u"Proxy Configuration", 8, kModalStyle, kModalStyle,
                       proxyControls(ja)});
        all.push_back({WORD(ja ? IDD_CREDENTIALS_JA : IDD_CREDENTIALS_EN), lang, 240, 116,
                       ja ? u"認証" : u"Certification", 8, kModalStyle, kModalStyle,
                       credentialsControls(ja)});
    }
    all.push_back(
        {IDD_FOLDER_BROWSER,
         kNeutral,
         137,
         97,
         u"",
         9,
         kNoTitleMask,
         WS_POPUP,
         {
             {IDC_BROWSER_TITLE, kStatic, nullptr, 0, 0, 137, 10, u"", kStaticType, SS_LEFT},
             {IDC_BROWSER_PATH, kEdit, nullptr, 0, 11, 110, 13, u"",
              ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER},
             {IDOK, kButton, nullptr, 111, 11, 26, 13, u"OK", kButtonType, BS_DEFPUSHBUTTON},
             {IDC_BROWSER_TREE, 0, u"SysTreeView32", 0, 25, 137, 72, u"",
              TVS_HASBUTTONS | TVS_HASLINES | WS_BORDER, TVS_HASBUTTONS | TVS_HASLINES | WS_BORDER},
         }});
    all.push_back(
        {IDD_ABOUT,
         kNeutral,
         107,
         59,
         u"",
         8,
         kNoTitleMask,
         WS_POPUP,
         {
             {kNoId, kStatic, nullptr, 5, 11, 20, 20, nullptr, kStaticType, SS_ICON},
             {kNoId, kStatic, nullptr, 37, 11, 66, 10, u"Quillbrook v1.15", kStaticType, SS_LEFT},
             {IDC_ABOUT_ADDRESS, kEdit, nullptr, 37, 21, 66, 12, u"", ES_READONLY, ES_READONLY},
             {kNoId, kStatic, nullptr, 0, 49, 107, 10, u"(C) 2026 The Quillbrook developers",
              kStaticType, SS_CENTER},
             {IDOK, kButton, nullptr, 51, 33, 42, 13, u"OK", kButtonType, BS_DEFPUSHBUTTON},
         }});
    return all;
}

TEST(ResourcesContentTest, EveryDialogTemplateAsDesigned) {
    for (const ExpectedDialog& e : expectedDialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(e.id));
        std::vector<uint8_t> bytes = resourceBytes(RT_DIALOG, e.id, e.language);
        ASSERT_FALSE(bytes.empty());
        templates::Dialog d;
        ASSERT_TRUE(templates::readDialog(bytes.data(), bytes.size(), &d));
        EXPECT_EQ(d.version, 1);
        EXPECT_EQ(d.signature, 0xFFFF);
        EXPECT_EQ(d.cx, e.cx);
        EXPECT_EQ(d.cy, e.cy);
        EXPECT_EQ(d.title, e.title);
        EXPECT_EQ(d.style & e.mask, e.value);
        EXPECT_TRUE(d.style & DS_SETFONT);
        EXPECT_EQ(d.typeface, u"Tahoma");
        EXPECT_EQ(d.pointSize, e.pointSize);
        ASSERT_EQ(d.controls.size(), e.controls.size());
        for (size_t i = 0; i < e.controls.size(); ++i) {
            const ExpectedControl& x = e.controls[i];
            const templates::Control& c = d.controls[i];
            SCOPED_TRACE("control " + std::to_string(i));
            EXPECT_EQ(c.offset % 4, 0u);
            EXPECT_EQ(c.id, x.id);
            EXPECT_EQ(c.windowClass.isOrdinal, x.atom != 0);
            if (x.atom) {
                EXPECT_EQ(c.windowClass.ordinal, x.atom);
            } else {
                EXPECT_EQ(c.windowClass.text, x.cls);
            }
            EXPECT_EQ(c.x, x.x);
            EXPECT_EQ(c.y, x.y);
            EXPECT_EQ(c.cx, x.cx);
            EXPECT_EQ(c.cy, x.cy);
            if (x.text) {
                EXPECT_FALSE(c.title.isOrdinal);
                EXPECT_EQ(c.title.text, x.text);
            } else {
                EXPECT_TRUE(c.title.isOrdinal);
                EXPECT_EQ(c.title.ordinal, e.id == IDD_ABOUT ? IDI_APP : IDI_QUESTION_BOX);
            }
            EXPECT_EQ(c.style & (WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE));
            EXPECT_EQ(c.style & x.mask, x.value);
        }
    }
}

TEST(ResourcesContentTest, EachLanguageHasOnlyItsOwnTemplates) {
    const WORD japaneseOnly[] = {IDD_MAIN_JA, IDD_FILE_EXISTS_JA, IDD_PROXY_JA, IDD_CREDENTIALS_JA};
    const WORD englishOnly[] = {IDD_MAIN_EN, IDD_FILE_EXISTS_EN, IDD_PROXY_EN, IDD_CREDENTIALS_EN};
    for (WORD id : japaneseOnly) EXPECT_TRUE(resourceBytes(RT_DIALOG, id, kEnglish).empty());
    for (WORD id : englishOnly) EXPECT_TRUE(resourceBytes(RT_DIALOG, id, kJapanese).empty());
    // The shared ones are found whatever the system language.
    for (WORD id : {IDD_FOLDER_BROWSER, IDD_ABOUT})
        EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG), nullptr);
}

TEST(ResourcesContentTest, PopupMenusInBothLanguages) {
    struct Case {
        WORD id;
        WORD language;
        const char16_t* proxy;
        const char16_t* update;
        const char16_t* about;
    };
    const Case cases[] = {
        {IDM_POPUP_JA, kJapanese, u"プロキシの設定", u"更新の確認(&U)", u"ヴァージョン情報(&A)"},
        {IDM_POPUP_EN, kEnglish, u"Proxy", u"&Update", u"&About"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = resourceBytes(RT_MENU, c.id, c.language);
        std::vector<templates::MenuItem> menu;
        ASSERT_TRUE(templates::readMenu(bytes.data(), bytes.size(), &menu)) << c.id;
        ASSERT_EQ(menu.size(), 1u);
        EXPECT_EQ(menu[0].flags, MF_POPUP | MF_END);
        const auto& items = menu[0].children;
        ASSERT_EQ(items.size(), 4u);
        EXPECT_EQ(items[0].id, IDM_PROXY);
        EXPECT_EQ(items[0].text, c.proxy);
        EXPECT_EQ(items[0].flags, 0);
        EXPECT_EQ(items[1].id, 0);
        EXPECT_EQ(items[1].text, u"");
        EXPECT_EQ(items[1].flags, MF_SEPARATOR);
        EXPECT_EQ(items[2].id, IDM_UPDATE);
        EXPECT_EQ(items[2].text, c.update);
        EXPECT_EQ(items[2].flags, MF_GRAYED);
        EXPECT_EQ(items[3].id, IDM_ABOUT);
        EXPECT_EQ(items[3].text, c.about);
        EXPECT_EQ(items[3].flags, MF_END);
    }
}

TEST(ResourcesContentTest, IconsLoadAtTheSizesTheProgramAsksFor) {
    for (WORD id : {IDI_APP, IDI_QUESTION_BOX}) {
        for (int side : {16, 32}) {
            HANDLE icon = LoadImageW(nullptr, MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, 0);
            ASSERT_NE(icon, nullptr) << id;
            qb::resources::ImageInfo info;
            ASSERT_TRUE(qb::resources::DescribeImage(icon, &info));
            EXPECT_EQ(info.width, side);
            std::vector<uint32_t> pixels(static_cast<size_t>(side) * side);
            ASSERT_TRUE(qb::resources::CopyImagePixels(icon, pixels.data(), pixels.size()));
            size_t transparent = std::count(pixels.begin(), pixels.end(), 0u);
            EXPECT_GT(transparent, 0u) << id; // a picture on a transparent ground
            EXPECT_LT(transparent, pixels.size() * 3 / 4) << id;
            EXPECT_TRUE(DestroyIcon(static_cast<HICON>(icon)));
        }
    }
}

TEST(ResourcesContentTest, FolderBitmapMakesTwoImagesWithRedTransparent) {
    HIMAGELIST list = ImageList_LoadImageW(nullptr, MAKEINTRESOURCEW(IDB_FOLDERS), 16, 1,
                                           RGB(255, 0, 0), IMAGE_BITMAP, LR_DEFAULTCOLOR);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(list), 2);
    for (int i = 0; i < 2; ++i) {
        std::vector<uint32_t> pixels(16 * 16);
        ASSERT_TRUE(qb::resources::CopyImageListImage(list, i, pixels.data(), pixels.size()));
        EXPECT_EQ(pixels[0], 0u); // the corners are background
        EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0xFFFF0000u), 0);
        EXPECT_GT(std::count(pixels.begin(), pixels.end(), 0u), 16);
        EXPECT_LT(std::count(pixels.begin(), pixels.end(), 0u), 16 * 16 / 2);
    }
    ImageList_Destroy(list);

    HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(IDB_FOLDERS));
    qb::resources::ImageInfo info;
    ASSERT_TRUE(qb::resources::DescribeImage(bitmap, &info));
    EXPECT_EQ(info.width, 32);
    EXPECT_EQ(info.height, 16);
    DeleteObject(bitmap);
}

} // namespace
