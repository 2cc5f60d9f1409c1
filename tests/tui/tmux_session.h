// A tmux server of one's own (a private socket) with one session of a fixed size: start a
// shell command in it, type keys, read the pane as text, resize it, and wait (bounded) until
// the pane shows what is expected. The server is killed when the object goes.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace qb::test {

class TmuxSession {
public:
    using Millis = std::chrono::milliseconds;

    // Whether tmux can be run here.
    static bool available();

    TmuxSession();
    ~TmuxSession();
    TmuxSession(const TmuxSession&) = delete;
    TmuxSession& operator=(const TmuxSession&) = delete;

    // Starts the server and the session running `command` (given to the shell) in a
    // columns x rows pane that stays when the command ends. False when tmux fails.
    bool start(const std::string& command, int columns, int rows);

    // send-keys with tmux key names ("Tab", "BTab", "M-i", "C-c", "Enter" ...).
    bool sendKeys(const std::vector<std::string>& keys);
    // Types the text as it is (UTF-8, escape sequences included).
    bool sendText(const std::string& text);
    // Pastes the text as a terminal does (line feeds become carriage returns), marked as a
    // paste when the program asked for bracketed paste.
    bool paste(const std::string& text);
    bool resize(int columns, int rows);
    // Copies everything the pane's program writes from now on into `file`.
    bool recordOutput(const std::string& file);

    // The pane as text (capture-pane -p), or with its attributes as escape sequences.
    std::string capture(bool withAttributes = false);
    // A tmux format expanded for the pane (display-message -p), e.g. "#{alternate_on}".
    std::string format(const std::string& formatText);

    // Polls the pane until `done` holds for its text (or its text with attributes) or
    // `limit` passes; the last capture is kept in `last`.
    bool waitFor(const std::function<bool(const std::string&)>& done, Millis limit,
                 std::string* last = nullptr, bool withAttributes = false);
    bool waitForText(const std::string& text, Millis limit, std::string* last = nullptr);
    // Polls until the format expands to `expected`.
    bool waitForFormat(const std::string& formatText, const std::string& expected, Millis limit);

private:
    bool tmux(const std::vector<std::string>& args, std::string* out = nullptr);
    void killServer();

    std::string socket_;
    int serverPid_ = -1;
    std::string socketPath_;
};

} // namespace qb::test
