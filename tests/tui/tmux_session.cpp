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

bool TmuxSession::Available() {
    ProcessResult r = runProcess("tmux", {"-V"});
    return r.started && r.exitCode == 0;
}

TmuxSession::TmuxSession()
    : socket_("qb-tui-" + std::to_string(getpid()) + "-" + std::to_string(gNextSocket++)) {}

TmuxSession::~TmuxSession() {
    KillServer();
}

bool TmuxSession::Tmux(const std::vector<std::string>& args, std::string* out) {
    std::vector<std::string> all = {"-L", socket_, "-f", "/dev/null"};
    all.insert(all.end(), args.begin(), args.end());
    ProcessOptions options;
    options.limit = kCommandLimit;
    ProcessResult r = runProcess("tmux", all, options);
    if (out != nullptr) *out = r.out;
    return r.started && r.exitCode == 0;
}

bool TmuxSession::Start(const std::string& command, int columns, int rows) {
    // One invocation: the options hold before the command can end.
    bool ok = Tmux({"start-server",
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
    std::string pid = Trim(Format("#{pid}"));
    serverPid_ = pid.empty() ? -1 : std::atoi(pid.c_str());
    socketPath_ = Format("#{socket_path}");
    return true;
}

void TmuxSession::KillServer() {
    Tmux({"kill-server"});
    if (serverPid_ > 0 && kill(serverPid_, 0) == 0) kill(serverPid_, SIGKILL);
    serverPid_ = -1;
    if (!socketPath_.empty()) unlink(socketPath_.c_str()); // tmux leaves it behind
    socketPath_.clear();
}

bool TmuxSession::SendKeys(const std::vector<std::string>& keys) {
    std::vector<std::string> args = {"send-keys", "-t", kSessionName};
    args.insert(args.end(), keys.begin(), keys.end());
    return Tmux(args);
}

bool TmuxSession::SendText(const std::string& text) {
    return Tmux({"send-keys", "-t", kSessionName, "-l", text});
}

bool TmuxSession::Paste(const std::string& text) {
    return Tmux({"set-buffer", "-b", "qb-paste", "--", text}) &&
           Tmux({"paste-buffer", "-p", "-d", "-b", "qb-paste", "-t", kSessionName});
}

bool TmuxSession::Resize(int columns, int rows) {
    return Tmux({"resize-window", "-t", kSessionName, "-x", std::to_string(columns), "-y",
                 std::to_string(rows)});
}

bool TmuxSession::RecordOutput(const std::string& file) {
    return Tmux({"pipe-pane", "-t", kSessionName, "-o", "cat >> '" + file + "'"});
}

std::string TmuxSession::Capture(bool withAttributes) {
    std::string out;
    if (withAttributes)
        Tmux({"capture-pane", "-p", "-e", "-t", kSessionName}, &out);
    else
        Tmux({"capture-pane", "-p", "-t", kSessionName}, &out);
    return out;
}

std::string TmuxSession::Format(const std::string& format) {
    std::string out;
    Tmux({"display-message", "-p", "-t", kSessionName, format}, &out);
    return Trim(out);
}

bool TmuxSession::WaitFor(const std::function<bool(const std::string&)>& done, Millis limit,
                          std::string* last, bool withAttributes) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::string text = Capture(withAttributes);
        bool ok = done(text);
        if (last != nullptr) *last = text;
        if (ok) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool TmuxSession::WaitForText(const std::string& text, Millis limit, std::string* last) {
    return WaitFor([&](const std::string& pane) { return pane.find(text) != std::string::npos; },
                   limit, last);
}

bool TmuxSession::WaitForFormat(const std::string& format, const std::string& expected,
                                Millis limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (Format(format) != expected) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

} // namespace qb::test
