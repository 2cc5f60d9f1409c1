// Child processes for tests: run a program to its end with a time limit, or keep one running
// in the background and stop it by its process id.
//
// A child gets its own process group, default dispositions for the usual signals, an empty
// signal mask, standard input from options.input (else empty), and standard output and error
// captured into files. It is killed (SIGKILL) if the thread that started it dies, so a
// crashed test leaves no server behind: start children from a thread that outlives them.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_dir.h"

namespace qb::test {

using Millis = std::chrono::milliseconds;

inline constexpr Millis kDefaultRunLimit{60000};
inline constexpr Millis kStopGrace{3000}; // from SIGTERM to SIGKILL

struct ProcessOptions {
    std::vector<std::string> env;      // "NAME=value", set on top of this process's environment
    std::vector<std::string> unsetEnv; // names taken out of it
    std::string workDir;               // empty: this process's
    std::string input;                 // standard input
    Millis limit = kDefaultRunLimit;   // runProcess only: then SIGTERM, and SIGKILL after grace
};

struct ProcessResult {
    bool started = false;  // the program was executed
    bool timedOut = false; // it ran past the limit and was stopped
    int exitCode = -1;     // 0..255 when it exited, else -1
    int signal = 0;        // the signal that ended it, else 0
    std::string out;
    std::string err;
    std::string error; // why it did not start
    Millis elapsed{0}; // from the start to its end
    Millis cpu{0};     // user and system time it used (its waited-for children included)
};

// Runs program (a path, or a name looked up in PATH) with args (argv[1..]) until it ends or
// the limit passes; always reaped.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

// Sends signal to the main thread of process pid, where the kernel delivers a signal sent to
// the process whenever that thread takes it. Under qemu-user (the armhf suites) the emulator
// blocks host signals on a thread while it handles one, and a signal sent to the process
// then lands on another guest thread, idle in a system call, and stays pending there.
bool signalMainThread(int pid, int signal);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // stop()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False (with error()) when it could not be executed. options.limit is not used.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const ProcessOptions& options = {});
    int pid() const { return pid_; }
    // True while it has not exited; an exited child is reaped here.
    bool running();
    // Waits up to limit for it to exit; true when it has.
    bool wait(Millis limit);
    // SIGTERM, then SIGKILL to its process group after grace; always reaped. Also ends what
    // is left of its process group after it exited.
    void stop(Millis grace = kStopGrace);

    bool exited() const { return reaped_; }
    int exitCode() const { return exitCode_; } // 0..255, or -1 when killed by a signal
    int termSignal() const { return signal_; }
    Millis cpuTime() const { return cpu_; } // once reaped
    std::string output() const;             // captured standard output so far
    std::string errors() const;             // captured standard error so far
    std::string outputPath() const;
    std::string errorPath() const;
    const std::string& error() const { return error_; }
    // Waits until the captured standard output contains text; false on limit or exit.
    bool waitForOutput(std::string_view text, Millis limit);

private:
    bool hasExited(); // without reaping
    void reap();

    int pid_ = -1;
    bool reaped_ = false;
    int exitCode_ = -1;
    int signal_ = 0;
    Millis cpu_{0};
    std::string error_;
    std::optional<TempDir> captures_;
};

} // namespace qb::test
