#include "tests/e2e/terminal_steps.h"

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <map>
#include <optional>
#include <thread>
#include <utility>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/tui/dialog_screen.h"
#include "tests/tui/pane_text.h"

namespace qb::test::e2e {
namespace {

using Millis = std::chrono::milliseconds;
constexpr Millis kScreenWait{15000};

std::string joined(const std::vector<std::string>& items, const char* between) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : between) + item;
    return out;
}

// A left press on the first cell of `text` as the screen shows it now and its release `apart`
// later, as a terminal reports them (X10 mouse encoding: button, column and row plus 32,
// cells from 1). A text past column or row 222 is out of the encoding.
bool click(TmuxSession& terminal, const std::string& text, Millis apart) {
    constexpr int kMaxX10Cell = 222;
    const std::vector<std::string> lines = paneLines(terminal.capture());
    for (int row = 0; row < int(lines.size()); ++row) {
        const std::string& line = lines[size_t(row)];
        const size_t at = line.find(text);
        if (at == std::string::npos) continue;
        int column = 0;
        for (size_t i = 0; i < at;) { // cells before it: East Asian characters take two
            const unsigned char lead = static_cast<unsigned char>(line[i]);
            const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            column += length >= 3 && lead >= 0xE3 ? 2 : 1;
            i += length;
        }
        if (column > kMaxX10Cell || row > kMaxX10Cell) return false;
        auto report = [&](char button) {
            return std::string("\033[M") + button + static_cast<char>(33 + column) +
                   static_cast<char>(33 + row);
        };
        if (apart.count() == 0) return terminal.sendText(report(' ') + report('#'));
        if (!terminal.sendText(report(' '))) return false;
        std::this_thread::sleep_for(apart); // a person's click: the release comes later
        return terminal.sendText(report('#'));
    }
    return false;
}

class StepRunner {
public:
    StepRunner(TmuxSession& terminal, const TerminalStepsContext& context)
        : terminal_(terminal), context_(context), columns_(context.columns), rows_(context.rows) {}

    bool run(const TerminalStep& step) {
        step_ = &step;
        std::string text = step.text;
        std::string label = step.label;
        if (!context_.resolve(text, step.line) || !context_.resolve(label, step.line)) return false;
        // What a step lists (keys, screen-lacks, wait-list) takes placeholders too.
        std::vector<std::string> texts = step.keys;
        for (std::string& each : texts) {
            if (!context_.resolve(each, step.line)) return false;
        }
        using K = TerminalStep::Kind;
        switch (step.kind) {
        case K::Keys:
            return terminal_.sendKeys(texts) || fail("tmux did not send the keys");
        case K::Type:
            return terminal_.sendText(text) || fail("tmux did not type the text");
        case K::Paste:
            return terminal_.paste(text) || fail("tmux did not paste the text");
        case K::Idle:
            std::this_thread::sleep_for(Millis(step.count)); // the time is the point
            return true;
        case K::WatchSpeed:
            return watchSpeed(step);
        case K::Click:
            return click(terminal_, text, Millis(step.count)) ||
                   fail("nothing to click: the screen does not show " + text);
        case K::Resize:
            columns_ = int(step.count);
            rows_ = int(step.rows);
            return terminal_.resize(columns_, rows_) || fail("tmux did not resize the pane");
        case K::Signal:
            return signal(text);
        case K::Release:
        case K::WaitFinished:
            return server(step);
        case K::WaitScreen:
            return waitFor([&](const std::string& s) { return s.find(text) != std::string::npos; },
                           "the screen does not show " + text);
        case K::WaitGone:
            return waitFor([&](const std::string& s) { return s.find(text) == std::string::npos; },
                           "the screen still shows " + text);
        case K::ScreenLacks: {
            std::string found;
            const bool shown = terminal_.waitFor(
                [&](const std::string& s) {
                    for (const std::string& each : texts) {
                        if (s.find(each) != std::string::npos) found = each;
                    }
                    return !found.empty();
                },
                Millis(step.count), &screen_);
            return !shown || fail("the screen shows " + found);
        }
        case K::WaitField:
            return waitFor(
                [&](const std::string& s) {
                    const std::string value = fieldText(s, label);
                    return step.has ? value.find(text) != std::string::npos : value == text;
                },
                label + (step.has ? " does not hold \"" : " is not \"") + text + "\": \"" +
                    fieldText(screen_, label) + "\"");
        case K::WaitGrows: {
            long long& before = grown_[label];
            const bool grew = waitFor(
                [&](const std::string& s) { return leadingNumber(fieldText(s, label)) > before; },
                label + " does not grow past " + std::to_string(before));
            if (grew) before = leadingNumber(fieldText(screen_, label));
            return grew;
        }
        case K::WaitButtons: {
            std::vector<std::string> labels;
            for (const std::string& key : step.keys)
                labels.push_back(key.rfind("-", 0) == 0 ? key.substr(1) : key);
            const std::string expected = joined(step.keys, " ");
            return waitFor([&](const std::string& s) { return buttonsLook(s, labels) == expected; },
                           "the buttons are not " + expected, true);
        }
        case K::WaitCentred:
            return waitFor(
                [&](const std::string& s) {
                    bool whole = false;
                    const FrameCells frame = findFrame(s, text, &whole);
                    const int width = frame.right - frame.left + 1;
                    const int height = frame.bottom - frame.top + 1;
                    return whole && frame.left == (columns_ - width) / 2 &&
                           frame.top == (rows_ - height) / 2;
                },
                "the window " + text + " is not whole and centred in " + std::to_string(columns_) +
                    "x" + std::to_string(rows_));
        case K::WaitOnlyLine:
            return waitFor(
                [&](const std::string& s) {
                    const std::vector<std::string> shown = linesShown(s);
                    return shown.size() == 1 && shown[0].find(text) != std::string::npos;
                },
                "the screen is not the one line " + text);
        case K::WaitList:
            return waitFor([&](const std::string& s) { return framedList(s, text) == texts; },
                           "the list is not " + joined(texts, " | ") + ": " +
                               joined(framedList(screen_, text), " | "));
        case K::WaitSelected:
            return waitFor([&](const std::string& s) { return looksSelected(s, text, label); },
                           label + " is not highlighted", true);
        }
        return fail("unknown step");
    }

private:
    bool fail(const std::string& what) {
        ADD_FAILURE_AT(context_.casePath.c_str(), step_->line)
            << what
            << (step_->calledAt != 0
                    ? " (by the do on line " + std::to_string(step_->calledAt) + ")"
                    : "")
            << ":\n"
            << screen_;
        return false;
    }

    // The first speed on the screen ("12.5Mbps", "800kbps", "3bps") in bits per second (the
    // dialog's units: Mbps 2^20, kbps 2^10) and its text; nothing when none is shown. A scan by
    // hand: std::regex trips GCC 12's maybe-uninitialized warning in the sanitizer builds.
    static std::optional<std::pair<double, std::string>> firstSpeed(const std::string& text) {
        for (size_t unit = text.find("bps"); unit != std::string::npos;
             unit = text.find("bps", unit + 1)) {
            size_t end = unit;
            double scale = 1.0;
            if (end > 0 && (text[end - 1] == 'M' || text[end - 1] == 'k')) {
                scale = text[end - 1] == 'M' ? 1048576.0 : 1024.0;
                --end;
            }
            size_t begin = end;
            while (begin > 0 && (std::isdigit(uint8_t(text[begin - 1])) || text[begin - 1] == '.'))
                --begin;
            if (begin == end || !std::isdigit(uint8_t(text[begin]))) continue;
            return std::make_pair(std::stod(text.substr(begin, end - begin)) * scale,
                                  text.substr(begin, unit + 3 - begin));
        }
        return std::nullopt;
    }

    // Every speed the screen shows for step.count ms lies within [step.low, step.high] bits
    // per second, and one is shown at least.
    bool watchSpeed(const TerminalStep& step) {
        int seen = 0;
        std::string outside;
        terminal_.waitFor(
            [&](const std::string& text) {
                const auto speed = firstSpeed(text);
                if (!speed) return false;
                ++seen;
                if (speed->first < double(step.low) || speed->first > double(step.high))
                    outside += speed->second + " ";
                return false;
            },
            Millis(step.count), &screen_);
        if (seen == 0) return fail("no speed shown");
        return outside.empty() || fail("speeds outside " + std::to_string(step.low) + ".." +
                                       std::to_string(step.high) + " bps: " + outside);
    }

    bool waitFor(const std::function<bool(const std::string&)>& done, const std::string& what,
                 bool withAttributes = false) {
        if (terminal_.waitFor(done, kScreenWait, &screen_, withAttributes)) return true;
        if (withAttributes) screen_ = terminal_.capture();
        return fail(what);
    }

    bool signal(const std::string& name) {
        const int pid = std::atoi(readFile(context_.pidFile).value_or("0").c_str());
        if (pid <= 0) return fail("the program's process id is unknown");
        const int number = name == "TERM" ? SIGTERM : SIGSEGV;
        return signalMainThread(pid, number) || fail("the signal was not delivered");
    }

    bool server(const TerminalStep& step) {
        ScriptedServer* server = context_.scripted(step.server);
        if (server == nullptr) return fail(step.server + " is not a scripted server");
        if (step.kind == TerminalStep::Kind::Release) {
            server->release();
            return true;
        }
        return server->waitForFinished(size_t(step.count), kScreenWait) ||
               fail(step.server + " has not finished " + std::to_string(step.count) + " answers");
    }

    TmuxSession& terminal_;
    const TerminalStepsContext& context_;
    int columns_;
    int rows_;
    const TerminalStep* step_ = nullptr;
    std::string screen_; // the last capture
    std::map<std::string, long long> grown_;
};

} // namespace

bool runTerminalSteps(TmuxSession& terminal, const std::vector<TerminalStep>& steps,
                      const TerminalStepsContext& context) {
    StepRunner runner(terminal, context);
    for (const TerminalStep& step : steps) {
        if (!runner.run(step)) return false;
    }
    return true;
}

std::string terminalNotGivenBack(TmuxSession& terminal, const std::string& sttyBefore,
                                 const std::string& sttyAfter, const std::string& caption) {
    std::string wrong;
    const std::string modes = terminal.format("#{alternate_on} #{cursor_flag} #{mouse_any_flag} "
                                              "#{keypad_cursor_flag} #{keypad_flag}");
    if (modes != "0 1 0 0 0")
        wrong += "alternate screen, cursor, mouse, keypad cursor, keypad: " + modes + "\n";
    if (sttyBefore.empty() || sttyBefore != sttyAfter)
        wrong += "stty -g before: " + sttyBefore + "after: " + sttyAfter + "\n";
    const std::string screen = terminal.capture();
    if (screen.find(caption) != std::string::npos) wrong += caption + " left on the screen\n";
    if (!wrong.empty()) wrong += "the screen:\n" + screen;
    return wrong;
}

} // namespace qb::test::e2e
