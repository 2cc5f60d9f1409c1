// The signals that concern a program holding the terminal, relayed so that handlers only do
// async-signal-safe work.
//
//  - SIGINT, SIGTERM, SIGHUP (ends), SIGTSTP (stop) and SIGWINCH (size): the handler marks
//    the signal pending and writes one byte to a self-pipe; the GUI thread's message loop
//    polls the pipe's read end, takes the pending signals and acts on them (it gives the
//    terminal back with ncurses before the signal takes its usual course). A second ending
//    signal while the first is still waiting acts at once, in the handler. SIGCONT is
//    counted, so that a stop the shell has already undone is not made afterwards.
//  - SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT: the handler restores the terminal
//    itself (tcsetattr and the terminal's own "leave" bytes, written with write(2)), puts
//    back the disposition that was there before and lets the signal take its course.
//
// Only signals whose disposition is the default are taken over (an ignored SIGHUP, as under
// nohup, stays ignored); the crash signals are chained to whatever handler was there
// (a sanitizer's, for instance).
#pragma once

#include <termios.h>

#include <cstddef>

namespace qb::render::terminal {

// Bytes that give the terminal back when written to it (attributes off, mouse off, paste
// marks off, keypad off, cursor shown, normal screen).
constexpr size_t kMaxLeaveBytes = 256;

// What the signal handlers restore. Set on the GUI thread before the terminal is changed.
struct EmergencyRestore {
    int ttyFd = -1;     // the terminal's input side: its modes are set through it
    int outputFd = -1;  // where the leave bytes go
    termios shellModes; // the modes the terminal had before it was taken
    char leave[kMaxLeaveBytes];
    size_t leaveLength = 0;
};

enum class RelayedSignal { kNone, kEnd, kStop, kResize };

class SignalRelay {
public:
    // Creates the self-pipe and installs the handlers. False (and nothing installed) when the
    // pipe can't be made. One relay at a time per process.
    bool Install();
    // Puts the previous dispositions back and closes the pipe.
    void Uninstall();
    bool Installed() const { return installed_; }

    // The descriptor that becomes readable when a relayed signal arrived.
    int ReadFd() const;
    // Empties the pipe and returns the next pending signal (kNone when there is none);
    // `number` receives the signal number.
    RelayedSignal TakePending(int* number);

    // The terminal is now changed: the handlers restore it from `restore` on a crash.
    // Async-signal-safe to read; call Disarm before the data changes again.
    void Arm(const EmergencyRestore& restore);
    void Disarm();

    // Whether SIGCONT came after the last SIGTSTP: the shell continued the program before
    // it could stop, and it must not stop now.
    bool ContinuedSinceStop() const;

    // Lets `number` take its default course now (it ends or stops the process), then puts
    // the relay's handler back (for a stop that returns when the process continues).
    static void RaiseDefault(int number);

private:
    bool installed_ = false;
};

} // namespace qb::render::terminal
