// qb_scripted_server run as a separate process, for whole-program tests: the script text is
// written into a private folder (where files it names may be put too), the port read from
// the program's port file, the recorded requests from its requests file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/script_file.h"
#include "tests/support/temp_dir.h"

namespace qb::test {

inline constexpr Millis kServerStartLimit{10000};

class ScriptedServerProcess {
public:
    // The program's path: $QB_BINARY_DIR/qb_scripted_server, else the build's own.
    static std::string programPath();

    ScriptedServerProcess();
    ~ScriptedServerProcess(); // stop()

    // The folder the script is written to; relative send-file/ok-file/range-file names are
    // taken from it. Fill it before start.
    const TempDir& folder() const { return folder_; }
    // Starts the program with the script; true once its port is known.
    bool start(std::string_view scriptText, Millis limit = Millis{120000});
    int port() const { return port_; }
    int pid() const { return child_.pid(); }
    // Ends one stall (SIGUSR1).
    void release();
    // Waits for the program to end by itself (the script done); true when it has.
    bool waitForExit(Millis limit);
    int exitCode() const { return child_.exitCode(); }
    // SIGTERM (then SIGKILL); always reaped.
    void stop();
    // What the program has recorded so far (finished connections), or at its exit.
    std::vector<RecordedRequest> requests() const;
    std::string errors() const { return child_.errors(); }
    const std::string& error() const { return error_; }

private:
    TempDir folder_;
    ChildProcess child_;
    int port_ = 0;
    std::string error_;
};

} // namespace qb::test
