// The interactive main dialog in this process, driven through the test hook against the
// scripted server: completion re-enables Start, Stop and the close box while the server
// stalls end the receive thread and keep the part received, the question about an existing
// file decides what the file holds afterwards, and a device that fills up is reported.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include <commctrl.h>

#include "core/ExitCodes.h"
#include "download/ProgressFormat.h"
#include "tests/download/main_dialog_fixture.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/scripted_server.h"
#include "tests/support/tmpfs_mount.h"
#include "ui/FileExists.h"

namespace {

// Far below the 20 s a stalling server holds the body back, far above what a Stop takes.
constexpr auto kStopLimit = std::chrono::seconds(10);

using qb::test::Reply;

class InteractiveDialog : public qb::test::MainDialogTest {
protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        Open(InteractiveDialogProc);
    }
    // A server that sends the head and `part`, then holds the connection.
    void ServeStalling(const std::string& part) {
        server_.addReply(Reply()
                             .send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + part)
                             .stall(qb::test::Millis{20000}));
        ASSERT_TRUE(server_.start());
    }

    qb::test::ScriptedServer server_;
};

TEST_F(InteractiveDialog, CompletionNoticeThenStartAgain) {
    const std::string body(5000, 'q');
    server_.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server_.start());
    Fill(server_.port(), "/done.bin", "\\files");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(1));
    const auto history = qb::test::ModalHistory();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].title, u"Notification");
    EXPECT_EQ(File("done.bin").value_or(""), body);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_PAUSE));
    EXPECT_FALSE(Enabled(IDC_STOP));
}

TEST_F(InteractiveDialog, StopWhileTheServerStallsKeepsThePart) {
    ServeStalling(std::string(300, 'p'));
    Fill(server_.port(), "/stalled.bin", "\\files");
    qb::test::SetTickCount(GetTickCount()); // from now the clock moves when the test says so
    Start();
    ASSERT_TRUE(server_.waitForStalls(1));
    // Everything that arrived is in (a piece is what the connection has); the thread then
    // blocks on the rest.
    ASSERT_TRUE(qb::test::PumpUntil(
        [] { return gTransfer.received.load(std::memory_order_relaxed) == 300; }, 10000));
    // The bytes at once; no speed or remaining time until a second is measured; then those
    // of a stall once no byte came for two seconds.
    qb::test::AdvanceTickCount(kProgressRefreshMs);
    ASSERT_TRUE(qb::test::PumpUntil(
        [this] { return qb::test::FieldText(dialog_, IDC_BYTES) == u"300/100000"; }, 5000));
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_REST_TIME), u"???");
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_SPEED), u"");
    qb::test::AdvanceTickCount(kStallMs);
    ASSERT_TRUE(qb::test::PumpUntil(
        [this] { return qb::test::FieldText(dialog_, IDC_SPEED) == u"0bps"; }, 5000));
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_REST_TIME), u"???");
    ASSERT_TRUE(Enabled(IDC_STOP));
    // Pause and resume on the way: the thread obeys both.
    SendMessageW(dialog_, WM_COMMAND, IDC_PAUSE, 0);
    SendMessageW(dialog_, WM_COMMAND, IDC_PAUSE, 0);
    const auto stopped = std::chrono::steady_clock::now();
    SendMessageW(dialog_, WM_COMMAND, IDC_STOP, 0); // waits for the blocked thread
    // The Stop shuts the connection down rather than wait for the server's stall to end.
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, kStopLimit);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_FALSE(gFileStream->IsOpen());
    EXPECT_FALSE(gHttpClient->IsOpen());
    // Only what the file holds stays on the screen.
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_BYTES), u"300/100000");
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_FILE_NAME), u"stalled.bin");
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_REST_TIME), u"");
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_SPEED), u"");
    qb::test::Pump(); // messages posted before the stop are dropped
    EXPECT_TRUE(qb::test::ModalHistory().empty());
    // Everything that came is in the file.
    EXPECT_EQ(File("stalled.bin").value_or(""), std::string(300, 'p'));
}

// A Start empties every figure of the download before it: a later try that fails shows
// nothing of the one that completed.
TEST_F(InteractiveDialog, ALaterFailedTryShowsNothingOfTheLastTransfer) {
    server_.addReply(qb::test::okReply(std::string(5000, 'q')));
    ASSERT_TRUE(server_.start());
    Fill(server_.port(), "/done.bin", "\\files");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(1));
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_BYTES), u"5000/5000");
    EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_GETPOS, 0, 0), 100);
    // Nobody listens on port 9 of the loopback.
    SetDlgItemTextW(dialog_, IDC_URL, TEXT("http://127.0.0.1:9/done.bin"));
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(2));
    for (const int id : {IDC_BYTES, IDC_REST_TIME, IDC_SPEED, IDC_FILE_NAME}) {
        EXPECT_EQ(qb::test::FieldText(dialog_, id), u"") << id;
    }
    EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_GETPOS, 0, 0), 0);
}

// The close box while the body is coming: the thread is ended before the window goes,
// file and connection are closed, everything received is in the file, the exit code is 0.
TEST_F(InteractiveDialog, CloseBoxDuringTheTransferEndsTheWorkerFirst) {
    const std::string part = qb::test::PatternBody(384);
    ServeStalling(part);
    Fill(server_.port(), "/closed.bin", "\\files");
    Start();
    ASSERT_TRUE(server_.waitForStalls(1));
    ASSERT_TRUE(qb::test::PumpUntil(
        [] { return gTransfer.received.load(std::memory_order_relaxed) == 384; }, 10000));
    qb::test::ClickCloseBox(dialog_);
    ASSERT_TRUE(qb::test::PumpUntil([this] { return !IsWindow(dialog_); }, 5000));
    EXPECT_EQ(TakeQuitCode(), kExitInteractive);
    EXPECT_FALSE(gFileStream->IsOpen());
    EXPECT_FALSE(gHttpClient->IsOpen());
    EXPECT_EQ(gTransfer.dialog, nullptr);
    EXPECT_TRUE(qb::test::ModalHistory().empty());
    EXPECT_EQ(File("closed.bin").value_or(""), part);
    ASSERT_TRUE(server_.waitForFinished(1));
    EXPECT_TRUE(server_.connection(0)->peerClosed);
}

// The question asked by the start step when the target exists, answered by clicking: the
// file afterwards, byte for byte, and what was asked of the server.
TEST_F(InteractiveDialog, ExistingFileQuestionDecidesTheFile) {
    const std::string body = qb::test::PatternBody(7000);
    const std::string old = body.substr(0, 3000);
    const std::string other = std::string(9000, 'x');
    struct Case {
        const char* what;
        std::string before;
        int button;
        bool honourRanges;
        std::string after;
        const char16_t* message; // the last box shown
        size_t requests;
    } cases[] = {
        {"resume", old, IDC_RESUME, true, body, u"Finished receiving a file via HTTP.", 2},
        {"overwrite", other, IDC_OVERWRITE, true, body, u"Finished receiving a file via HTTP.", 1},
        {"cancel", old, IDCANCEL, true, old, nullptr, 1},
        {"resume refused", old, IDC_RESUME, false, old,
         u"HTTP server doesn't support resume download.", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        ASSERT_TRUE(WriteFile("exists.bin", c.before));
        qb::test::ScriptedServer server;
        server.addResponder(qb::test::rangeResponder(body, {c.honourRanges, {}}));
        server.addResponder(qb::test::rangeResponder(body, {c.honourRanges, {}}));
        ASSERT_TRUE(server.start());
        Fill(server.port(), "/exists.bin", "\\files");
        HWND question = nullptr;
        const int button = c.button;
        qb::test::DriveDialog(
            [&question, button](HWND w) {
                question = w;
                qb::test::ClickWindow(GetDlgItem(w, button));
            },
            qb::test::DialogTemplate(nullptr, IDD_FILE_EXISTS_EN));
        if (c.message != nullptr) qb::test::AnswerMessageBox(IDOK);
        Start();
        ASSERT_TRUE(WaitForModals(c.message != nullptr ? 2 : 1));
        qb::test::PumpUntil([this] { return Enabled(IDC_START); }, 5000);
        const auto history = qb::test::ModalHistory();
        EXPECT_NE(question, nullptr);
        EXPECT_EQ(history[0].title, u"Question");
        EXPECT_FALSE(history[0].abandoned);
        if (c.message != nullptr) {
            EXPECT_EQ(history.back().text, c.message);
        }
        EXPECT_TRUE(Enabled(IDC_START));
        EXPECT_FALSE(gFileStream->IsOpen());
        EXPECT_EQ(File("exists.bin").value_or("<none>"), c.after);
        server.stop();
        EXPECT_EQ(server.connectionCount(), c.requests);
        if (c.requests == 2 && c.honourRanges) {
            EXPECT_NE(server.request(1).find("Range: bytes=3000-"), std::string::npos)
                << server.request(1);
        }
    }
}

// A failed start shows its message once. A connection failure leaves the dialog as it was
// (the last download's count stays); a file-name failure ends the attempt with Stop.
TEST_F(InteractiveDialog, StartFailuresShowTheirMessageOnce) {
    struct Case {
        const char* what;
        const char* path;
        int status;
        const char16_t* message;
        bool stopped;
    } cases[] = {
        {"refused status", "/fail.bin", 404, u"Failed to connect to HTTP server. 404 Reason",
         false},
        {"empty server name", "/", 200, u"Can't solve filename to save. Set user filename.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        qb::test::ScriptedServer server;
        server.addReply(Reply().send(qb::test::httpResponse(c.status, "Reason", {}, "x")));
        ASSERT_TRUE(server.start());
        Fill(server.port(), c.path, "\\files");
        // A mark set while the message is up: a Stop posted after it empties the field.
        qb::test::DriveMessageBox([this](HWND) {
            SetDlgItemTextW(dialog_, IDC_BYTES, u"10/10");
            qb::test::PressKey(qb::render::Key::kEnter);
        });
        Start();
        ASSERT_TRUE(WaitForModals(1));
        qb::test::Pump(); // a posted Stop, if any
        ASSERT_EQ(qb::test::ModalHistory().size(), 1u);
        EXPECT_EQ(qb::test::ModalHistory()[0].text, c.message);
        EXPECT_EQ(qb::test::FieldText(dialog_, IDC_BYTES), c.stopped ? u"" : u"10/10");
        EXPECT_TRUE(Enabled(IDC_START));
        EXPECT_FALSE(Enabled(IDC_STOP));
    }
}

// The question has no owner, so the main window can be closed while it is up. The start
// step must then not go on into a download for a window that is gone.
TEST_F(InteractiveDialog, ClosingTheWindowWhileTheQuestionIsUpStartsNothing) {
    const std::string body = qb::test::PatternBody(50000);
    ASSERT_TRUE(WriteFile("asked.bin", "old"));
    server_.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server_.start());
    Fill(server_.port(), "/asked.bin", "\\files");
    HWND mainDialog = dialog_;
    qb::test::DriveDialog(
        [mainDialog](HWND w) {
            SendMessageW(mainDialog, WM_COMMAND, IDCANCEL, 0);
            SendMessageW(w, WM_COMMAND, IDC_OVERWRITE, 0);
        },
        qb::test::DialogTemplate(nullptr, IDD_FILE_EXISTS_EN));
    Start();
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_EQ(TakeQuitCode(), kExitInteractive);
    // No receive thread works on the shared objects any more: they can go.
    EXPECT_FALSE(gFileStream->IsOpen());
    EXPECT_FALSE(gHttpClient->IsOpen());
    EXPECT_EQ(File("asked.bin").value_or(""), "old");
}

// A device that takes fewer bytes than the body: the platform keeps the writes back, so the
// failure may show only when the file is committed at the end. That is the storage message,
// not completion, and the part stays.
TEST_F(InteractiveDialog, FullDeviceAtTheLastCommitIsAStorageError) {
    const std::string body = qb::test::PatternBody(3000);
    server_.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server_.start());
    Fill(server_.port(), "/full.bin", "\\files");
    qb::test::AnswerMessageBox(IDOK);
    {
        qb::test::FileSizeLimit limit(2048);
        ASSERT_TRUE(limit.set());
        Start();
        ASSERT_TRUE(WaitForModals(1));
        qb::test::PumpUntil([this] { return Enabled(IDC_START); }, 5000);
    }
    EXPECT_EQ(qb::test::ModalHistory()[0].text,
              u"Error occurred in receiving. It seems that there is not enough storage area.");
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(gFileStream->IsOpen());
    const std::string part = File("full.bin").value_or("");
    EXPECT_LT(part.size(), body.size());
    EXPECT_EQ(part, body.substr(0, part.size()));
}

// A device that really fills up (a 64 KiB tmpfs) under a longer body: while the failure is
// shown, the Bytes figure is what the file holds, not what was read (a piece whose write
// failed is not counted).
TEST_F(InteractiveDialog, TheBytesShownAtAFullDeviceAreThoseInTheFile) {
    constexpr uint64_t kRoom = 65536;
    const std::string body = qb::test::PatternBody(300000);
    qb::test::TmpfsMount device(dir_.file("root/files"), kRoom);
    if (!device.mounted()) GTEST_SKIP() << device.error();
    server_.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server_.start());
    Fill(server_.port(), "/full.bin", "\\files");
    std::u16string shown;
    qb::test::DriveMessageBox([this, &shown](HWND) {
        shown = qb::test::FieldText(dialog_, IDC_BYTES);
        qb::test::PressKey(qb::render::Key::kEnter);
    });
    Start();
    ASSERT_TRUE(WaitForModals(1));
    qb::test::PumpUntil([this] { return Enabled(IDC_START); }, 5000);
    EXPECT_EQ(qb::test::ModalHistory()[0].text,
              u"Error occurred in receiving. It seems that there is not enough storage area.");
    EXPECT_FALSE(gFileStream->IsOpen());
    const std::string part = File("full.bin").value_or("");
    EXPECT_EQ(part, body.substr(0, part.size()));
    EXPECT_EQ(shown, qb::test::Wide(std::to_string(part.size()) + "/300000"));
}

} // namespace

// Which try is under way, in the system language, until the first new byte brings the
// ordinary figures back.
TEST_F(InteractiveDialog, RetryingShowsWhichTryInBothLanguages) {
    struct Case {
        const char* lang;
        DWORD attempt;
        std::u16string shown;
    };
    const Case cases[] = {
        {"en_US.UTF-8", 1, u"Retrying 1/3"},
        {"en_US.UTF-8", 3, u"Retrying 3/3"},
        {"ja_JP.UTF-8", 2, u"再試行中 2/3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        env_.set("LANG", c.lang);
        gTransfer.retries = 3;
        // Bytes from before the failure that no redraw has seen yet.
        gTransfer.received.fetch_add(64, std::memory_order_relaxed);
        ShowRetrying(dialog_, c.attempt);
        EXPECT_EQ(qb::test::FieldText(dialog_, IDC_REST_TIME), c.shown);
        gTransfer.received.fetch_add(128, std::memory_order_relaxed);
        ShowProgress(dialog_);
        EXPECT_EQ(gTransfer.retrying, 0u);
        EXPECT_NE(qb::test::FieldText(dialog_, IDC_REST_TIME), c.shown);
    }
}

// The speed is the rate over the window of unpaused time: nothing in the first span after a
// start (its bytes waited in the buffers), then the bytes over the time measured; a count
// that fell below the last one (the file started over with the whole body) counts from
// nothing. The remaining time comes from the same rate.
TEST_F(InteractiveDialog, SpeedIsTheWindowsRateAndCountsFromNothingAfterAStartOver) {
    qb::test::SetTickCount(GetTickCount());
    gTransfer.totalSize.store(100000, std::memory_order_relaxed);
    gTransfer.received.store(1000, std::memory_order_relaxed);
    RestartSpeed(dialog_);
    gTransfer.received.store(9000, std::memory_order_relaxed); // the buffers' burst
    qb::test::AdvanceTickCount(kSpeedSettleMs);
    ShowProgress(dialog_);
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_SPEED), u"");
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_REST_TIME), u"???");
    gTransfer.received.store(9512, std::memory_order_relaxed);
    qb::test::AdvanceTickCount(1000);
    ShowProgress(dialog_);
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_SPEED), u"4.0kbps");
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_REST_TIME), u"2m56s"); // 90 488 / 512
    gTransfer.received.store(256, std::memory_order_relaxed);
    qb::test::AdvanceTickCount(1000);
    ShowProgress(dialog_);
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_SPEED), u"3.0kbps"); // 768 bytes in 2 s
}

// A first request answered with a 5xx is tried again after the retry delay, with Stop
// enabled meanwhile; Stop ends the waiting, and no later try or message follows.
TEST_F(InteractiveDialog, AFailedFirstRequestWaitsForItsNextTryUntilStop) {
    server_.addReply(Reply().send("HTTP/1.0 503 Busy\r\nContent-Length: 0\r\n\r\n"));
    server_.addReply(Reply().send("HTTP/1.0 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n"));
    ASSERT_TRUE(server_.start());
    qb::test::UseRealTime(); // the retry delays run on the dialog's timer
    gRetry = 2;
    Fill(server_.port(), "/busy.bin", "\\files");
    Start();
    EXPECT_EQ(qb::test::FieldText(dialog_, IDC_REST_TIME), u"Retrying 1/2");
    EXPECT_TRUE(Enabled(IDC_STOP));
    ASSERT_TRUE(qb::test::PumpUntil([this] { return server_.connectionCount() == 2; }, 5000));
    ASSERT_TRUE(qb::test::PumpUntil(
        [this] { return qb::test::FieldText(dialog_, IDC_REST_TIME) == u"Retrying 2/2"; }, 5000));
    SendMessageW(dialog_, WM_COMMAND, IDC_STOP, 0);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    // Longer than the second delay: nothing more is asked or shown.
    qb::test::PumpUntil([] { return false; }, 2500);
    EXPECT_EQ(server_.connectionCount(), 2u);
    EXPECT_TRUE(qb::test::ModalHistory().empty());
}
