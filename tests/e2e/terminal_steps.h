// The steps of a run in a terminal: keys and text sent to the pane, the pane resized, a signal
// sent to the program, a scripted server released, and the waits on what the screen shows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/case_file.h"
#include "tests/support/scripted_server.h"
#include "tests/tui/tmux_session.h"

namespace qb::test::e2e {

struct TerminalStepsContext {
    std::string casePath; // for failure locations
    int columns = 0;      // the pane's size when the program starts
    int rows = 0;
    std::string pidFile; // where the program's process id is written when it starts
    // Resolves the placeholders of a text; false (with a failure at the line) when it cannot.
    std::function<bool(std::string& text, int line)> resolve;
    // The scripted server of that name (the parser made sure it exists), or nothing.
    std::function<ScriptedServer*(const std::string& name)> scripted;
};

// Does the steps in order; false, with a failure at its line, after the first that fails.
bool runTerminalSteps(TmuxSession& terminal, const std::vector<TerminalStep>& steps,
                      const TerminalStepsContext& context);

// What differs, once the program has ended, from the terminal the shell had: the alternate
// screen, cursor, mouse and keypad modes, the stty settings (as `stty -g` printed them before
// and after), the dialog's caption still on the screen. Empty when nothing does.
std::string terminalNotGivenBack(TmuxSession& terminal, const std::string& sttyBefore,
                                 const std::string& sttyAfter, const std::string& caption);

} // namespace qb::test::e2e
