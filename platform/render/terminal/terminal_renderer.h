// The terminal renderer: shows the composed screen with ncursesw while a window is visible
// and feeds the terminal's input to the windows. One descriptor (an epoll set of the
// terminal and the signal relay's pipe) is what the message loop polls. GUI thread only.
#pragma once

#include "platform/render/terminal/signal_relay.h"
#include "platform/render/terminal/terminal_session.h"
#include "qb/render.h"

namespace qb::render::terminal {

class TerminalRenderer final : public Renderer {
public:
    TerminalRenderer() = default;
    ~TerminalRenderer() override { Close(); }
    TerminalRenderer(const TerminalRenderer&) = delete;
    TerminalRenderer& operator=(const TerminalRenderer&) = delete;

    // Makes the descriptor the loop polls; touches no terminal. False when it can't.
    bool Open();
    // Gives the terminal back (if it was taken), undoes the signal handlers.
    void Close();

    void ScreenChanged() override;
    int InputFd() override { return poll_; }
    void InputReady() override;
    void Beep() override { session_.Beep(); }

private:
    bool Take();
    void Suspend(bool keepSignals);
    void Resume();
    bool CatchSignals();
    void ReleaseSignals();
    void WatchTerminal(bool watch);
    void HandleSignals();
    void HandleResize();
    void ReadInput();
    void FeedInput(const std::vector<InputEvent>& events);
    void Paint();

    TerminalSession session_;
    SignalRelay relay_;
    PasteState paste_; // a paste may be longer than one read
    int poll_ = -1;
    bool watching_ = false;    // the terminal's input is in the epoll set
    bool hungUp_ = false;      // the terminal went away: nothing more is read from it
    bool takeFailed_ = false;  // ncurses could not start: stay headless
    bool noticeShown_ = false; // the last paint was the too-small notice: input is dropped
};

} // namespace qb::render::terminal
