// The terminal renderer as a person meets it: the sample program runs in a tmux pane of a
// fixed size, gets keys, clicks and size changes, and must leave the terminal as it found it.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <ostream>
#include <string>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/sanitized_build.h"
#include "tests/support/temp_dir.h"
#include "tests/tui/pane_text.h"
#include "tests/tui/tmux_session.h"

namespace qb::test {
namespace {

using std::chrono::milliseconds;

// Generous for sanitizer builds; a pass takes a fraction of it.
constexpr milliseconds kWait{10000};
constexpr int kColumns = 80;
constexpr int kRows = 25;
constexpr const char* kDialog = "Terminal sample";
constexpr const char* kJapaneseLabel = "日本語: ファイルを一つ取得";
constexpr const char* kBoxText = "情報: 保存先は My Documents です";
// The progress bar's full width, once the worker thread reached the end.
constexpr int kProgressCells = 44;

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// One run of the sample program in a pane, inside a shell that reports how it ended and
// whether the terminal's modes are what they were, then keeps the pane alive (tmux shows a
// dead pane without its cursor).
class SampleRun {
public:
    // `prefix` goes before the program (environment changes); `gate` makes the shell wait
    // for a line before it starts the program.
    bool start(const std::string& prefix = "", const std::string& args = "", bool gate = false) {
        if (!dir_.valid()) return false;
        return tmux.start(Command(prefix, args, gate), kColumns, kRows);
    }

    // The same in an interactive shell with job control (Ctrl+Z, fg), as a subshell so that
    // stopping the program stops what follows it too.
    bool StartWithJobControl() {
        if (!dir_.valid()) return false;
        if (!tmux.start("PS1='$ ' exec bash --norc --noprofile -i", kColumns, kRows)) return false;
        if (!tmux.waitForText("$", kWait)) return false;
        return tmux.sendText("( " + Command("", "", false) + " )\r");
    }

    std::string Command(const std::string& prefix, const std::string& args, bool gate) {
        std::string command = "trap 'echo TRAPPED' INT; ";
        if (gate) command += "read go; ";
        command += "echo BEFORE; S=$(stty -g); ulimit -c 0; " + prefix + " " +
                   Quote(QB_TUI_SAMPLE_APP) + " " + Quote(OutcomePath()) + " " + args + " 2>" +
                   Quote(ErrorPath()) +
                   "; echo EXIT=$?; if [ \"$S\" = \"$(stty -g)\" ]; then echo STTY-SAME; "
                   "else echo STTY-CHANGED; fi; read done";
        return command;
    }

    // Waits until the dialog is up and has settled (screen size shown, progress full).
    bool WaitForDialog(std::string* pane) {
        std::string full = Repeat("█", kProgressCells);
        return tmux.waitFor(
            [&](const std::string& text) {
                return text.find(kDialog) != std::string::npos &&
                       text.find("Screen ") != std::string::npos &&
                       text.find(full) != std::string::npos;
            },
            kWait, pane);
    }

    // Waits for the shell's report; the program's exit status, -1 if it never came.
    int WaitForExit(std::string* pane) {
        if (!tmux.waitFor(
                [](const std::string& text) { return text.find("STTY-") != std::string::npos; },
                kWait, pane))
            return -1;
        size_t at = pane->find("EXIT=");
        return at == std::string::npos ? -1 : std::atoi(pane->c_str() + at + 5);
    }

    int Pid() {
        for (auto deadline = std::chrono::steady_clock::now() + kWait;
             std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(milliseconds(20))) {
            auto text = readFile(OutcomePath() + ".pid");
            if (text && !text->empty()) return std::atoi(text->c_str());
        }
        return -1;
    }

    std::map<std::string, std::string> Outcome() {
        std::map<std::string, std::string> values;
        auto text = readFile(OutcomePath());
        for (const std::string& line : paneLines(text.value_or(""))) {
            size_t eq = line.find('=');
            if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return values;
    }

    std::string Errors() { return readFile(ErrorPath()).value_or(""); }
    std::string OutcomePath() const { return dir_.file("outcome"); }
    std::string ErrorPath() const { return dir_.file("stderr"); }
    std::string File(const char* name) const { return dir_.file(name); }

    // The terminal after the program ended: normal screen, cursor shown, mouse and keypad
    // modes off, the same stty settings, the shell's own lines back; no sanitizer report.
    void ExpectTerminalGivenBack(const std::string& pane) {
        EXPECT_EQ(tmux.format("#{alternate_on} #{cursor_flag} #{mouse_any_flag} "
                              "#{keypad_cursor_flag} #{keypad_flag}"),
                  "0 1 0 0 0");
        EXPECT_NE(pane.find("BEFORE"), std::string::npos) << pane;
        EXPECT_NE(pane.find("STTY-SAME"), std::string::npos) << pane;
        EXPECT_EQ(pane.find(kDialog), std::string::npos) << pane;
        ExpectNoSanitizerReport();
    }

    void ExpectNoSanitizerReport() {
        std::string errors = Errors();
        EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
    }

    TmuxSession tmux;

private:
    TempDir dir_{"qb-tui"};
};

// A left press and release at a cell, as a terminal reports them (X10 mouse encoding).
std::string MouseClick(int column, int row) {
    auto code = [](int v) { return std::string(1, static_cast<char>(32 + 1 + v)); };
    return "\033[M" + std::string(1, ' ') + code(column) + code(row) + "\033[M#" + code(column) +
           code(row);
}

std::string LineWith(const std::string& pane, const std::string& text) {
    for (const std::string& line : paneLines(pane))
        if (line.find(text) != std::string::npos) return line;
    return "";
}

class TerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TmuxSession::available()) GTEST_SKIP() << "tmux is not installed (scripts/setup)";
    }
};

TEST_F(TerminalTest, KeyboardDrivesTheDialogInEnglishAndJapanese) {
    SampleRun run;
    // The C locale: the renderer still writes UTF-8, as the pane expects.
    ASSERT_TRUE(run.start("LC_ALL=C"));
    std::string pane;
    ASSERT_TRUE(run.WaitForDialog(&pane)) << pane;

    // Centred, every side whole: the double-width label takes two cells per character.
    bool whole = false;
    FrameCells frame = findFrame(pane, kDialog, &whole);
    EXPECT_TRUE(whole) << pane;
    EXPECT_EQ(frame.left, (kColumns - (frame.right - frame.left + 1)) / 2) << pane;
    EXPECT_NE(pane.find(kJapaneseLabel), std::string::npos) << pane;
    EXPECT_NE(pane.find("Screen 80x25"), std::string::npos) << pane;

    // The edit has the focus first.
    ASSERT_TRUE(run.tmux.sendText("abc"));
    ASSERT_TRUE(run.tmux.sendText("日本語"));
    ASSERT_TRUE(run.tmux.waitForText("URL:  abc日本語", kWait, &pane)) << pane;
    EXPECT_EQ(run.tmux.format("#{cursor_flag}"), "1"); // the edit's caret

    // Tab moves the focus to the check box (it shows), Space checks it.
    std::string before = LineWith(run.tmux.capture(true), "Resume");
    ASSERT_TRUE(run.tmux.sendKeys({"Tab"}));
    ASSERT_TRUE(run.tmux.waitFor(
        [&](const std::string& text) {
            std::string now = LineWith(text, "Resume");
            return !now.empty() && now != before;
        },
        kWait, &pane, true))
        << "the focused check box looks like the others";
    ASSERT_TRUE(run.tmux.sendKeys({"Space"}));
    ASSERT_TRUE(run.tmux.waitForText("[x] Resume", kWait, &pane)) << pane;

    // Shift+Tab back to the edit (which selects its text, End goes past it); Backspace
    // takes the last character away.
    ASSERT_TRUE(run.tmux.sendKeys({"BTab", "End"}));
    ASSERT_TRUE(run.tmux.sendText("!!"));
    ASSERT_TRUE(run.tmux.waitForText("abc日本語!!", kWait, &pane)) << pane;
    ASSERT_TRUE(run.tmux.sendKeys({"BSpace"}));
    ASSERT_TRUE(run.tmux.waitFor(
        [](const std::string& text) {
            return text.find("abc日本語!") != std::string::npos &&
                   text.find("abc日本語!!") == std::string::npos;
        },
        kWait, &pane))
        << pane;

    // Enter presses the default button.
    ASSERT_TRUE(run.tmux.sendKeys({"Enter"}));
    EXPECT_EQ(run.WaitForExit(&pane), 0) << pane;
    auto outcome = run.Outcome();
    EXPECT_EQ(outcome["mode"], "terminal");
    EXPECT_EQ(outcome["result"], "1");
    EXPECT_EQ(outcome["edit"], "abc日本語!");
    EXPECT_EQ(outcome["check"], "1");
    run.ExpectTerminalGivenBack(pane);
}

TEST_F(TerminalTest, MessageBoxOverTheDialogThenAClick) {
    SampleRun run;
    ASSERT_TRUE(run.start());
    std::string dialogAlone;
    ASSERT_TRUE(run.WaitForDialog(&dialogAlone)) << dialogAlone;

    // Alt+I presses "&Info": the box comes up over the dialog, Japanese text and all.
    ASSERT_TRUE(run.tmux.sendKeys({"M-i"}));
    std::string pane;
    ASSERT_TRUE(run.tmux.waitForText(kBoxText, kWait, &pane)) << pane;
    bool whole = false;
    FrameCells box = findFrame(pane, "Information", &whole);
    EXPECT_TRUE(whole) << pane;
    FrameCells dialog = findFrame(pane, kDialog, &whole);
    EXPECT_TRUE(whole) << "the dialog's frame around the box\n" << pane;
    EXPECT_GT(box.left, dialog.left);
    EXPECT_LT(box.right, dialog.right);

    // Enter answers the box; the dialog is drawn again exactly as it was.
    ASSERT_TRUE(run.tmux.sendKeys({"Enter"}));
    ASSERT_TRUE(run.tmux.waitFor([&](const std::string& text) { return text == dialogAlone; },
                                 kWait, &pane))
        << "expected\n"
        << dialogAlone << "\nshown\n"
        << pane;

    // A click on Cancel.
    std::vector<std::string> lines = paneLines(pane);
    int row = -1;
    int column = -1;
    for (size_t r = 0; r < lines.size() && row < 0; ++r) {
        size_t at = lines[r].find("Cancel");
        if (at != std::string::npos) {
            row = static_cast<int>(r);
            column = displayWidth(lines[r].substr(0, at));
        }
    }
    ASSERT_GE(row, 0) << pane;
    ASSERT_TRUE(run.tmux.sendText(MouseClick(column, row)));
    EXPECT_EQ(run.WaitForExit(&pane), 0) << pane;
    auto outcome = run.Outcome();
    EXPECT_EQ(outcome["result"], "2");
    EXPECT_EQ(outcome["box"], "1");
    run.ExpectTerminalGivenBack(pane);
}

TEST_F(TerminalTest, ResizeRedrawsAtTheNewSize) {
    SampleRun run;
    ASSERT_TRUE(run.start());
    std::string pane;
    ASSERT_TRUE(run.WaitForDialog(&pane)) << pane;

    struct Size {
        int columns;
        int rows;
    };
    for (Size size : {Size{100, 30}, Size{60, 20}}) {
        SCOPED_TRACE(std::to_string(size.columns) + "x" + std::to_string(size.rows));
        ASSERT_TRUE(run.tmux.resize(size.columns, size.rows));
        std::string label =
            "Screen " + std::to_string(size.columns) + "x" + std::to_string(size.rows);
        FrameCells frame;
        // The program sees the new size and centres its dialog again; nothing is left of
        // the old picture.
        bool settled = run.tmux.waitFor(
            [&](const std::string& text) {
                bool whole = false;
                frame = findFrame(text, kDialog, &whole);
                int width = frame.right - frame.left + 1;
                int height = frame.bottom - frame.top + 1;
                return whole && text.find(label) != std::string::npos &&
                       frame.left == (size.columns - width) / 2 &&
                       frame.top == (size.rows - height) / 2;
            },
            kWait, &pane);
        ASSERT_TRUE(settled) << pane;
        std::vector<std::string> lines = paneLines(pane);
        for (int r = 0; r < static_cast<int>(lines.size()); ++r) {
            bool inside = r >= frame.top && r <= frame.bottom;
            if (!inside)
                EXPECT_EQ(lines[r], "") << "row " << r << "\n" << pane;
            else
                EXPECT_EQ(displayWidth(lines[r]), frame.right + 1) << "row " << r;
        }
    }
    ASSERT_TRUE(run.tmux.sendKeys({"Escape"}));
    EXPECT_EQ(run.WaitForExit(&pane), 0) << pane;
    EXPECT_EQ(run.Outcome()["result"], "2");
    run.ExpectTerminalGivenBack(pane);
}

TEST_F(TerminalTest, CtrlZGivesTheTerminalBackUntilTheProgramContinues) {
    if (!runProcess("bash", {"--version"}).started) GTEST_SKIP() << "no bash for job control";
    SampleRun run;
    ASSERT_TRUE(run.StartWithJobControl());
    std::string pane;
    ASSERT_TRUE(run.WaitForDialog(&pane)) << pane;
    ASSERT_TRUE(run.tmux.sendText("abc"));
    ASSERT_TRUE(run.tmux.waitForText("URL:  abc", kWait, &pane)) << pane;

    // Stopped, it gives the terminal back (the shell's "Stopped" line may have gone to the
    // alternate screen before that, so the screen is what is awaited). "fg" follows at
    // once: a continue that comes before the program stopped must not leave it stopped.
    ASSERT_TRUE(run.tmux.sendKeys({"C-z"}));
    ASSERT_TRUE(
        run.tmux.waitForFormat("#{alternate_on} #{cursor_flag} #{mouse_any_flag}", "0 1 0", kWait));
    EXPECT_EQ(run.tmux.capture().find(kDialog), std::string::npos);

    // Continued, it takes the terminal again, shows the dialog whole and reads keys again.
    ASSERT_TRUE(run.tmux.sendText("fg\r"));
    ASSERT_TRUE(run.tmux.waitForText("URL:  abc", kWait, &pane)) << pane;
    bool whole = false;
    findFrame(pane, kDialog, &whole);
    EXPECT_TRUE(whole) << pane;
    EXPECT_EQ(run.tmux.format("#{alternate_on} #{mouse_any_flag}"), "1 1");
    ASSERT_TRUE(run.tmux.sendKeys({"M-r"}));
    ASSERT_TRUE(run.tmux.waitForText("[x] Resume", kWait, &pane)) << pane;
    ASSERT_TRUE(run.tmux.sendKeys({"Enter"}));
    EXPECT_EQ(run.WaitForExit(&pane), 0) << pane;
    auto outcome = run.Outcome();
    EXPECT_EQ(outcome["edit"], "abc");
    EXPECT_EQ(outcome["check"], "1");
    run.ExpectTerminalGivenBack(pane);
}

TEST_F(TerminalTest, NoWindowShownGivesTheTerminalBackUntilOneIs) {
    SampleRun run;
    ASSERT_TRUE(run.start());
    std::string pane;
    ASSERT_TRUE(run.WaitForDialog(&pane)) << pane;
    ASSERT_TRUE(run.tmux.sendText("abc"));
    ASSERT_TRUE(run.tmux.waitForText("URL:  abc", kWait, &pane)) << pane;

    // "&Later" hides the dialog for a second: the shell's screen is back meanwhile.
    ASSERT_TRUE(run.tmux.sendKeys({"M-l"}));
    ASSERT_TRUE(run.tmux.waitForFormat("#{alternate_on} #{mouse_any_flag}", "0 0", kWait));
    pane = run.tmux.capture();
    EXPECT_NE(pane.find("BEFORE"), std::string::npos) << pane;
    EXPECT_EQ(pane.find(kDialog), std::string::npos) << pane;

    // Shown again: whole, with what was typed, and reading keys.
    ASSERT_TRUE(run.tmux.waitForText("URL:  abc", kWait, &pane)) << pane;
    bool whole = false;
    findFrame(pane, kDialog, &whole);
    EXPECT_TRUE(whole) << pane;
    EXPECT_EQ(run.tmux.format("#{alternate_on} #{mouse_any_flag}"), "1 1");
    ASSERT_TRUE(run.tmux.sendKeys({"Escape"}));
    EXPECT_EQ(run.WaitForExit(&pane), 0) << pane;
    EXPECT_EQ(run.Outcome()["result"], "2");
    EXPECT_EQ(run.Outcome()["edit"], "abc");
    run.ExpectTerminalGivenBack(pane);
}

struct Ending {
    const char* name;
    int signal;      // sent to the program, or 0: the key below is typed
    const char* key; // tmux key name
    int status;      // what the shell reports
    bool crash;      // a sanitizer may report it its own way
};

void PrintTo(const Ending& e, std::ostream* os) {
    *os << e.name;
}

class TerminalSignalTest : public TerminalTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(TerminalSignalTest, GivesTheTerminalBackAndEndsAsTheSignalSays) {
    const Ending& e = GetParam();
    SampleRun run;
    ASSERT_TRUE(run.start());
    std::string pane;
    ASSERT_TRUE(run.WaitForDialog(&pane)) << pane;
    if (e.signal != 0) {
        int pid = run.Pid();
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(qb::test::signalMainThread(pid, e.signal));
    } else {
        ASSERT_TRUE(run.tmux.sendKeys({e.key}));
    }
    int status = run.WaitForExit(&pane);
    if (e.crash && kSanitizedBuild)
        EXPECT_NE(status, 0) << pane;
    else
        EXPECT_EQ(status, e.status) << pane;
    EXPECT_EQ(run.tmux.format("#{alternate_on} #{cursor_flag} #{mouse_any_flag} "
                              "#{keypad_cursor_flag} #{keypad_flag}"),
              "0 1 0 0 0");
    EXPECT_NE(pane.find("STTY-SAME"), std::string::npos) << pane;
    EXPECT_EQ(pane.find(kDialog), std::string::npos) << pane;
    EXPECT_FALSE(run.Outcome().count("result")) << "ended before writing its outcome";
    if (!e.crash) run.ExpectNoSanitizerReport();
}

INSTANTIATE_TEST_SUITE_P(Terminal, TerminalSignalTest,
                         ::testing::Values(Ending{"Term", SIGTERM, "", 128 + SIGTERM, false},
                                           Ending{"CtrlC", 0, "C-c", 128 + SIGINT, false},
                                           Ending{"Hangup", SIGHUP, "", 128 + SIGHUP, false},
                                           Ending{"Segv", SIGSEGV, "", 128 + SIGSEGV, true},
                                           Ending{"Abort", SIGABRT, "", 128 + SIGABRT, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Untouched {
    const char* name;
    const char* prefix; // before the program
    const char* args;
    const char* mode;
    const char* errors; // on standard error
};

void PrintTo(const Untouched& u, std::ostream* os) {
    *os << u.name;
}

class TerminalUntouchedTest : public TerminalTest,
                              public ::testing::WithParamInterface<Untouched> {};

// Not one byte reaches the terminal: hidden windows, or no usable terminal type (headless,
// where the message box goes to standard error).
TEST_P(TerminalUntouchedTest, WritesNothingToTheTerminal) {
    const Untouched& u = GetParam();
    SampleRun run;
    ASSERT_TRUE(run.start(u.prefix, u.args, true));
    std::string raw = run.File("raw");
    ASSERT_TRUE(run.tmux.recordOutput(raw));
    ASSERT_TRUE(run.tmux.sendText("go\r"));
    std::string pane;
    EXPECT_EQ(run.WaitForExit(&pane), 0) << pane;
    auto bytes = readFile(raw);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_NE(bytes->find("BEFORE\r\nEXIT=0\r\n"), std::string::npos) << *bytes;
    EXPECT_EQ(run.Outcome()["mode"], u.mode);
    EXPECT_NE(run.Errors().find(u.errors), std::string::npos) << run.Errors();
    run.ExpectNoSanitizerReport();
}

INSTANTIATE_TEST_SUITE_P(Terminal, TerminalUntouchedTest,
                         ::testing::Values(Untouched{"HiddenWindow", "", "--hidden", "hidden", ""},
                                           Untouched{"DumbTerminal", "TERM=dumb", "", "headless",
                                                     "Terminal sample: no terminal"},
                                           Untouched{"NoTerminalType", "env -u TERM", "",
                                                     "headless", "Terminal sample: no terminal"},
                                           Untouched{"UnknownTerminalType", "TERM=no-such-terminal",
                                                     "", "headless",
                                                     "Terminal sample: no terminal"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace qb::test
