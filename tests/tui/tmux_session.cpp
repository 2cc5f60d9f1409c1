#include "tests/tui/tmux_session.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "tests/support/process.h"

namespace qb::test {

namespace {

constexpr const char* kSessionName = "qb";
constexpr std::chrono::milliseconds kPollInterval{50};
constexpr std::chrono::milliseconds kCommandLimit{10000};

std::atomic<int> gNextSocket{0};

std::string Trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

} // namespace

bool TmuxSession::available() {
    ProcessResult r = runProcess("tmux", {"-V"});
    return r.started && r.exitCode == 0;
}

TmuxSession::TmuxSession()
    : socket_("qb-tui-" + std::to_string(getpid()) + "-" + std::to_string(gNextSocket++)) {}

TmuxSession::~TmuxSession() {
    killServer();
}

bool TmuxSession::tmux(const std::vector<std::string>& args, std::string* out) {
    std::vector<std::string> all = {"-L", socket_, "-f", "/dev/null"};
    all.insert(all.end(), args.begin(), args.end());
    ProcessOptions options;
    options.limit = kCommandLimit;
    ProcessResult r = runProcess("tmux", all, options);
    if (out != nullptr) *out = r.out;
    return r.started && r.exitCode == 0;
}

bool TmuxSession::start(const std::string& command, int columns, int rows) {
    // One invocation: the options hold before the command can end.
    bool ok = tmux({"start-server",
                    ";",
                    "set-option",
                    "-g",
                    "remain-on-exit",
                    "on",
                    ";",
                    "set-option",
                    "-g",
                    "default-terminal",
                    "tmux-256color",
                    ";",
                    "new-session",
                    "-d",
                    "-x",
                    std::to_string(columns),
                    "-y",
                    std::to_string(rows),
                    "-s",
                    kSessionName,
                    command});
    if (!ok) return false;
    std::string pid = Trim(format("#{pid}"));
    serverPid_ = pid.empty() ? -1 : std::atoi(pid.c_str());
    socketPath_ = format("#{socket_path}");
    return true;
}

void TmuxSession::killServer() {
    tmux({"kill-server"});
    if (serverPid_ > 0 && kill(serverPid_, 0) == 0) kill(serverPid_, SIGKILL);
    serverPid_ = -1;
    if (!socketPath_.empty()) unlink(socketPath_.c_str()); // tmux leaves it behind
    socketPath_.clear();
}

bool TmuxSession::sendKeys(const std::vector<std::string>& keys) {
    std::vector<std::string> args = {"send-keys", "-t", kSessionName};
    args.insert(args.end(), keys.begin(), keys.end());
    return tmux(args);
}

bool TmuxSession::sendText(const std::string& text) {
    return tmux({"send-keys", "-t", kSessionName, "-l", text});
}

bool TmuxSession::paste(const std::string& text) {
    return tmux({"set-buffer", "-b", "qb-paste", "--", text}) &&
           tmux({"paste-buffer", "-p", "-d", "-b", "qb-paste", "-t", kSessionName});
}

bool TmuxSession::resize(int columns, int rows) {
    return tmux({"resize-window", "-t", kSessionName, "-x", std::to_string(columns), "-y",
                 std::to_string(rows)});
}

bool TmuxSession::recordOutput(const std::string& file) {
    return tmux({"pipe-pane", "-t", kSessionName, "-o", "cat >> '" + file + "'"});
}

std::string TmuxSession::capture(bool withAttributes) {
    std::string out;
    if (withAttributes)
        tmux({"capture-pane", "-p", "-e", "-t", kSessionName}, &out);
    else
        tmux({"capture-pane", "-p", "-t", kSessionName}, &out);
    return out;
}

std::string TmuxSession::format(const std::string& formatText) {
    std::string out;
    tmux({"display-message", "-p", "-t", kSessionName, formatText}, &out);
    return Trim(out);
}

bool TmuxSession::waitFor(const std::function<bool(const std::string&)>& done, Millis limit,
                          std::string* last, bool withAttributes) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::string text = capture(withAttributes);
        bool ok = done(text);
        if (last != nullptr) *last = text;
        if (ok) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool TmuxSession::waitForText(const std::string& text, Millis limit, std::string* last) {
    return waitFor([&](const std::string& pane) { return pane.find(text) != std::string::npos; },
                   limit, last);
}

bool TmuxSession::waitForFormat(const std::string& formatText, const std::string& expected,
                                Millis limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (format(formatText) != expected) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

} // namespace qb::test
