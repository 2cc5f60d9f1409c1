// The automatic-mode main dialog with its window shown, in this process against the scripted
// server: the download starts by itself, messages are shown instead of ending the program,
// and the exit code posted when the user closes the window tells how the download ended.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ExitCodes.h"
#include "tests/download/main_dialog_fixture.h"
#include "tests/support/scripted_server.h"
#include "ui/FileExists.h"

namespace {

using qb::test::Reply;

class AutomaticShown : public qb::test::MainDialogTest {
protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        gShowWindow = TRUE;
        gResume = TRUE;
        gCaption.AssignWide(u"Fetching for the caller");
        gPath.AssignWide(u"\\files");
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        gShowWindow = kDefaultShowWindow;
        gResume = kDefaultResume;
        gUrl.AssignWide(u"");
        gPath.AssignWide(u"");
        gCaption.AssignWide(kDefaultCaption);
    }
    // Opens the dialog on the server's path; its posted Start runs at the next pump.
    void OpenOn(const std::string& path) {
        gUrl.AssignWide(qb::test::Wide(Url(server_.port(), path)).c_str());
        Open(AutomaticDialogProc);
    }
    // The close box as the user clicks it; the dialog ends and posts its exit code.
    std::optional<int> CloseByUser() {
        qb::test::ClickCloseBox(dialog_);
        qb::test::PumpUntil([this] { return !IsWindow(dialog_); }, 5000);
        EXPECT_FALSE(IsWindow(dialog_));
        return TakeQuitCode();
    }

    qb::test::ScriptedServer server_;
};

TEST_F(AutomaticShown, CompletionIsShownAndTheWindowStaysUntilClosed) {
    const std::string body = qb::test::PatternBody(9000);
    server_.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server_.start());
    qb::test::AnswerMessageBox(IDOK);
    OpenOn("/get/shown.bin");
    EXPECT_TRUE(IsWindowVisible(dialog_));
    WCHAR title[64] = {};
    GetWindowTextW(dialog_, title, 64);
    EXPECT_EQ(std::u16string(title), u"Fetching for the caller");
    ASSERT_TRUE(WaitForModals(1));
    EXPECT_EQ(qb::test::ModalHistory()[0].title, u"Notification");
    EXPECT_EQ(File("shown.bin").value_or(""), body);
    // The window stays, with nothing left to press.
    qb::test::Pump();
    ASSERT_TRUE(IsWindow(dialog_));
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_PAUSE));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_EQ(CloseByUser(), kExitDownloaded);
}

TEST_F(AutomaticShown, ResumedDownloadEndsWithTheResumedCode) {
    const std::string body = qb::test::PatternBody(6000);
    ASSERT_TRUE(WriteFile("cont.bin", body.substr(0, 2500)));
    server_.addResponder(qb::test::rangeResponder(body));
    server_.addResponder(qb::test::rangeResponder(body));
    ASSERT_TRUE(server_.start());
    qb::test::AnswerMessageBox(IDOK);
    OpenOn("/cont.bin");
    ASSERT_TRUE(WaitForModals(1));
    EXPECT_EQ(File("cont.bin").value_or(""), body);
    EXPECT_EQ(CloseByUser(), kExitResumed);
}

// Closed while the body is still coming: the worker is ended before the window goes, the
// connection and the file are closed, every byte received is in the file, and the caller
// learns that the window was closed early.
TEST_F(AutomaticShown, CloseDuringTheTransferKeepsThePartAndReportsClosedEarly) {
    const std::string part = qb::test::PatternBody(700);
    server_.addReply(Reply()
                         .send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + part)
                         .stall(qb::test::Millis{20000}));
    ASSERT_TRUE(server_.start());
    OpenOn("/slow.bin");
    ASSERT_TRUE(qb::test::PumpUntil(
        [this] { return server_.waitForStalls(1, qb::test::Millis{0}); }, 10000));
    ASSERT_TRUE(qb::test::PumpUntil(
        [] { return gTransfer.received.load(std::memory_order_relaxed) >= 640; }, 10000));
    EXPECT_EQ(CloseByUser(), kExitWindowClosedEarly);
    EXPECT_FALSE(gFileStream->IsOpen());
    EXPECT_FALSE(gHttpClient->IsOpen());
    EXPECT_EQ(gTransfer.dialog, nullptr);
    EXPECT_TRUE(qb::test::ModalHistory().empty());
    EXPECT_EQ(File("slow.bin").value_or(""), part);
    ASSERT_TRUE(server_.waitForFinished(1)); // the stall ended: the client closed its end
    EXPECT_TRUE(server_.connection(0)->peerClosed);
}

TEST_F(AutomaticShown, CloseBeforeTheTransferStartsReportsClosedEarly) {
    server_.addReply(qb::test::okReply("never fetched"));
    ASSERT_TRUE(server_.start());
    OpenOn("/early.bin");
    // The close arrives before the Start the dialog posted to itself is handled.
    SendMessageW(dialog_, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_EQ(TakeQuitCode(), kExitWindowClosedEarly);
    EXPECT_FALSE(server_.waitForConnections(1, qb::test::Millis{300}));
    EXPECT_FALSE(File("early.bin").has_value());
}

// The messages are shown instead of ending the program; a failure found by the start step
// keeps its own code when the user closes the window, one found while receiving does not.
TEST_F(AutomaticShown, FailuresAreShownAndTheCloseDecidesTheCode) {
    struct Case {
        const char* what;
        const char* path;
        Reply reply;
        const char16_t* message;
        int exitCode;
        std::vector<Reply> tries = {}; // the answers to the retries (Retry = their number)
        std::string kept = {};         // the file afterwards, when it matters
    } cases[] = {
        {"refused status", "/fail.bin",
         Reply().send(qb::test::httpResponse(404, "Not Found", {}, "")),
         u"Failed to connect to HTTP server. 404 Not Found", kExitNetworkFailed},
        // Blanks after the URL are trimmed; a proxy that wants credentials says so.
        {"407 answered", "/proxy.bin \t",
         Reply().send(qb::test::httpResponse(407, "Proxy Authentication Required", {}, "")),
         u"Failed to connect to HTTP server. The proxy requires credentials.", kExitNetworkFailed},
        {"short body", "/fail.bin",
         Reply().send("HTTP/1.0 200 OK\r\nContent-Length: 900\r\n\r\nonly this"),
         u"Error occurred in receiving. There might be some trouble on network or server.",
         kExitWindowClosedEarly},
        // The server's name is empty: automatic mode has one text for both file-name failures.
        {"no file name", "/", Reply().send(qb::test::httpResponse(200, "OK", {}, "x")),
         u"File Name cannot be determined. Set user File Name.", kExitNoFileName},
        // A retry answered with the whole resource: as for an existing file at the start,
        // the window says the server can't resume, and the part stays as it was.
        {"whole body to a retry",
         "/whole.bin",
         Reply()
             .send("HTTP/1.0 200 OK\r\nContent-Length: 900\r\n\r\n" + std::string(300, 'p'))
             .pause(qb::test::Millis{300})
             .reset(),
         u"HTTP server doesn't support resume download.",
         kExitWindowClosedEarly,
         {qb::test::okReply(std::string(900, 'w'))},
         std::string(300, 'p')},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        qb::test::ScriptedServer server;
        server.addReply(c.reply);
        for (const Reply& reply : c.tries) server.addReply(reply);
        gRetry = static_cast<LONG>(c.tries.size());
        ASSERT_TRUE(server.start());
        gUrl.AssignWide(qb::test::Wide(Url(server.port(), c.path)).c_str());
        qb::test::AnswerMessageBox(IDOK);
        Open(AutomaticDialogProc);
        ASSERT_TRUE(WaitForModals(1));
        EXPECT_EQ(qb::test::ModalHistory()[0].title, u"ERROR");
        EXPECT_EQ(qb::test::ModalHistory()[0].text, c.message);
        qb::test::Pump(); // the Stop the failure posted
        EXPECT_TRUE(Enabled(IDC_START));
        EXPECT_EQ(CloseByUser(), c.exitCode);
        if (!c.kept.empty()) {
            EXPECT_EQ(File(c.path + 1).value_or(""), c.kept);
        }
    }
    gRetry = kDefaultRetry;
}

// Resume=0 with the window shown asks; the answer decides the file and the code.
TEST_F(AutomaticShown, ExistingFileWithoutResumeAsksTheQuestion) {
    const std::string body = qb::test::PatternBody(4000);
    ASSERT_TRUE(WriteFile("asked.bin", std::string(10000, 'x')));
    gResume = FALSE;
    server_.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server_.start());
    qb::test::AnswerDialog(kFileExistsOverwrite,
                           qb::test::DialogTemplate(nullptr, IDD_FILE_EXISTS_EN));
    qb::test::AnswerMessageBox(IDOK);
    OpenOn("/asked.bin");
    ASSERT_TRUE(WaitForModals(2));
    EXPECT_EQ(qb::test::ModalHistory()[1].title, u"Notification");
    EXPECT_EQ(File("asked.bin").value_or(""), body);
    EXPECT_EQ(CloseByUser(), kExitDownloaded);
}

// The question has no owner: the caller's window can be closed while it is up. Nothing is
// started for a window that is gone, the file stays as it was, and the code says closed early.
TEST_F(AutomaticShown, CloseWhileTheQuestionIsUpReportsClosedEarly) {
    ASSERT_TRUE(WriteFile("kept.bin", "old content"));
    gResume = FALSE;
    server_.addReply(qb::test::okReply(qb::test::PatternBody(30000)));
    ASSERT_TRUE(server_.start());
    HWND* mainDialog = &dialog_;
    qb::test::DriveDialog(
        [mainDialog](HWND w) {
            SendMessageW(*mainDialog, WM_COMMAND, IDCANCEL, 0);
            SendMessageW(w, WM_COMMAND, IDC_OVERWRITE, 0);
        },
        qb::test::DialogTemplate(nullptr, IDD_FILE_EXISTS_EN));
    OpenOn("/kept.bin");
    ASSERT_TRUE(qb::test::PumpUntil([this] { return !IsWindow(dialog_); }, 10000));
    EXPECT_EQ(TakeQuitCode(), kExitWindowClosedEarly);
    EXPECT_FALSE(gFileStream->IsOpen());
    EXPECT_FALSE(gHttpClient->IsOpen());
    EXPECT_EQ(File("kept.bin").value_or(""), "old content");
}

} // namespace
