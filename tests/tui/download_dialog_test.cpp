// The program's own dialog in a terminal, driven through tmux as a person would: a real file
// fetched from nginx, and Pause, Resume and Stop against a server that sends slowly and then
// stalls. Each run has its own sandbox device and registry, and ends by closing the dialog.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/nginx_server.h"
#include "tests/support/process.h"
#include "tests/support/sanitized_build.h"
#include "tests/support/script_file.h"
#include "tests/support/scripted_server_process.h"
#include "tests/support/temp_dir.h"
#include "tests/tui/pane_text.h"
#include "tests/tui/tmux_session.h"

namespace qb::test {
namespace {

// Generous for sanitizer builds; a pass takes a fraction of it.
constexpr Millis kWait{10000};
// How long a paused transfer must stay where it is while the server's bytes wait unread.
constexpr Millis kHold{500};
constexpr int kColumns = 80;
constexpr int kRows = 25;
constexpr const char* kUrlPrefix = "http://"; // the URL field's first text
constexpr const char* kFolder = "\\dl";       // typed into the folder field

// What a person reads in each language: the locale, the completion notice, the buttons.
struct Texts {
    const char* name;
    const char* lang;
    const char* notice;
    const char* noticeTitle;
    std::vector<std::string> buttons; // Start, Pause, Resume, Stop
    const char* bytes;                // the label of the received bytes
    const char* speed;                // the label of the speed
    const char* tooSmall;             // the line shown when the terminal is too small
    const char* browserTitle;         // the folder browser's
    const char* question;             // the file-exists question's
};
const Texts kEnglish{"English",
                     "C",
                     "Finished receiving a file via HTTP.",
                     "Notification",
                     {"Start", "Pause", "Resume", "Stop"},
                     "Bytes",
                     "Speed",
                     "Terminal too small (36x14)",
                     "Open Folder",
                     "This file already exists."};
const Texts kJapanese{"Japanese",
                      "ja_JP.UTF-8",
                      "ファイルの受信を完了しました。",
                      "通知",
                      // "一時停止" is wider than its button: cut inside the brackets
                      {"開始", "[一時停 ]", "再開", "中断"},
                      "バイト数",
                      "転送速度",
                      "端末が小さすぎます (36x14)",
                      "フォルダを開く",
                      "既にファイルが存在します"};
constexpr const char* kNotice = "Finished receiving a file via HTTP.";

// The slow server: the header, then kSlowPieces pieces of kSlowPieceSize bytes kSlowGapMs
// apart (each more than the 100 ms between progress reports, so every piece is shown), then
// a stall, then the rest of the body: more than one receive piece (64 KiB), so that the read
// under way when Pause comes can't take all of it.
constexpr size_t kSlowTotal = 200000;
constexpr size_t kSlowPieceSize = 128;
constexpr size_t kSlowPieces = 3;
constexpr size_t kSlowFirstPart = kSlowPieceSize * kSlowPieces;
constexpr int kSlowGapMs = 200;
constexpr int kStallMs = 30000; // far beyond kWait: only the client can end it in time

// Every byte value, in an order that shows a shifted or repeated block.
std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 167 + (i >> 8) * 13) & 0xFF);
    return body;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

std::string Trim(const std::string& s) {
    size_t first = s.find_first_not_of(' ');
    size_t last = s.find_last_not_of(' ');
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

// The value shown right of a label inside the dialog ("Bytes", "FileName" ...).
std::string FieldText(const std::string& pane, const std::string& label) {
    const std::string side = "│";
    for (const std::string& line : PaneLines(pane)) {
        size_t at = line.find(side + label);
        if (at == std::string::npos) continue;
        std::string rest = line.substr(at + side.size() + label.size());
        size_t end = rest.find(side);
        return Trim(rest.substr(0, end));
    }
    return "<no " + label + ">";
}

size_t Count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

// The progress bar's filled and empty cells.
struct Bar {
    size_t filled = 0;
    size_t empty = 0;
};

Bar ProgressBar(const std::string& pane) {
    for (const std::string& line : PaneLines(pane)) {
        Bar bar{Count(line, "█"), Count(line, "░")};
        if (bar.filled + bar.empty > 0) return bar;
    }
    return {};
}

// Whether the text is drawn greyed out, as disabled controls are: the colour in effect where
// it begins in the line of the pane captured with its attributes.
bool LooksDisabled(const std::string& attributed, const std::string& text) {
    for (const std::string& line : PaneLines(attributed)) {
        size_t at = line.find(text);
        if (at == std::string::npos) continue;
        bool grey = false;
        for (size_t i = 0; i < at; ++i) {
            if (line[i] != '\033' || i + 1 >= at || line[i + 1] != '[') continue;
            size_t end = line.find('m', i);
            if (end == std::string::npos || end > at) break;
            std::string params = line.substr(i + 2, end - i - 2);
            std::vector<int> codes;
            for (size_t p = 0; p <= params.size();) {
                size_t semi = params.find(';', p);
                if (semi == std::string::npos) semi = params.size();
                codes.push_back(std::atoi(params.substr(p, semi - p).c_str()));
                p = semi + 1;
            }
            for (size_t c = 0; c < codes.size(); ++c) {
                if (codes[c] == 38 || codes[c] == 48) break; // extended colours: not grey
                if (codes[c] == 0 || codes[c] == 39 || codes[c] == 22) grey = false;
                if (codes[c] == 90 || codes[c] == 2) grey = true;
            }
            i = end;
        }
        return grey;
    }
    return false;
}

// The three buttons as they look: the label, with "-" before it when disabled.
std::string Buttons(const std::string& attributed, const Texts& texts = kEnglish) {
    std::string out;
    for (const std::string& label : texts.buttons) {
        if (attributed.find(label) == std::string::npos) continue;
        if (!out.empty()) out += " ";
        out += (LooksDisabled(attributed, label) ? "-" : "") + std::string(label);
    }
    return out;
}

// One run of the program in interactive mode in a pane, inside a shell that reports its
// exit status and keeps the pane alive.
class DialogRun {
public:
    explicit DialogRun(const Texts& texts = kEnglish) : texts(texts) {
        ready_ = dir_.valid() && makeDirectories(dir_.file("root/dl"));
    }

    bool Start(int columns = kColumns, int rows = kRows) {
        if (!ready_) return false;
        // No desktop clipboard, whose URL would take the field. The program's process id goes
        // to a file (the shell execs it); the shell says whether the terminal modes came back.
        std::string command =
            "S=$(stty -g); ulimit -c 0; sh -c 'echo $$ >" + Quote(dir_.file("pid")) +
            "; exec \"$0\" \"$@\"' "
            "env -u LC_ALL -u LC_MESSAGES -u LC_CTYPE -u DISPLAY -u WAYLAND_DISPLAY LANG=" +
            std::string(texts.lang) + " QUILLBROOK_ROOT=" + Quote(dir_.file("root")) +
            " QUILLBROOK_REGISTRY=" + Quote(dir_.file("registry.reg")) + " " + Quote(QB_PROGRAM) +
            " 2>" + Quote(dir_.file("stderr")) +
            "; echo EXIT=$?; if [ \"$S\" = \"$(stty -g)\" ]; then echo STTY-SAME; "
            "else echo STTY-CHANGED; fi; read done";
        if (!tmux.Start(command, columns, rows)) return false;
        return tmux.WaitFor(
            [](const std::string& text) {
                return text.find(std::string("│") + kUrlPrefix + " ") != std::string::npos &&
                       text.find("\\My Documents") != std::string::npos;
            },
            kWait, &pane);
    }

    // Types the URL after the field's "http://" and the folder into the folder field (Tab
    // selects its text), then Tab past the browse button to Start and Space.
    void StartDownload(const std::string& url) {
        ASSERT_EQ(url.rfind(kUrlPrefix, 0), 0u) << url;
        ASSERT_TRUE(tmux.SendKeys({"End"}));
        ASSERT_TRUE(tmux.SendText(url.substr(std::string(kUrlPrefix).size())));
        ASSERT_TRUE(tmux.WaitForText("│" + url, kWait, &pane)) << pane;
        ASSERT_TRUE(tmux.SendKeys({"Tab"}));
        ASSERT_TRUE(tmux.SendText(kFolder));
        ASSERT_TRUE(tmux.WaitForText(std::string("│") + kFolder + " ", kWait, &pane)) << pane;
        EXPECT_EQ(Buttons(tmux.Capture(true), texts), Idle());
        ASSERT_TRUE(tmux.SendKeys({"Tab", "Tab", "Space"}));
    }

    // The buttons of a dialog with no transfer, as Buttons() shows them.
    std::string Idle() const {
        return texts.buttons[0] + " -" + texts.buttons[1] + " -" + texts.buttons[3];
    }

    bool WaitForField(const std::string& label, const std::string& value) {
        return tmux.WaitFor(
            [&](const std::string& text) { return FieldText(text, label) == value; }, kWait, &pane);
    }

    // Answers the completion notice with Enter; false when it never came or stayed.
    bool AcknowledgeNotice() {
        const std::string notice = texts.notice;
        if (!tmux.WaitForText(notice, kWait, &pane)) return false;
        if (pane.find(texts.noticeTitle) == std::string::npos) return false;
        if (!tmux.SendKeys({"Enter"})) return false;
        return tmux.WaitFor(
            [&](const std::string& text) { return text.find(notice) == std::string::npos; }, kWait,
            &pane);
    }

    // Escape closes the dialog; the program's exit status, -1 if it never ended.
    int CloseAndWait() {
        if (!tmux.SendKeys({"Escape"})) return -1;
        if (!tmux.WaitForText("EXIT=", kWait, &pane)) return -1;
        return std::atoi(pane.c_str() + pane.find("EXIT=") + 5);
    }

    bool WriteFile(const std::string& relative, const std::string& data) const {
        return dir_.write("root/" + relative, data);
    }

    bool MakeFolder(const std::string& relative) const {
        return makeDirectories(dir_.file("root/" + relative));
    }

    int Pid() const { return std::atoi(dir_.read("pid").value_or("-1").c_str()); }

    // Waits for the shell's report after the program ended; its exit status, -1 if none.
    int WaitForExit() {
        if (!tmux.WaitForText("STTY-", kWait, &pane)) return -1;
        return std::atoi(pane.c_str() + pane.find("EXIT=") + 5);
    }

    // The terminal as the shell had it: normal screen, cursor shown, mouse and keypad modes
    // off, the same stty settings, nothing of the dialog left.
    void ExpectTerminalGivenBack() {
        EXPECT_EQ(tmux.Format("#{alternate_on} #{cursor_flag} #{mouse_any_flag} "
                              "#{keypad_cursor_flag} #{keypad_flag}"),
                  "0 1 0 0 0");
        EXPECT_NE(pane.find("STTY-SAME"), std::string::npos) << pane;
        EXPECT_EQ(pane.find("Quillbrook"), std::string::npos) << pane;
    }

    std::optional<std::string> Downloaded(const std::string& name) const {
        return dir_.read("root/dl/" + name);
    }

    void ExpectNoSanitizerReport() const {
        std::string errors = dir_.read("stderr").value_or("");
        EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
    }

    const Texts& texts;
    TmuxSession tmux;
    std::string pane; // the last capture

private:
    TempDir dir_{"qb-tui-download"};
    bool ready_ = false;
};

class TerminalDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed (scripts/setup)";
    }
};

TEST_F(TerminalDownloadTest, RealFileFromNginxArrivesWhole) {
    if (!NginxServer::available()) GTEST_SKIP() << "nginx is not installed (scripts/setup)";
    const std::string body = Body(3u << 20);
    const std::string total = std::to_string(body.size());
    NginxServer nginx;
    ASSERT_TRUE(nginx.writeFile("tui.bin", body));
    ASSERT_TRUE(nginx.start()) << nginx.error();

    DialogRun run;
    ASSERT_TRUE(run.Start()) << run.pane;
    run.StartDownload(nginx.url("/tui.bin"));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(run.AcknowledgeNotice()) << run.pane;

    // What is left on the dialog: every byte of the total, the name, a full bar; ready for
    // the next download.
    ASSERT_TRUE(run.WaitForField("Bytes", total + "/" + total)) << run.pane;
    EXPECT_EQ(FieldText(run.pane, "FileName"), "tui.bin");
    EXPECT_EQ(FieldText(run.pane, "RestTime"), "0s");
    EXPECT_NE(FieldText(run.pane, "Speed").find("bps"), std::string::npos) << run.pane;
    Bar bar = ProgressBar(run.pane);
    EXPECT_GT(bar.filled, 0u) << run.pane;
    EXPECT_EQ(bar.empty, 0u) << run.pane;
    EXPECT_EQ(Buttons(run.tmux.Capture(true)), "Start -Pause -Stop");

    EXPECT_EQ(run.CloseAndWait(), 0) << run.pane;
    std::optional<std::string> file = run.Downloaded("tui.bin");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->size(), body.size());
    EXPECT_TRUE(*file == body) << "the downloaded bytes differ";
    // One request, asking for the bytes from 0 on (as every request does), answered whole.
    EXPECT_TRUE(nginx.waitForAccessLog("\"GET /tui.bin HTTP/1.0\" 206 " + total))
        << nginx.accessLog();
    EXPECT_EQ(Count(nginx.accessLog(), "GET /tui.bin"), 1u) << nginx.accessLog();
    run.ExpectNoSanitizerReport();
}

// Pause, Resume and Stop against the slow server. The program's receive thread reads only
// while the transfer runs, so what reaches the file tells what it did.
class TerminalSlowDownloadTest : public TerminalDownloadTest {
protected:
    void SetUp() override {
        TerminalDownloadTest::SetUp();
        if (IsSkipped()) return;
        const std::string head =
            "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kSlowTotal) + "\r\n\r\n";
        const std::string gap = std::to_string(kSlowGapMs);
        // One script line per source line.
        // clang-format off
        const std::string script =
            "connection\n"
            "send " + quoteBytes(head) + "\n"
            "pause " + gap + "\n"
            "send-pieces " + std::to_string(kSlowPieceSize) + " " + gap + " " +
                quoteBytes(body_.substr(0, kSlowFirstPart)) + "\n"
            "stall " + std::to_string(kStallMs) + "\n"
            "send " + quoteBytes(body_.substr(kSlowFirstPart)) + "\n";
        // clang-format on
        ASSERT_TRUE(server_.start(script)) << server_.error() << server_.errors();
    }

    // Starts the download, waits until the first part is shown, and presses Pause: focus went
    // back to the URL field when Start was disabled, so Pause is three Tabs away.
    void StartAndPause() {
        ASSERT_TRUE(run_.Start()) << run_.pane;
        run_.StartDownload("http://127.0.0.1:" + std::to_string(server_.port()) + "/slow.bin");
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(run_.WaitForField("Bytes", Shown(kSlowFirstPart))) << run_.pane;
        EXPECT_EQ(FieldText(run_.pane, "FileName"), "slow.bin");
        EXPECT_EQ(Buttons(run_.tmux.Capture(true)), "-Start Pause Stop");
        ASSERT_TRUE(run_.tmux.SendKeys({"Tab", "Tab", "Tab", "Space"}));
        ASSERT_TRUE(run_.tmux.WaitForText("[Resume ]", kWait, &run_.pane)) << run_.pane;
        EXPECT_EQ(Buttons(run_.tmux.Capture(true)), "-Start Resume Stop");
    }

    // Lets the server send the rest; the paused transfer must not take it.
    void ReleaseAndExpectHeld() {
        server_.release();
        ASSERT_TRUE(server_.waitForExit(kWait)) << "the server never sent the rest";
        bool moved = run_.tmux.WaitFor(
            [](const std::string& text) {
                return text.find(kNotice) != std::string::npos ||
                       FieldText(text, "Bytes") == Shown(kSlowTotal);
            },
            kHold, &run_.pane);
        EXPECT_FALSE(moved) << "the paused transfer went on\n" << run_.pane;
        EXPECT_NE(run_.pane.find("[Resume ]"), std::string::npos) << run_.pane;
    }

    // Stop (one Tab after Pause) gives the dialog back at once: idle buttons, the label back
    // to Pause, only what the file holds left (its bytes and name; the remaining time and
    // speed emptied). Then the dialog closes normally.
    void StopAndExpectIdle() {
        ASSERT_TRUE(run_.tmux.SendKeys({"Tab", "Space"}));
        ASSERT_TRUE(run_.WaitForField("RestTime", "")) << run_.pane;
        EXPECT_EQ(FieldText(run_.pane, "Speed"), "");
        EXPECT_EQ(FieldText(run_.pane, "FileName"), "slow.bin");
        const std::string bytes = FieldText(run_.pane, "Bytes");
        EXPECT_EQ(Buttons(run_.tmux.Capture(true)), "Start -Pause -Stop");
        EXPECT_EQ(run_.CloseAndWait(), 0) << run_.pane;
        std::optional<std::string> file = run_.Downloaded("slow.bin");
        ASSERT_TRUE(file.has_value());
        EXPECT_EQ(bytes, Shown(file->size()));
        run_.ExpectNoSanitizerReport();
    }

    static std::string Shown(size_t received) {
        return std::to_string(received) + "/" + std::to_string(kSlowTotal);
    }

    const std::string body_ = Body(kSlowTotal);
    ScriptedServerProcess server_;
    DialogRun run_;
};

TEST_F(TerminalSlowDownloadTest, PauseHoldsTheTransferUntilResumeFinishesIt) {
    StartAndPause();
    ASSERT_FALSE(HasFatalFailure());
    ReleaseAndExpectHeld();
    ASSERT_FALSE(HasFatalFailure());

    // The focus is still on the button, now labelled Resume.
    ASSERT_TRUE(run_.tmux.SendKeys({"Space"}));
    ASSERT_TRUE(run_.AcknowledgeNotice()) << run_.pane;
    ASSERT_TRUE(run_.WaitForField("Bytes", Shown(kSlowTotal))) << run_.pane;
    EXPECT_EQ(ProgressBar(run_.pane).empty, 0u) << run_.pane;
    EXPECT_EQ(Buttons(run_.tmux.Capture(true)), "Start -Pause -Stop");
    EXPECT_EQ(run_.CloseAndWait(), 0) << run_.pane;
    EXPECT_TRUE(run_.Downloaded("slow.bin") == body_) << "the downloaded bytes differ";
    run_.ExpectNoSanitizerReport();
}

TEST_F(TerminalSlowDownloadTest, StopDuringAStalledReadKeepsWhatArrived) {
    StartAndPause();
    ASSERT_FALSE(HasFatalFailure());
    // The receive thread is blocked reading from the stalled server; Stop must wake it.
    StopAndExpectIdle();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(run_.Downloaded("slow.bin") == body_.substr(0, kSlowFirstPart))
        << "the partial file is not the first part";
    // The program closed the connection, which ended the server's stall.
    EXPECT_TRUE(server_.waitForExit(kWait));
}

TEST_F(TerminalSlowDownloadTest, StopWhilePausedKeepsAPrefix) {
    StartAndPause();
    ASSERT_FALSE(HasFatalFailure());
    ReleaseAndExpectHeld();
    ASSERT_FALSE(HasFatalFailure());
    StopAndExpectIdle();
    ASSERT_FALSE(HasFatalFailure());
    // The read under way when Pause came may have brought one piece more.
    std::optional<std::string> file = run_.Downloaded("slow.bin");
    ASSERT_TRUE(file.has_value());
    EXPECT_GE(file->size(), kSlowFirstPart);
    EXPECT_LT(file->size(), kSlowTotal);
    EXPECT_TRUE(*file == body_.substr(0, file->size())) << "the partial file is no prefix";
}

// The speed field's value in bits per second as shown (its cut decimal makes it at most the
// value computed); -1 when it shows none.
double ShownBitsPerSecond(const std::string& speed) {
    const struct {
        const char* unit;
        double scale;
    } units[] = {{"Mbps", 1048576.0}, {"kbps", 1024.0}, {"bps", 1.0}};
    for (const auto& u : units) {
        size_t at = speed.find(u.unit);
        if (at != std::string::npos && at > 0) return std::atof(speed.c_str()) * u.scale;
    }
    return -1;
}

// The received count of the bytes field ("received/total"); -1 when empty.
long long ShownReceived(const std::string& bytes) {
    return bytes.empty() ? -1 : std::atoll(bytes.c_str());
}

// A location that sends at most this fast, so that a pause lets the socket buffers fill; in
// pieces of 16 KiB, so that the rate is even rather than a second's worth at once.
constexpr const char* kRateLimited = "location /s/ { limit_rate 256k; sendfile_max_chunk 16k; }";
constexpr size_t kRateLimitedSize = 8u << 20; // far more than the test lets arrive
// The pause after which the buffered bytes would show an absurd speed, and how long the
// speed is watched after Resume.
constexpr Millis kLongPause{3000};
constexpr Millis kWatchAfterResume{2500};
// The limit in bits per second.
constexpr double kRateLimitedBits = 256 * 1024 * 8;

NginxOptions RateLimitedNginx() {
    NginxOptions options;
    options.extraServerConfig = kRateLimited;
    return options;
}

// Both languages, for the cases a person meets in either.
class TerminalDialogInLanguage : public ::testing::TestWithParam<const Texts*> {
protected:
    void SetUp() override {
        if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed (scripts/setup)";
        if (!NginxServer::available()) GTEST_SKIP() << "nginx is not installed (scripts/setup)";
        ASSERT_TRUE(nginx_.writeFile("p.bin", body_));
        ASSERT_TRUE(nginx_.writeFile("s/a.bin", Body(kRateLimitedSize)));
        ASSERT_TRUE(nginx_.start()) << nginx_.error();
    }

    // Whether nothing was started for a while: no bytes shown, the buttons idle.
    bool StaysIdle(DialogRun& run) {
        bool moved = run.tmux.WaitFor(
            [&](const std::string& text) { return !FieldText(text, run.texts.bytes).empty(); },
            kHold, &run.pane);
        return !moved && Buttons(run.tmux.Capture(true), run.texts) == run.Idle();
    }

    const std::string body_ = Body(64u << 10);
    NginxServer nginx_{RateLimitedNginx()};
};

// After a long pause the bytes that waited in the socket's buffers arrive at once on Resume
// (and nginx catches up with its own limit). Every speed shown after Resume stays within 30%
// of the location's limit: the speed is taken over recent unpaused time, the burst left out.
TEST_P(TerminalDialogInLanguage, SpeedAfterALongPauseStaysWithinTheBytesSinceResume) {
    const Texts& texts = *GetParam();
    DialogRun run(texts);
    ASSERT_TRUE(run.Start()) << run.pane;
    run.StartDownload(nginx_.url("/s/a.bin"));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(run.tmux.WaitFor(
        [&](const std::string& text) {
            return ShownBitsPerSecond(FieldText(text, texts.speed)) > 0 &&
                   ShownReceived(FieldText(text, texts.bytes)) > 0;
        },
        kWait, &run.pane))
        << run.pane;
    // Pause (the focus went back to the URL field when Start was disabled).
    ASSERT_TRUE(run.tmux.SendKeys({"Tab", "Tab", "Tab", "Space"}));
    ASSERT_TRUE(run.tmux.WaitForText(texts.buttons[2], kWait, &run.pane)) << run.pane;
    std::this_thread::sleep_for(kLongPause); // the buffers fill while nothing is read
    run.pane = run.tmux.Capture();
    const long long paused = ShownReceived(FieldText(run.pane, texts.bytes));
    ASSERT_GT(paused, 0) << run.pane;

    ASSERT_TRUE(run.tmux.SendKeys({"Space"}));
    int speedsSeen = 0;
    std::string failures;
    run.tmux.WaitFor(
        [&](const std::string& text) {
            // Only what the dialog drew after it took the Resume: the button says Pause again.
            if (text.find(texts.buttons[2]) != std::string::npos) return false;
            double speed = ShownBitsPerSecond(FieldText(text, texts.speed));
            long long received = ShownReceived(FieldText(text, texts.bytes));
            if (speed < 0 || received < 0) return false;
            ++speedsSeen;
            if (speed > kRateLimitedBits * 1.3 || speed < kRateLimitedBits * 0.7)
                failures += FieldText(text, texts.speed) + " after " +
                            std::to_string(received - paused) + " bytes\n";
            return false;
        },
        kWatchAfterResume, &run.pane);
    EXPECT_GT(speedsSeen, 0) << "no speed shown after Resume\n" << run.pane;
    EXPECT_EQ(failures, "") << run.pane;

    // Stop (one Tab after Pause), then close.
    ASSERT_TRUE(run.tmux.SendKeys({"Tab", "Space"}));
    ASSERT_TRUE(run.WaitForField(texts.speed, "")) << run.pane;
    EXPECT_EQ(run.CloseAndWait(), 0) << run.pane;
    std::optional<std::string> file = run.Downloaded("a.bin");
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(*file == Body(kRateLimitedSize).substr(0, file->size()))
        << "the partial file is no prefix";
    run.ExpectNoSanitizerReport();
}

// A pasted URL lands in the focused field as text at once; the line break and the line after
// it press nothing. Pasted on the Start button, even a space and a line break press nothing.
TEST_P(TerminalDialogInLanguage, PasteIsTextAndPressesNoButton) {
    DialogRun run(*GetParam());
    ASSERT_TRUE(run.Start()) << run.pane;
    const std::string url = nginx_.url("/p.bin");
    ASSERT_TRUE(run.tmux.SendKeys({"End"}));
    ASSERT_TRUE(run.tmux.Paste(url.substr(std::string(kUrlPrefix).size()) + "\nhttp://x/\n"));
    ASSERT_TRUE(run.tmux.WaitForText("│" + url + " ", kWait, &run.pane)) << run.pane;
    EXPECT_EQ(run.pane.find("http://x/"), std::string::npos) << run.pane;
    EXPECT_TRUE(StaysIdle(run)) << run.pane;

    ASSERT_TRUE(run.tmux.SendKeys({"Tab"}));
    ASSERT_TRUE(run.tmux.SendText(kFolder));
    ASSERT_TRUE(run.tmux.WaitForText(std::string("│") + kFolder + " ", kWait, &run.pane));
    ASSERT_TRUE(run.tmux.SendKeys({"Tab", "Tab"})); // Start has the focus
    ASSERT_TRUE(run.tmux.Paste(" s\n"));
    EXPECT_TRUE(StaysIdle(run)) << run.pane;

    ASSERT_TRUE(run.tmux.SendKeys({"Space"}));
    ASSERT_TRUE(run.AcknowledgeNotice()) << run.pane;
    EXPECT_EQ(run.CloseAndWait(), 0) << run.pane;
    EXPECT_TRUE(run.Downloaded("p.bin") == body_) << "the downloaded bytes differ";
    run.ExpectNoSanitizerReport();
}

// Starts the rate-limited download and waits until bytes arrive.
void StartRateLimited(DialogRun& run, const NginxServer& nginx) {
    run.StartDownload(nginx.url("/s/a.bin"));
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    ASSERT_TRUE(run.tmux.WaitFor(
        [&](const std::string& text) {
            return ShownReceived(FieldText(text, run.texts.bytes)) > 0;
        },
        kWait, &run.pane))
        << run.pane;
}

// The main dialog's size in cells, frame included.
constexpr int kDialogColumns = 36;
constexpr int kDialogRows = 14;

// The lines of the pane that hold anything.
std::vector<std::string> LinesShown(const std::string& pane) {
    std::vector<std::string> shown;
    for (const std::string& line : PaneLines(pane))
        if (line.find_first_not_of(' ') != std::string::npos) shown.push_back(line);
    return shown;
}

// While the transfer runs the terminal grows and shrinks: the dialog is redrawn centred and
// whole each time; smaller than the dialog, one line says so, and the dialog comes back as
// soon as it fits. The transfer goes on throughout.
TEST_P(TerminalDialogInLanguage, ResizeDuringATransferKeepsTheDialogCentredAndWhole) {
    const Texts& texts = *GetParam();
    DialogRun run(texts);
    ASSERT_TRUE(run.Start()) << run.pane;
    StartRateLimited(run, nginx_);
    ASSERT_FALSE(HasFatalFailure());

    struct Size {
        int columns;
        int rows;
    };
    long long before = ShownReceived(FieldText(run.pane, texts.bytes));
    for (Size size : {Size{120, 40}, Size{30, 10}, Size{60, 20}, Size{36, 13}, Size{100, 30}}) {
        SCOPED_TRACE(std::to_string(size.columns) + "x" + std::to_string(size.rows));
        ASSERT_TRUE(run.tmux.Resize(size.columns, size.rows));
        const bool fits = size.columns >= kDialogColumns && size.rows >= kDialogRows;
        bool whole = false;
        ASSERT_TRUE(run.tmux.WaitFor(
            [&](const std::string& text) {
                if (!fits) {
                    // Exactly one line, which says so and what is needed.
                    std::vector<std::string> shown = LinesShown(text);
                    return shown.size() == 1 && shown[0].find(texts.tooSmall) != std::string::npos;
                }
                FrameCells frame = FindFrame(text, "Quillbrook", &whole);
                int width = frame.right - frame.left + 1;
                int height = frame.bottom - frame.top + 1;
                return whole && frame.left == (size.columns - width) / 2 &&
                       frame.top == (size.rows - height) / 2 &&
                       ShownReceived(FieldText(text, texts.bytes)) > before;
            },
            kWait, &run.pane))
            << run.pane;
        if (fits) before = ShownReceived(FieldText(run.pane, texts.bytes));
    }
    // Stop (the focus is still on the URL field: Pause is three Tabs away, Stop four).
    ASSERT_TRUE(run.tmux.SendKeys({"Tab", "Tab", "Tab", "Tab", "Space"}));
    ASSERT_TRUE(run.WaitForField(texts.speed, "")) << run.pane;
    ASSERT_TRUE(run.tmux.SendKeys({"Escape"}));
    EXPECT_EQ(run.WaitForExit(), 0) << run.pane;
    run.ExpectTerminalGivenBack();
    run.ExpectNoSanitizerReport();
}

// Every way out during a transfer gives the terminal back as the shell had it.
TEST_P(TerminalDialogInLanguage, EveryWayOutGivesTheTerminalBack) {
    const struct {
        const char* name;
        std::vector<std::string> keys; // typed, or
        int signal;                    // sent to the program
        int status;                    // what the shell reports
    } endings[] = {
        {"Escape", {"Escape"}, 0, 0},
        {"StopThenEscape", {"Tab", "Tab", "Tab", "Tab", "Space", "Escape"}, 0, 0},
        {"Terminate", {}, SIGTERM, 128 + SIGTERM},
        {"Crash", {}, SIGSEGV, 128 + SIGSEGV},
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        DialogRun run(*GetParam());
        ASSERT_TRUE(run.Start()) << run.pane;
        StartRateLimited(run, nginx_);
        ASSERT_FALSE(HasFatalFailure());
        if (ending.signal != 0) {
            ASSERT_GT(run.Pid(), 0);
            ASSERT_TRUE(qb::test::signalMainThread(run.Pid(), ending.signal));
        } else {
            ASSERT_TRUE(run.tmux.SendKeys(ending.keys));
        }
        int status = run.WaitForExit();
        if (ending.signal == SIGSEGV && kSanitizedBuild)
            EXPECT_NE(status, 0) << run.pane;
        else
            EXPECT_EQ(status, ending.status) << run.pane;
        run.ExpectTerminalGivenBack();
        if (ending.signal != SIGSEGV) run.ExpectNoSanitizerReport();
    }
}

// Whether the item after `before` (a tree line's lines and expander) is drawn highlighted,
// as a selected item is: the attribute sequences right before it set a blue background or
// reverse video.
bool LooksSelected(const std::string& attributed, const std::string& before,
                   const std::string& item) {
    for (const std::string& line : PaneLines(attributed)) {
        size_t at = line.find(before);
        if (at == std::string::npos) continue;
        std::string codes = ";";
        for (at += before.size(); line.compare(at, 2, "\033[") == 0;) {
            size_t end = line.find('m', at);
            if (end == std::string::npos) return false;
            codes += line.substr(at + 2, end - at - 2) + ";";
            at = end + 1;
        }
        return line.compare(at, item.size(), item) == 0 &&
               (codes.find(";44;") != std::string::npos || codes.find(";7;") != std::string::npos);
    }
    return false;
}

// The browser opens where the download goes: the target folder selected, the folders above
// it open, and My Documents first below the root, whatever the device root holds.
TEST_P(TerminalDialogInLanguage, FolderBrowserOpensAtTheTargetFolder) {
    const Texts& texts = *GetParam();
    DialogRun run(texts);
    ASSERT_TRUE(run.MakeFolder("dl/a/b"));
    ASSERT_TRUE(run.MakeFolder("zeta"));
    ASSERT_TRUE(run.Start()) << run.pane;
    ASSERT_TRUE(run.tmux.SendKeys({"Tab"}));
    ASSERT_TRUE(run.tmux.SendText("\\dl\\a\\b"));
    ASSERT_TRUE(run.tmux.WaitForText("│\\dl\\a\\b ", kWait, &run.pane)) << run.pane;
    ASSERT_TRUE(run.tmux.SendKeys({"Tab", "Space"})); // the browse button
    ASSERT_TRUE(run.tmux.WaitForText(texts.browserTitle, kWait, &run.pane)) << run.pane;

    std::vector<std::string> tree;
    for (const std::string& line : PaneLines(run.pane)) {
        size_t at = line.find("- \\");
        if (at == std::string::npos && tree.empty()) continue;
        size_t end = line.rfind("│");
        std::string item = Trim(line.substr(line.find("│") + std::string("│").size(),
                                            end - line.find("│") - std::string("│").size()));
        if (item.empty()) break;
        tree.push_back(item);
    }
    EXPECT_EQ(tree, (std::vector<std::string>{"- \\", "├+ My Documents", "├- dl", "│ └- a",
                                              "│   └+ b", "└+ zeta"}))
        << run.pane;
    EXPECT_TRUE(LooksSelected(run.tmux.Capture(true), "│   └+ ", "b")) << run.tmux.Capture(true);

    ASSERT_TRUE(run.tmux.SendKeys({"Escape"})); // the browser
    ASSERT_TRUE(run.tmux.WaitFor(
        [&](const std::string& text) { return text.find(texts.browserTitle) == std::string::npos; },
        kWait, &run.pane));
    EXPECT_EQ(run.CloseAndWait(), 0) << run.pane;
    run.ExpectNoSanitizerReport();
}

// After the file-exists question (whichever answer) and after the completion notice that may
// follow, the focus is back where it was before the box, the URL field's text untouched: the
// next key typed (a letter no button answers to) neither wipes the URL nor presses anything.
TEST_P(TerminalDialogInLanguage, FocusComesBackWhereItWasAfterEachBox) {
    const Texts& texts = *GetParam();
    struct Answer {
        const char* key; // what closes the question
        bool downloads;  // whether the notice follows
    };
    const Answer answers[] = {{"c", false}, {"Escape", false}, {"r", true}, {"o", true}};
    const std::string url = nginx_.url("/p.bin");
    for (const Answer& answer : answers) {
        SCOPED_TRACE(answer.key);
        DialogRun run(texts);
        ASSERT_TRUE(run.WriteFile("dl/p.bin", body_.substr(0, body_.size() / 2)));
        ASSERT_TRUE(run.Start()) << run.pane;
        run.StartDownload(url);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(run.tmux.WaitForText(texts.question, kWait, &run.pane)) << run.pane;
        ASSERT_TRUE(run.tmux.SendKeys({answer.key}));
        if (answer.downloads) {
            ASSERT_TRUE(run.AcknowledgeNotice()) << run.pane;
        }
        ASSERT_TRUE(run.tmux.WaitFor(
            [&](const std::string& text) {
                return text.find(texts.question) == std::string::npos &&
                       Buttons(run.tmux.Capture(true), texts) == run.Idle();
            },
            kWait, &run.pane))
            << run.pane << Buttons(run.tmux.Capture(true), texts);
        ASSERT_TRUE(run.tmux.SendText("x"));
        std::this_thread::sleep_for(kHold);
        run.pane = run.tmux.Capture();
        // The letter went into the URL field beside its text, which is whole.
        EXPECT_NE(run.pane.find(url), std::string::npos) << run.pane;
        EXPECT_EQ(run.pane.find("│x "), std::string::npos) << run.pane;
        EXPECT_EQ(Buttons(run.tmux.Capture(true), texts), run.Idle());
        EXPECT_EQ(run.CloseAndWait(), 0) << run.pane;
        if (answer.downloads) {
            EXPECT_TRUE(run.Downloaded("p.bin") == body_) << run.pane;
        }
        run.ExpectNoSanitizerReport();
    }
}

// Enter presses the focused button (Start), Alt and an underlined letter press that button of
// the question (Overwrite), and Enter presses the notice's default button.
TEST_P(TerminalDialogInLanguage, EnterAndAltLetterPressTheirButtons) {
    const Texts& texts = *GetParam();
    DialogRun run(texts);
    // Not a prefix of the body: a Resume instead of Overwrite would keep these bytes.
    ASSERT_TRUE(run.WriteFile("dl/p.bin", std::string(body_.size() / 3, 'z')));
    ASSERT_TRUE(run.Start()) << run.pane;
    const std::string url = nginx_.url("/p.bin");
    ASSERT_TRUE(run.tmux.SendKeys({"End"}));
    ASSERT_TRUE(run.tmux.SendText(url.substr(std::string(kUrlPrefix).size())));
    ASSERT_TRUE(run.tmux.SendKeys({"Tab"}));
    ASSERT_TRUE(run.tmux.SendText(kFolder));
    ASSERT_TRUE(run.tmux.WaitForText(std::string("│") + kFolder + " ", kWait, &run.pane));
    ASSERT_TRUE(run.tmux.SendKeys({"Tab", "Tab", "Enter"})); // Start has the focus
    ASSERT_TRUE(run.tmux.WaitForText(texts.question, kWait, &run.pane)) << run.pane;
    ASSERT_TRUE(run.tmux.SendKeys({"M-o"})); // Overwrite
    ASSERT_TRUE(run.AcknowledgeNotice()) << run.pane;
    EXPECT_EQ(run.CloseAndWait(), 0) << run.pane;
    EXPECT_TRUE(run.Downloaded("p.bin") == body_) << "not overwritten with the whole body";
    run.ExpectNoSanitizerReport();
}

INSTANTIATE_TEST_SUITE_P(Terminal, TerminalDialogInLanguage,
                         ::testing::Values(&kEnglish, &kJapanese),
                         [](const auto& info) { return std::string(info.param->name); });

} // namespace
} // namespace qb::test
