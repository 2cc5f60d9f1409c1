// The credentials prompt, the file-exists question and the About box, driven through the
// test hook as a person would answer them.
#include <gtest/gtest.h>

#include <string>

#include "app/AppState.h"
#include "qb/testhook.h"
#include "resources/about.h"
#include "resources/resource.h"
#include "ui/About.h"
#include "ui/Credentials.h"
#include "ui/FileExists.h"

namespace {

using qb::render::Key;

std::u16string Field(HWND dialog, int id) {
    WCHAR text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    return std::u16string(text);
}

class SmallDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        ForgetCredentials();
    }
    void TearDown() override { qb::test::Reset(); }
};

TEST_F(SmallDialogs, FileExistsAnswers) {
    struct Case {
        const char* what;
        qb::test::Driver driver;
        int answer;
    } cases[] = {
        {"Resume", [](HWND w) { qb::test::ClickWindow(GetDlgItem(w, IDC_RESUME)); },
         kFileExistsResume},
        {"Overwrite", [](HWND w) { qb::test::ClickWindow(GetDlgItem(w, IDC_OVERWRITE)); },
         kFileExistsOverwrite},
        {"Cancel", [](HWND w) { qb::test::ClickWindow(GetDlgItem(w, IDCANCEL)); },
         kFileExistsCancel},
        {"Escape", [](HWND) { qb::test::PressKey(Key::kEscape); }, kFileExistsCancel},
        {"close box", [](HWND w) { qb::test::ClickCloseBox(w); }, kFileExistsCancel},
        {"left open", [](HWND) {}, kFileExistsCancel},
    };
    for (auto& c : cases) {
        qb::test::DriveDialog(c.driver);
        EXPECT_EQ(AskFileExists(), c.answer) << c.what;
    }
    // Not shown at all (no answer with strict modals): Cancel.
    EXPECT_EQ(AskFileExists(), kFileExistsCancel);
}

TEST_F(SmallDialogs, CredentialsAreRememberedForTheNextPrompt) {
    WCHAR user[kCredentialEntryCapacity] = {};
    WCHAR password[kCredentialEntryCapacity] = {};
    std::u16string caption;
    qb::test::DriveDialog([&](HWND w) {
        caption = Field(w, IDC_AUTH_GROUP);
        SetDlgItemTextW(w, IDC_AUTH_USER, u"alice");
        SetDlgItemTextW(w, IDC_AUTH_PASSWORD, u"s3cret");
        qb::test::PressKey(Key::kEnter);
    });
    EXPECT_EQ(AskForCredentials(u"\"files\"", user, password, 0), 1);
    EXPECT_EQ(caption, u"\"files\"");
    EXPECT_EQ(std::u16string(user), u"alice");
    EXPECT_EQ(std::u16string(password), u"s3cret");

    // The second prompt opens with the last entries; Cancel keeps them.
    std::u16string shownUser, shownPassword;
    qb::test::DriveDialog([&](HWND w) {
        shownUser = Field(w, IDC_AUTH_USER);
        shownPassword = Field(w, IDC_AUTH_PASSWORD);
        SetDlgItemTextW(w, IDC_AUTH_USER, u"mallory");
        qb::test::PressKey(Key::kEscape);
    });
    WCHAR user2[kCredentialEntryCapacity] = {};
    WCHAR password2[kCredentialEntryCapacity] = {};
    EXPECT_EQ(AskForCredentials(u"\"files\"", user2, password2, 0), 0);
    EXPECT_EQ(shownUser, u"alice");
    EXPECT_EQ(shownPassword, u"s3cret");
    EXPECT_EQ(std::u16string(RememberedUserId()), u"alice");

    // A prompt that can't be shown gives up like Cancel.
    EXPECT_LE(AskForCredentials(u"\"files\"", user2, password2, 0), 0);
}

TEST_F(SmallDialogs, CredentialsAreCutAt255Characters) {
    const std::u16string longUser(300, u'u');
    WCHAR user[kCredentialEntryCapacity] = {};
    WCHAR password[kCredentialEntryCapacity] = {};
    qb::test::DriveDialog([&](HWND w) {
        SetDlgItemTextW(w, IDC_AUTH_USER, longUser.c_str());
        qb::test::PressKey(Key::kEnter);
    });
    EXPECT_EQ(AskForCredentials(u"r", user, password, 0), 1);
    EXPECT_EQ(std::u16string(user), longUser.substr(0, 255));
}

TEST_F(SmallDialogs, AboutShowsTheAddressAndEndsWithOk) {
    std::u16string address;
    qb::test::DriveDialog([&](HWND w) {
        address = Field(w, IDC_ABOUT_ADDRESS);
        qb::test::PressKey(Key::kEnter);
    });
    ShowAboutBox(nullptr);
    EXPECT_EQ(address, std::u16string(kAboutPageEnglish));
    ASSERT_FALSE(qb::test::ModalHistory().empty());
    EXPECT_FALSE(qb::test::ModalHistory().back().abandoned);
}

} // namespace
