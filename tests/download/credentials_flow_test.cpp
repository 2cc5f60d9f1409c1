// A server that demands Basic credentials, met by the interactive main dialog: the prompt
// the client opens through the dialog's callback, answered or cancelled, against the
// scripted server (the request lines are checked) and against nginx's auth_basic.
#include <gtest/gtest.h>

#include <string>

#include "tests/download/main_dialog_fixture.h"
#include "tests/support/nginx_server.h"
#include "tests/support/scripted_server.h"

namespace {

using qb::test::Reply;

constexpr char kFinished[] = "Finished receiving a file via HTTP.";
constexpr char kConnectFailed[] = "Failed to connect to HTTP server.";

Reply Challenge() {
    return Reply().send(qb::test::httpResponse(
        401, "Unauthorized", {{"WWW-Authenticate", "Basic realm=\"files\""}}, "login first"));
}

class CredentialsFlow : public qb::test::MainDialogTest {
protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        Open(InteractiveDialogProc);
    }
    // The next prompt: what it showed, then the entries typed and OK, or Cancel.
    struct Shown {
        std::u16string caption, user, password, target;
        HWND owner = nullptr;
    };
    void AnswerPrompt(Shown* shown, const char16_t* user, const char16_t* password) {
        qb::test::DriveDialog(
            [shown, user, password](HWND w) {
                shown->caption = qb::test::FieldText(w, IDC_AUTH_GROUP);
                shown->user = qb::test::FieldText(w, IDC_AUTH_USER);
                shown->password = qb::test::FieldText(w, IDC_AUTH_PASSWORD);
                shown->target = qb::test::FieldText(w, IDC_AUTH_TARGET);
                shown->owner = GetParent(w);
                if (user == nullptr) {
                    qb::test::PressKey(qb::render::Key::kEscape);
                    return;
                }
                SetDlgItemTextW(w, IDC_AUTH_USER, user);
                SetDlgItemTextW(w, IDC_AUTH_PASSWORD, password);
                qb::test::PressKey(qb::render::Key::kEnter);
            },
            qb::test::DialogTemplate(nullptr, IDD_CREDENTIALS_EN));
    }
    std::u16string LastBoxText() const {
        const auto history = qb::test::ModalHistory();
        return history.empty() ? u"" : history.back().text;
    }
};

TEST_F(CredentialsFlow, AnsweredPromptRetriesWithTheAuthorizationLine) {
    const std::string body = qb::test::PatternBody(3000);
    qb::test::ScriptedServer server;
    server.addReply(Challenge());
    server.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server.start());
    Fill(server.port(), "/private/report.pdf", "\\files");
    Shown shown;
    AnswerPrompt(&shown, u"user", u"secret");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(2));
    EXPECT_EQ(LastBoxText(), qb::test::Wide(kFinished));
    EXPECT_EQ(shown.caption, u"\"files\"");
    EXPECT_EQ(shown.target,
              qb::test::Wide("Server : http://127.0.0.1:" + std::to_string(server.port())));
    EXPECT_EQ(shown.owner, dialog_);
    EXPECT_EQ(File("report.pdf").value_or(""), body);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].find("Authorization:"), std::string::npos) << requests[0];
    // "user:secret" in Base64, on one line.
    EXPECT_NE(requests[1].find("\r\nAuthorization: Basic dXNlcjpzZWNyZXQ=\r\n"), std::string::npos)
        << requests[1];
}

TEST_F(CredentialsFlow, CancelledPromptIsAConnectionFailureAndTouchesNoFile) {
    qb::test::ScriptedServer server;
    server.addReply(Challenge());
    server.addReply(qb::test::okReply("not for you"));
    ASSERT_TRUE(server.start());
    Fill(server.port(), "/private/cancelled.bin", "\\files");
    Shown shown;
    AnswerPrompt(&shown, nullptr, nullptr);
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(2));
    EXPECT_EQ(LastBoxText(), qb::test::Wide(kConnectFailed));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_FALSE(File("cancelled.bin").has_value());
    server.stop();
    EXPECT_EQ(server.connectionCount(), 1u);
}

// A redirection to another host that also asks: its prompt names that host and offers
// nothing typed for the first, so one Enter sends nothing there.
TEST_F(CredentialsFlow, AnotherHostsPromptOffersNothingTypedForTheFirst) {
    const std::string body = qb::test::PatternBody(500);
    qb::test::ScriptedServer server;
    const std::string other = "http://localhost:";
    server.addReply(Challenge());
    server.addResponder([&](const std::string&) {
        return Reply().send("HTTP/1.0 302 Found\r\nLocation: " + other +
                            std::to_string(server.port()) + "/x.bin\r\n\r\n");
    });
    server.addReply(Challenge());
    server.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server.start());
    Fill(server.port(), "/private/x.bin", "\\files");
    Shown first, second;
    AnswerPrompt(&first, u"user", u"secret");
    qb::test::DriveDialog(
        [&second](HWND w) {
            second.user = qb::test::FieldText(w, IDC_AUTH_USER);
            second.password = qb::test::FieldText(w, IDC_AUTH_PASSWORD);
            second.target = qb::test::FieldText(w, IDC_AUTH_TARGET);
            qb::test::PressKey(qb::render::Key::kEnter); // as shown
        },
        qb::test::DialogTemplate(nullptr, IDD_CREDENTIALS_EN));
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(3));
    EXPECT_EQ(second.target, qb::test::Wide("Server : " + other + std::to_string(server.port())));
    EXPECT_EQ(second.user, u"");
    EXPECT_EQ(second.password, u"");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    // An empty user and password ("Og==" is ":"), never "user:secret".
    EXPECT_EQ(requests[3].find("dXNlcjpzZWNyZXQ="), std::string::npos) << requests[3];
    EXPECT_NE(requests[3].find("\nAuthorization: Basic Og==\r\n"), std::string::npos)
        << requests[3];
}

// The proxy of the settings asks for credentials (407): the prompt names the proxy, the
// request goes again through it with Proxy-Authorization; the server never sees them.
TEST_F(CredentialsFlow, TheProxysPromptNamesTheProxy) {
    const std::string body = qb::test::PatternBody(800);
    qb::test::ScriptedServer proxy;
    proxy.addReply(Reply().send(
        qb::test::httpResponse(407, "Proxy Authentication Required",
                               {{"Proxy-Authenticate", "Basic realm=\"office\""}}, "")));
    proxy.addReply(qb::test::okReply(body));
    ASSERT_TRUE(proxy.start());
    gProxyEnabled = 1;
    gProxyServer.AssignWide(TEXT("127.0.0.1"));
    gProxyPort = static_cast<WORD>(proxy.port());
    SetDlgItemTextW(dialog_, IDC_URL, u"http://only-the-proxy-knows.invalid/p.bin");
    SetDlgItemTextW(dialog_, IDC_PATH, u"\\files");
    Shown shown;
    AnswerPrompt(&shown, u"user", u"secret");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(2));
    EXPECT_EQ(LastBoxText(), qb::test::Wide(kFinished));
    EXPECT_EQ(shown.caption, u"\"office\"");
    EXPECT_EQ(shown.target,
              qb::test::Wide("Proxy : http://127.0.0.1:" + std::to_string(proxy.port())));
    EXPECT_EQ(File("p.bin").value_or(""), body);
    const auto requests = proxy.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].find("GET http://only-the-proxy-knows.invalid/p.bin HTTP/1.0\r\n"), 0u);
    EXPECT_NE(requests[1].find("\nProxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"),
              std::string::npos)
        << requests[1];
    EXPECT_EQ(requests[1].find("\nAuthorization:"), std::string::npos) << requests[1];
}

// nginx checks the credentials itself: the right ones fetch the file; a wrong password is
// answered with a second prompt that shows the entries of the first; Cancel there gives up.
TEST_F(CredentialsFlow, NginxBasicAuthentication) {
    if (!qb::test::NginxServer::available()) GTEST_SKIP() << "nginx is not installed";
    const std::string body = qb::test::PatternBody(20000);
    qb::test::NginxServer nginx;
    ASSERT_TRUE(nginx.writeFile("private/doc.bin", body));
    ASSERT_TRUE(nginx.start()) << nginx.error();

    Fill(nginx.port(), "/private/doc.bin", "\\files");
    Shown first, second;
    AnswerPrompt(&first, u"user", u"wrong");
    AnswerPrompt(&second, u"user", u"secret");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(3));
    EXPECT_EQ(LastBoxText(), qb::test::Wide(kFinished));
    EXPECT_EQ(first.caption, u"\"files\"");
    EXPECT_EQ(second.user, u"user");
    EXPECT_EQ(second.password, u"wrong");
    EXPECT_EQ(File("doc.bin").value_or(""), body);

    qb::test::Reset();
    qb::test::SetStrictModals(true);
    Fill(nginx.port(), "/private/doc.bin", "\\files\\again.bin");
    Shown third;
    AnswerPrompt(&third, nullptr, nullptr);
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(2));
    EXPECT_EQ(third.password, u"secret"); // the last entries given with OK
    EXPECT_EQ(LastBoxText(), qb::test::Wide(kConnectFailed));
    EXPECT_FALSE(File("again.bin").has_value());
}

} // namespace
