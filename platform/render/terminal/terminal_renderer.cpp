#include "platform/render/terminal/terminal_renderer.h"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include "platform/render/terminal/size_notice.h"

namespace qb::render::terminal {

namespace {

// Keys handled in one decoding pass; more simply take another pass.
constexpr size_t kMaxKeysPerPass = 256;
// Keys read past a full pass to finish an Alt pair or a key sequence; a longer one is cut.
constexpr size_t kMaxSequenceTail = 32;

bool EpollChange(int epoll, int op, int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return epoll_ctl(epoll, op, fd, op == EPOLL_CTL_DEL ? nullptr : &event) == 0;
}

} // namespace

bool TerminalRenderer::Open() {
    if (poll_ >= 0) return true;
    poll_ = epoll_create1(EPOLL_CLOEXEC);
    return poll_ >= 0;
}

void TerminalRenderer::Close() {
    if (session_.Started()) {
        WatchTerminal(false);
        relay_.Disarm();
        session_.Stop();
    }
    ReleaseSignals();
    if (poll_ >= 0) close(poll_);
    poll_ = -1;
}

bool TerminalRenderer::CatchSignals() {
    if (relay_.Installed()) return true;
    if (!relay_.Install()) return false;
    EpollChange(poll_, EPOLL_CTL_ADD, relay_.ReadFd());
    return true;
}

void TerminalRenderer::ReleaseSignals() {
    if (!relay_.Installed()) return;
    EpollChange(poll_, EPOLL_CTL_DEL, relay_.ReadFd());
    relay_.Uninstall();
}

void TerminalRenderer::WatchTerminal(bool watch) {
    if (watch == watching_ || poll_ < 0 || (watch && hungUp_)) return;
    watching_ =
        EpollChange(poll_, watch ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, STDIN_FILENO) ? watch : watching_;
}

bool TerminalRenderer::Take() {
    // The handlers go in first, so that ncurses keeps its own off these signals.
    if (!CatchSignals()) return false;
    if (!session_.Start()) {
        ReleaseSignals();
        return false;
    }
    relay_.Arm(session_.Restore());
    WatchTerminal(true);
    HandleResize();
    return true;
}

void TerminalRenderer::Suspend(bool keepSignals) {
    WatchTerminal(false);
    relay_.Disarm();
    session_.Suspend();
    // With no window shown, Ctrl+C and the other signals act as they do without a terminal
    // renderer, even while the program is busy elsewhere.
    if (!keepSignals) ReleaseSignals();
}

void TerminalRenderer::Resume() {
    CatchSignals();
    session_.Resume();
    relay_.Arm(session_.Restore());
    WatchTerminal(true);
    HandleResize(); // it may have changed while the shell had the terminal
}

void TerminalRenderer::ScreenChanged() {
    if (poll_ < 0 || takeFailed_) return;
    bool visible = AnyWindowVisible();
    if (!session_.Started()) {
        if (!visible) return; // hidden windows never touch the terminal
        if (!Take()) {
            // No terminal after all: headless, so that modal windows don't wait for a person
            // who can't see them.
            takeFailed_ = true;
            SetRenderer(nullptr);
            return;
        }
    } else if (!session_.Active()) {
        if (!visible) return;
        Resume();
    } else if (!visible) {
        Suspend(false);
        return;
    }
    Paint();
}

void TerminalRenderer::Paint() {
    if (!session_.Active()) return;
    const Screen screen = ComposeScreen();
    // Part of a window would mislead (a button cut off, a field without its end): one line
    // says what is wrong until the terminal is large enough again.
    noticeShown_ = TooSmall(screen);
    if (noticeShown_)
        session_.PaintLine(SizeNotice(screen, SystemIsJapanese()));
    else
        session_.Paint(screen);
}

void TerminalRenderer::HandleResize() {
    if (!session_.Active()) return;
    int columns = 0;
    int rows = 0;
    session_.FollowSize(&columns, &rows);
    if (columns > 0 && rows > 0) FeedResize(columns, rows);
    session_.RedrawAll();
    Paint();
}

void TerminalRenderer::HandleSignals() {
    if (!relay_.Installed()) return;
    int number = 0;
    for (;;) {
        switch (relay_.TakePending(&number)) {
        case RelayedSignal::kNone:
            return;
        case RelayedSignal::kResize:
            HandleResize();
            break;
        case RelayedSignal::kEnd:
            // The terminal as it was, then the signal's own course (the exit status).
            relay_.Disarm();
            session_.Stop();
            SignalRelay::RaiseDefault(number);
            return;
        case RelayedSignal::kStop: {
            bool active = session_.Active();
            if (active) Suspend(true);
            // The rest of the job stopped at once; "fg" may have come before this thread did.
            if (!relay_.ContinuedSinceStop())
                SignalRelay::RaiseDefault(number); // returns once the process is continued
            if (active) Resume();
            break;
        }
        }
    }
}

void TerminalRenderer::ReadInput() {
    if (!session_.Active() || !watching_) return;
    pollfd terminal{STDIN_FILENO, POLLIN, 0};
    if (::poll(&terminal, 1, 0) > 0 && (terminal.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        // The terminal is gone (SIGHUP is on its way, or ignored): stop polling it.
        WatchTerminal(false);
        hungUp_ = true;
        return;
    }
    RawKey keys[kMaxKeysPerPass + kMaxSequenceTail];
    for (;;) {
        size_t count = session_.ReadKeys(keys, kMaxKeysPerPass);
        // Alt+letter arrives as Escape and the letter, a key sequence as several characters:
        // keep each whole in one pass.
        if (count == kMaxKeysPerPass) {
            while (count < kMaxKeysPerPass + kMaxSequenceTail && EndsInsideSequence(keys, count)) {
                const size_t more = session_.ReadKeys(keys + count, 1);
                if (more == 0) break;
                count += more;
            }
        }
        if (count == 0) return;
        FeedInput(DecodeKeys(keys, count, &paste_));
        if (count < kMaxKeysPerPass) return;
    }
}

void TerminalRenderer::FeedInput(const std::vector<InputEvent>& events) {
    for (const InputEvent& e : events) {
        // While only the too-small notice is shown, what a person types is meant for no
        // window: it is dropped, not delivered to one they cannot see.
        if (e.kind == InputEvent::Kind::kResize)
            HandleResize();
        else if (!noticeShown_)
            FeedEvent(e);
    }
}

void TerminalRenderer::InputReady() {
    HandleSignals();
    ReadInput();
}

} // namespace qb::render::terminal
