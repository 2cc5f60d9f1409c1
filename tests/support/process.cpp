// fork/exec with everything the child needs prepared before the fork: in a threaded process
// the child may only make async-signal-safe calls until it executes the program.
#include "tests/support/process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qb::test {
namespace {

constexpr Millis kLongestPoll{10};
constexpr int kResetSignals[] = {SIGPIPE, SIGTERM, SIGINT,  SIGHUP,  SIGQUIT,
                                 SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM, SIGWINCH};

// argv/envp as the exec call wants them; the strings live in the vectors.
struct CStrings {
    std::vector<std::string> items;
    std::vector<char*> pointers;
    char** get() {
        pointers.clear();
        for (auto& item : items) pointers.push_back(item.data());
        pointers.push_back(nullptr);
        return pointers.data();
    }
};

std::string nameOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

CStrings buildEnvironment(const ProcessOptions& options) {
    CStrings env;
    auto overridden = [&](const std::string& entry) {
        const std::string name = nameOf(entry);
        if (std::find(options.unsetEnv.begin(), options.unsetEnv.end(), name) !=
            options.unsetEnv.end()) {
            return true;
        }
        return std::any_of(options.env.begin(), options.env.end(),
                           [&](const std::string& e) { return nameOf(e) == name; });
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!overridden(*e)) env.items.emplace_back(*e);
    }
    for (const auto& entry : options.env) env.items.push_back(entry);
    return env;
}

// The program's path: as given when it names a folder, else the first match in PATH.
std::string locate(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(begin, end - begin);
        candidate = (candidate.empty() ? "." : candidate) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        begin = end + 1;
    }
    return program;
}

void sleepFor(Millis& step) {
    std::this_thread::sleep_for(step);
    step = std::min(step * 2, kLongestPoll);
}

} // namespace

bool signalMainThread(int pid, int signal) {
    return syscall(SYS_tgkill, pid, pid, signal) == 0;
}

ChildProcess::~ChildProcess() {
    stop();
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    if (pid_ > 0 && !reaped_) {
        error_ = "a child is already running";
        return false;
    }
    pid_ = -1;
    reaped_ = false;
    exitCode_ = -1;
    signal_ = 0;
    captures_.emplace("qb-child");
    if (!captures_->valid() || !captures_->write("stdin", options.input)) {
        error_ = "cannot make the capture folder";
        return false;
    }
    const std::string path = locate(program);
    CStrings argv;
    argv.items.push_back(program);
    argv.items.insert(argv.items.end(), args.begin(), args.end());
    CStrings env = buildEnvironment(options);
    const std::string inPath = captures_->file("stdin");
    const std::string outPath = outputPath();
    const std::string errPath = errorPath();
    char** argvPointers = argv.get();
    char** envPointers = env.get();
    sigset_t noSignals;
    sigemptyset(&noSignals);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error_ = "pipe: " + std::string(std::strerror(errno));
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        error_ = "fork: " + std::string(std::strerror(errno));
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        for (int sig : kResetSignals) ::sigaction(sig, &byDefault, nullptr);
        ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
        const int in = ::open(inPath.c_str(), O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int failure = 0;
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0) {
            failure = errno;
        } else if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0) {
            failure = errno;
        } else {
            ::execve(path.c_str(), argvPointers, envPointers);
            failure = errno;
        }
        [[maybe_unused]] ssize_t ignored = ::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(report[1]);
    ::setpgid(child, child); // also done by the child; whichever runs first wins
    pid_ = child;
    int failure = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &failure, sizeof failure);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n > 0) {
        reap();
        error_ = "cannot execute " + path + ": " + std::strerror(failure);
        return false;
    }
    return true;
}

bool ChildProcess::hasExited() {
    if (pid_ <= 0 || reaped_) return true;
    siginfo_t info{};
    if (::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return true;
    return info.si_pid != 0;
}

// The exited leader still holds its process id, so its group cannot have been reused yet.
void ChildProcess::reap() {
    if (pid_ <= 0 || reaped_) return;
    ::kill(-pid_, SIGKILL);
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {}
    reaped_ = true;
    const auto millis = [](const timeval& t) { return Millis{t.tv_sec * 1000 + t.tv_usec / 1000}; };
    cpu_ = millis(usage.ru_utime) + millis(usage.ru_stime);
    if (WIFEXITED(status)) {
        exitCode_ = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        signal_ = WTERMSIG(status);
    }
}

bool ChildProcess::running() {
    if (pid_ <= 0 || reaped_) return false;
    if (!hasExited()) return true;
    reap();
    return false;
}

bool ChildProcess::wait(Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Millis step{1};
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        sleepFor(step);
    }
    return pid_ > 0;
}

void ChildProcess::stop(Millis grace) {
    if (!running()) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    Millis step{1};
    while (!hasExited() && std::chrono::steady_clock::now() < deadline) sleepFor(step);
    if (!hasExited()) ::kill(pid_, SIGKILL);
    reap();
}

std::string ChildProcess::outputPath() const {
    return captures_ ? captures_->file("stdout") : std::string();
}

std::string ChildProcess::errorPath() const {
    return captures_ ? captures_->file("stderr") : std::string();
}

std::string ChildProcess::output() const {
    return captures_ ? captures_->read("stdout").value_or("") : std::string();
}

std::string ChildProcess::errors() const {
    return captures_ ? captures_->read("stderr").value_or("") : std::string();
}

bool ChildProcess::waitForOutput(std::string_view text, Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Millis step{1};
    for (;;) {
        if (output().find(text) != std::string::npos) return true;
        if (!running() || std::chrono::steady_clock::now() >= deadline) {
            return output().find(text) != std::string::npos;
        }
        sleepFor(step);
    }
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    ProcessResult result;
    ChildProcess child;
    const auto started = std::chrono::steady_clock::now();
    if (!child.start(program, args, options)) {
        result.error = child.error();
        return result;
    }
    result.started = true;
    if (!child.wait(options.limit)) {
        result.timedOut = true;
        child.stop();
    }
    result.elapsed = std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - started);
    result.cpu = child.cpuTime();
    result.exitCode = child.exitCode();
    result.signal = child.termSignal();
    result.out = child.output();
    result.err = child.errors();
    return result;
}

} // namespace qb::test
