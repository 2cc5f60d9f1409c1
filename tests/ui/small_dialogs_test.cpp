// The credentials prompt, the file-exists question and the About box, driven through the
// test hook as a person would answer them.
#include <gtest/gtest.h>

#include <string>

#include "core/AppState.h"
#include "qb/testhook.h"
#include "resources/about.h"
#include "resources/resource.h"
#include "tests/platform/scoped_env.h"
#include "ui/About.h"
#include "ui/Credentials.h"
#include "ui/FileExists.h"

namespace {

using qb::render::Key;

constexpr const char16_t* kOrigin = u"https://files.example:443";

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
    EXPECT_EQ(AskForCredentials(u"\"files\"", kOrigin, FALSE, user, password, 0), 1);
    EXPECT_EQ(caption, u"\"files\"");
    EXPECT_EQ(std::u16string(user), u"alice");
    EXPECT_EQ(std::u16string(password), u"s3cret");

    // The second prompt for the same origin opens with the last entries; Cancel keeps them.
    std::u16string shownUser, shownPassword;
    qb::test::DriveDialog([&](HWND w) {
        shownUser = Field(w, IDC_AUTH_USER);
        shownPassword = Field(w, IDC_AUTH_PASSWORD);
        SetDlgItemTextW(w, IDC_AUTH_USER, u"mallory");
        qb::test::PressKey(Key::kEscape);
    });
    WCHAR user2[kCredentialEntryCapacity] = {};
    WCHAR password2[kCredentialEntryCapacity] = {};
    EXPECT_EQ(AskForCredentials(u"\"files\"", kOrigin, FALSE, user2, password2, 0), 0);
    EXPECT_EQ(shownUser, u"alice");
    EXPECT_EQ(shownPassword, u"s3cret");
    EXPECT_EQ(std::u16string(RememberedUserId()), u"alice");

    // A prompt that can't be shown gives up like Cancel.
    EXPECT_LE(AskForCredentials(u"\"files\"", kOrigin, FALSE, user2, password2, 0), 0);
}

// The prompt names who the entries go to, and opens filled only with what was typed for that
// same scheme, host and port (server or proxy): a redirection to another host that also asks
// gets empty fields, so one Enter sends nothing typed for someone else.
TEST_F(SmallDialogs, CredentialsAreOfferedOnlyToTheOriginTheyWereTypedFor) {
    struct Step {
        const char16_t* origin;
        BOOL forProxy;
        const char16_t* type; // typed into the user field before OK; null: OK as shown
        std::u16string shownUser;
        std::u16string target; // the first line, as shown (English)
    } steps[] = {
        {u"https://a.example:443", FALSE, u"alice", u"", u"Server : https://a.example:443"},
        {u"https://b.example:443", FALSE, nullptr, u"", u"Server : https://b.example:443"},
        {u"http://a.example:443", FALSE, nullptr, u"", u"Server : http://a.example:443"},
        {u"https://a.example:8443", FALSE, nullptr, u"", u"Server : https://a.example:8443"},
        {u"https://a.example:443", TRUE, u"proxyuser", u"", u"Proxy : https://a.example:443"},
        {u"https://a.example:443", FALSE, nullptr, u"alice", u"Server : https://a.example:443"},
        {u"https://a.example:443", TRUE, nullptr, u"proxyuser", u"Proxy : https://a.example:443"},
    };
    ScopedEnv env;
    env.clearLocale();
    env.set("LANG", "en_US.UTF-8");
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.origin,
                                 step.origin + std::char_traits<char16_t>::length(step.origin)));
        std::u16string shownUser, target;
        qb::test::DriveDialog([&](HWND w) {
            shownUser = Field(w, IDC_AUTH_USER);
            target = Field(w, IDC_AUTH_TARGET);
            if (step.type != nullptr) SetDlgItemTextW(w, IDC_AUTH_USER, step.type);
            qb::test::PressKey(Key::kEnter);
        });
        WCHAR user[kCredentialEntryCapacity] = {};
        WCHAR password[kCredentialEntryCapacity] = {};
        EXPECT_EQ(AskForCredentials(u"\"r\"", step.origin, step.forProxy, user, password, 0), 1);
        EXPECT_EQ(shownUser, step.shownUser);
        EXPECT_EQ(target, step.target);
    }
}

// The longest host name (253 characters) with scheme and port is shown whole in the
// prompt's first lines, in both languages.
TEST_F(SmallDialogs, AWideHostNameIsShownWhole) {
    std::u16string host;
    for (int label = 0; label < 4; ++label) {
        if (label > 0) host += u'.';
        host += std::u16string(label < 3 ? 63 : 61, char16_t(u'a' + label));
    }
    ASSERT_EQ(host.size(), 253u);
    const std::u16string origin = u"https://" + host + u":65535";
    for (const char* locale : {"en_US.UTF-8", "ja_JP.UTF-8"}) {
        SCOPED_TRACE(locale);
        ScopedEnv env;
        env.clearLocale();
        env.set("LANG", locale);
        std::string shown;
        qb::test::DriveDialog([&](HWND w) {
            // The rows of the line as drawn, joined: the wrap breaks the name, cuts nothing.
            const std::string text = qb::test::WindowText(GetDlgItem(w, IDC_AUTH_TARGET));
            for (char c : text) {
                if (c != '\n') shown.push_back(c);
            }
            qb::test::PressKey(Key::kEscape);
        });
        WCHAR user[kCredentialEntryCapacity] = {};
        WCHAR password[kCredentialEntryCapacity] = {};
        EXPECT_EQ(AskForCredentials(u"\"r\"", origin.c_str(), FALSE, user, password, 0), 0);
        EXPECT_NE(shown.find(std::string(origin.begin(), origin.end())), std::string::npos)
            << shown;
    }
}

TEST_F(SmallDialogs, CredentialsAreCutAt255Characters) {
    const std::u16string longUser(300, u'u');
    WCHAR user[kCredentialEntryCapacity] = {};
    WCHAR password[kCredentialEntryCapacity] = {};
    qb::test::DriveDialog([&](HWND w) {
        SetDlgItemTextW(w, IDC_AUTH_USER, longUser.c_str());
        qb::test::PressKey(Key::kEnter);
    });
    EXPECT_EQ(AskForCredentials(u"r", kOrigin, FALSE, user, password, 0), 1);
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
