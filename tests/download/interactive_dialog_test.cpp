// The interactive main dialog in this process, driven through the test hook against the
// scripted server: a download to completion re-enables Start, and Stop while the server
// stalls ends the receive thread and leaves the part of the file received.
#include <gtest/gtest.h>

#include <string>

#include "app/AppState.h"
#include "app/MainDialogProcs.h"
#include "app/Startup.h"
#include "download/TransferState.h"
#include "http/HttpClient.h"
#include "http/PropertyList.h"
#include "qb/testhook.h"
#include "resources/resource.h"
#include "storage/FileStream.h"
#include "storage/FileSystem.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace {

using qb::test::Reply;

class InteractiveDialog : public ::testing::Test {
protected:
    void SetUp() override {
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        gHttpClient = new HttpClient;
        gFileStream = new FileStream;
        gFileSystem = new FileSystem;
        gDefaultHeaders = new PropertyList(nullptr);
        FillDefaultHeaders(gDefaultHeaders);
        dialog_ = CreateDialogIndirectParamW(
            nullptr, static_cast<LPCDLGTEMPLATEW>(qb::test::DialogTemplate(nullptr, IDD_MAIN_EN)),
            nullptr, InteractiveDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        if (IsWindow(dialog_)) DestroyWindow(dialog_);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {}
        delete gHttpClient;
        delete gFileStream;
        delete gFileSystem;
        delete gDefaultHeaders;
        gHttpClient = nullptr;
        gFileStream = nullptr;
        gFileSystem = nullptr;
        gDefaultHeaders = nullptr;
        qb::test::Reset();
    }
    void Fill(const std::string& path, const std::string& folder) {
        const std::string url = "http://127.0.0.1:" + std::to_string(server_.port()) + path;
        SetDlgItemTextW(dialog_, IDC_URL, std::u16string(url.begin(), url.end()).c_str());
        SetDlgItemTextW(dialog_, IDC_PATH, std::u16string(folder.begin(), folder.end()).c_str());
    }
    bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }

    HWND dialog_ = nullptr;
    qb::test::TempDir dir_{"qb-interactive"};
    qb::test::ScriptedServer server_;
};

TEST_F(InteractiveDialog, CompletionNoticeThenStartAgain) {
    const std::string body(5000, 'q');
    server_.addReply(qb::test::okReply(body));
    ASSERT_TRUE(server_.start());
    Fill("/done.bin", dir_.path());
    qb::test::AnswerMessageBox(IDOK);
    SendMessageW(dialog_, WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(qb::test::PumpUntil([] { return qb::test::PendingAnswers() == 0; }, 10000));
    const auto history = qb::test::ModalHistory();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].title, u"Notification");
    EXPECT_EQ(dir_.read("done.bin").value_or(""), body);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_PAUSE));
    EXPECT_FALSE(Enabled(IDC_STOP));
}

TEST_F(InteractiveDialog, StopWhileTheServerStallsKeepsThePart) {
    server_.addReply(
        Reply()
            .send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(300, 'p'))
            .stall(qb::test::Millis{20000}));
    ASSERT_TRUE(server_.start());
    Fill("/stalled.bin", dir_.path());
    SendMessageW(dialog_, WM_COMMAND, IDC_START, 0);
    ASSERT_TRUE(server_.waitForStalls(1));
    // Two whole pieces are in; the thread then blocks on the rest of the third.
    ASSERT_TRUE(qb::test::PumpUntil(
        [] { return gTransfer.received.load(std::memory_order_relaxed) >= 256; }, 10000));
    ASSERT_TRUE(Enabled(IDC_STOP));
    // Pause and resume on the way: the thread obeys both.
    SendMessageW(dialog_, WM_COMMAND, IDC_PAUSE, 0);
    SendMessageW(dialog_, WM_COMMAND, IDC_PAUSE, 0);
    SendMessageW(dialog_, WM_COMMAND, IDC_STOP, 0); // waits for the blocked thread
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_FALSE(gFileStream->IsOpen());
    EXPECT_FALSE(gHttpClient->IsOpen());
    qb::test::Pump(); // messages posted before the stop are dropped
    EXPECT_TRUE(qb::test::ModalHistory().empty());
    // What the cut read brought is written too.
    const std::string part = dir_.read("stalled.bin").value_or("");
    EXPECT_GE(part.size(), 256u);
    EXPECT_LE(part.size(), 300u);
    EXPECT_EQ(part, std::string(part.size(), 'p'));
}

} // namespace
