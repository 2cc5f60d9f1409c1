// The terminal renderer (platform/render/terminal): shows the composed screen of every
// visible window in the user's terminal with ncursesw, and turns the terminal's keys, mouse
// clicks and size changes into the input of qb/render.h.
//
// Start-up calls AttachIfTerminal() once, on the thread that will run the message loop,
// before the first window is created:
//
//     int main(int argc, char** argv) {
//         qb::render::terminal::AttachIfTerminal();
//         ...  // create the dialogs, run the message loop
//     }
//
// and links qb_platform_terminal. Nothing else is needed: the terminal is given back by
// itself at exit.
//
// The terminal is taken (ncurses started, alternate screen, keypad, mouse) only when a
// window first becomes visible, and given back whenever no window is visible any more (it
// is taken again when one is), at exit, at DetachTerminal(), on SIGINT, SIGTERM, SIGHUP and
// after SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT; the signal then takes its usual
// course (the exit status says which). Ctrl+Z gives the terminal back while the program is
// stopped. A program whose windows stay hidden never writes a byte to the terminal, and
// while no window is shown the signals keep their usual effect.
#pragma once

namespace qb::render::terminal {

// Attaches the terminal renderer to the calling thread (which becomes the GUI thread) when
// standard input and standard output are both a terminal and TERM names a usable terminal
// type (known to terminfo, cursor addressing, not "dumb"). Returns true when it attached
// (also when it already was). Otherwise nothing changes: the program runs headless and
// MessageBoxW keeps writing to standard error.
bool AttachIfTerminal();

// Gives the terminal back, detaches the renderer and undoes the signal handlers. Call it on
// the GUI thread; harmless when nothing is attached. Exit does it by itself.
void DetachTerminal();

// Whether the terminal renderer is attached (the terminal may not be taken yet).
bool TerminalAttached();

} // namespace qb::render::terminal
