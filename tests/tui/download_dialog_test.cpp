// The program's own dialog in a terminal, driven through tmux, where the .case format
// (tests/e2e) cannot say what must hold: here, a bound that ties two fields of every screen
// drawn during a time window to the value one of them had before it. Everything a person does
// and sees that a case can state is in tests/e2e/cases 110-119.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"
#include "tests/tui/dialog_screen.h"
#include "tests/tui/tmux_session.h"

namespace qb::test {
namespace {

// Generous for sanitizer builds; a pass takes a fraction of it.
constexpr Millis kWait{10000};
constexpr int kColumns = 80;
constexpr int kRows = 25;
constexpr const char* kUrlPrefix = "http://"; // the URL field's first text
constexpr const char* kFolder = "\\dl";       // typed into the folder field

// What a person reads in each language.
struct Texts {
    const char* name;
    const char* lang;
    std::vector<std::string> buttons; // Start, Pause, Resume, Stop
    const char* bytes;                // the label of the received bytes
    const char* speed;                // the label of the speed
};
const Texts kEnglish{"English", "C", {"Start", "Pause", "Resume", "Stop"}, "Bytes", "Speed"};
const Texts kJapanese{"Japanese",
                      "ja_JP.UTF-8",
                      // "一時停止" is wider than its button: cut inside the brackets
                      {"開始", "[一時停 ]", "再開", "中断"},
                      "バイト数",
                      "転送速度"};

// Every byte value, in an order that shows a shifted or repeated block.
std::string body(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 167 + (i >> 8) * 13) & 0xFF);
    return bytes;
}

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

// The speed field's value in bits per second as shown (its cut decimal makes it at most the
// value computed); -1 when it shows none.
double shownBitsPerSecond(const std::string& speed) {
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

// One run of the program in interactive mode in a pane, inside a shell that reports its
// exit status and keeps the pane alive.
class DialogRun {
public:
    explicit DialogRun(const Texts& texts) : texts(texts) {
        ready_ = dir_.valid() && makeDirectories(dir_.file("root/dl"));
    }

    bool start() {
        if (!ready_) return false;
        // No desktop clipboard, whose URL would take the field.
        std::string command =
            "env -u LC_ALL -u LC_MESSAGES -u LC_CTYPE -u DISPLAY -u WAYLAND_DISPLAY LANG=" +
            std::string(texts.lang) + " QUILLBROOK_ROOT=" + quote(dir_.file("root")) +
            " QUILLBROOK_REGISTRY=" + quote(dir_.file("registry.reg")) + " " + quote(QB_PROGRAM) +
            " 2>" + quote(dir_.file("stderr")) + "; echo EXIT=$?; read done";
        if (!tmux.start(command, kColumns, kRows)) return false;
        return tmux.waitFor(
            [](const std::string& text) {
                return text.find(std::string("│") + kUrlPrefix + " ") != std::string::npos &&
                       text.find("\\My Documents") != std::string::npos;
            },
            kWait, &pane);
    }

    // Types the URL after the field's "http://" and the folder into the folder field (Tab
    // selects its text), then Tab past the browse button to Start and Space.
    void startDownload(const std::string& url) {
        ASSERT_EQ(url.rfind(kUrlPrefix, 0), 0u) << url;
        ASSERT_TRUE(tmux.sendKeys({"End"}));
        ASSERT_TRUE(tmux.sendText(url.substr(std::string(kUrlPrefix).size())));
        ASSERT_TRUE(tmux.waitForText("│" + url, kWait, &pane)) << pane;
        ASSERT_TRUE(tmux.sendKeys({"Tab"}));
        ASSERT_TRUE(tmux.sendText(kFolder));
        ASSERT_TRUE(tmux.waitForText(std::string("│") + kFolder + " ", kWait, &pane)) << pane;
        ASSERT_TRUE(tmux.sendKeys({"Tab", "Tab", "Space"}));
    }

    bool waitForField(const std::string& label, const std::string& value) {
        return tmux.waitFor(
            [&](const std::string& text) { return fieldText(text, label) == value; }, kWait, &pane);
    }

    // Escape closes the dialog; the program's exit status, -1 if it never ended.
    int closeAndWait() {
        if (!tmux.sendKeys({"Escape"})) return -1;
        if (!tmux.waitForText("EXIT=", kWait, &pane)) return -1;
        return std::atoi(pane.c_str() + pane.find("EXIT=") + 5);
    }

    std::optional<std::string> downloaded(const std::string& name) const {
        return dir_.read("root/dl/" + name);
    }

    void expectNoSanitizerReport() const {
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

// A location that sends at most this fast, so that a pause lets the socket buffers fill.
constexpr const char* kRateLimited = "location /s/ { limit_rate 256k; }";
constexpr size_t kRateLimitedSize = 8u << 20; // far more than the test lets arrive
// The pause after which the buffered bytes would show an absurd speed, and how long the
// speed is watched after Resume.
constexpr Millis kLongPause{3000};
constexpr Millis kWatchAfterResume{2500};
// The dialog's shortest speed span (download/ProgressFormat.h).
constexpr double kSpeedSpanSeconds = 0.5;
// Bytes the receive thread may count between the dialog's reading of the received count and
// of the count since Resume.
constexpr double kCountSlack = 64 * 1024;

NginxOptions rateLimitedNginx() {
    NginxOptions options;
    options.extraServerConfig = kRateLimited;
    return options;
}

// Both languages, for the cases a person meets in either.
class TerminalDialogInLanguage : public ::testing::TestWithParam<const Texts*> {
protected:
    void SetUp() override {
        if (!TmuxSession::available()) GTEST_SKIP() << "tmux is not installed (scripts/setup)";
        if (!NginxServer::available()) GTEST_SKIP() << "nginx is not installed (scripts/setup)";
        ASSERT_TRUE(nginx_.writeFile("s/a.bin", body(kRateLimitedSize)));
        ASSERT_TRUE(nginx_.start()) << nginx_.error();
    }

    NginxServer nginx_{rateLimitedNginx()};
};

// After a long pause the bytes that waited in the socket's buffers arrive at once on Resume.
// Every speed shown after Resume stays within what the bytes since Resume allow over the
// dialog's shortest span (no timing is asserted: the bound holds at any pace).
// Stays in C++: the bound relates the speed and the bytes of each screen to the count shown
// before Resume, over every screen of a time window, which a case's waits cannot state.
TEST_P(TerminalDialogInLanguage, SpeedAfterALongPauseStaysWithinTheBytesSinceResume) {
    const Texts& texts = *GetParam();
    DialogRun run(texts);
    ASSERT_TRUE(run.start()) << run.pane;
    run.startDownload(nginx_.url("/s/a.bin"));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(run.tmux.waitFor(
        [&](const std::string& text) {
            return shownBitsPerSecond(fieldText(text, texts.speed)) > 0 &&
                   leadingNumber(fieldText(text, texts.bytes)) > 0;
        },
        kWait, &run.pane))
        << run.pane;
    // Pause (the focus went back to the URL field when Start was disabled).
    ASSERT_TRUE(run.tmux.sendKeys({"Tab", "Tab", "Tab", "Space"}));
    ASSERT_TRUE(run.tmux.waitForText(texts.buttons[2], kWait, &run.pane)) << run.pane;
    std::this_thread::sleep_for(kLongPause); // the buffers fill while nothing is read
    run.pane = run.tmux.capture();
    const long long paused = leadingNumber(fieldText(run.pane, texts.bytes));
    ASSERT_GT(paused, 0) << run.pane;

    ASSERT_TRUE(run.tmux.sendKeys({"Space"}));
    int speedsSeen = 0;
    std::string failures;
    run.tmux.waitFor(
        [&](const std::string& text) {
            // Only what the dialog drew after it took the Resume: the button says Pause again.
            if (text.find(texts.buttons[2]) != std::string::npos) return false;
            double speed = shownBitsPerSecond(fieldText(text, texts.speed));
            long long received = leadingNumber(fieldText(text, texts.bytes));
            if (speed < 0 || received < 0) return false;
            ++speedsSeen;
            double bound =
                (static_cast<double>(received - paused) + kCountSlack) * 8 / kSpeedSpanSeconds;
            if (speed > bound)
                failures += fieldText(text, texts.speed) + " after " +
                            std::to_string(received - paused) + " bytes\n";
            return false;
        },
        kWatchAfterResume, &run.pane);
    EXPECT_GT(speedsSeen, 0) << "no speed shown after Resume\n" << run.pane;
    EXPECT_EQ(failures, "") << run.pane;

    // Stop (one Tab after Pause), then close.
    ASSERT_TRUE(run.tmux.sendKeys({"Tab", "Space"}));
    ASSERT_TRUE(run.waitForField(texts.bytes, "")) << run.pane;
    EXPECT_EQ(run.closeAndWait(), 0) << run.pane;
    std::optional<std::string> file = run.downloaded("a.bin");
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(*file == body(kRateLimitedSize).substr(0, file->size()))
        << "the partial file is no prefix";
    run.expectNoSanitizerReport();
}

INSTANTIATE_TEST_SUITE_P(Terminal, TerminalDialogInLanguage,
                         ::testing::Values(&kEnglish, &kJapanese),
                         [](const auto& info) { return std::string(info.param->name); });

} // namespace
} // namespace qb::test
