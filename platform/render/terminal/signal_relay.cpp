#include "platform/render/terminal/signal_relay.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace qb::render::terminal {

namespace {

struct Relayed {
    int number;
    RelayedSignal kind;
    std::atomic<bool> pending{false};
    bool taken = false;
    struct sigaction previous {};
};

// Ending signals first: when several wait, the program ends before it redraws.
Relayed gRelayed[] = {
    {SIGINT, RelayedSignal::kEnd},      {SIGTERM, RelayedSignal::kEnd},
    {SIGHUP, RelayedSignal::kEnd},      {SIGTSTP, RelayedSignal::kStop},
    {SIGWINCH, RelayedSignal::kResize},
};

struct Crash {
    int number;
    bool taken = false;
    struct sigaction previous {};
};

Crash gCrashes[] = {{SIGQUIT}, {SIGSEGV}, {SIGBUS}, {SIGFPE}, {SIGILL}, {SIGABRT}};

int gPipeRead = -1;
std::atomic<int> gPipeWrite{-1};
std::atomic<bool> gEndPending{false};
// Counts SIGCONT; a stop remembers the count it came at, so that a continue that overtook
// the GUI thread (fg typed before it could stop) is seen and the stop skipped.
std::atomic<unsigned> gContinues{0};
std::atomic<unsigned> gContinuesAtStop{0};
bool gContinueTaken = false;
struct sigaction gContinuePrevious {};

EmergencyRestore gRestore;
std::atomic<bool> gArmed{false};

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handlers need lock-free flags");

// Async-signal-safe: tcsetattr and write only.
void RestoreFromHandler() {
    if (!gArmed.exchange(false, std::memory_order_acq_rel)) return;
    tcsetattr(gRestore.ttyFd, TCSANOW, &gRestore.shellModes);
    size_t done = 0;
    while (done < gRestore.leaveLength) {
        ssize_t n = write(gRestore.outputFd, gRestore.leave + done, gRestore.leaveLength - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
}

Relayed* FindRelayed(int number) {
    for (Relayed& r : gRelayed)
        if (r.number == number) return &r;
    return nullptr;
}

Crash* FindCrash(int number) {
    for (Crash& c : gCrashes)
        if (c.number == number) return &c;
    return nullptr;
}

void DefaultAction(int number) {
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(number, &dfl, nullptr);
}

void RelayHandler(int number) {
    int savedErrno = errno;
    Relayed* relayed = FindRelayed(number);
    if (relayed != nullptr) {
        if (relayed->kind == RelayedSignal::kEnd &&
            gEndPending.exchange(true, std::memory_order_acq_rel)) {
            // The loop has not come round to the first one: end now. The signal is blocked
            // while this handler runs and is delivered with its default action on return.
            RestoreFromHandler();
            DefaultAction(number);
            raise(number);
        } else {
            if (relayed->kind == RelayedSignal::kStop)
                gContinuesAtStop.store(gContinues.load(std::memory_order_acquire),
                                       std::memory_order_release);
            relayed->pending.store(true, std::memory_order_release);
            int fd = gPipeWrite.load(std::memory_order_acquire);
            if (fd >= 0) {
                char byte = 1;
                ssize_t ignored = write(fd, &byte, 1); // a full pipe already wakes the loop
                (void)ignored;
            }
        }
    }
    errno = savedErrno;
}

void ContinueHandler(int) {
    gContinues.fetch_add(1, std::memory_order_acq_rel);
}

void CrashHandler(int number, siginfo_t* info, void*) {
    int savedErrno = errno;
    RestoreFromHandler();
    if (Crash* crash = FindCrash(number))
        sigaction(number, &crash->previous, nullptr);
    else
        DefaultAction(number);
    // A signal that was sent (kill, raise, abort) is sent again; a fault repeats by itself
    // when the faulting instruction runs again under the previous disposition.
    if (info == nullptr || info->si_code <= 0) raise(number);
    errno = savedErrno;
}

bool IsDefault(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL;
}

bool IsIgnored(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_IGN;
}

} // namespace

bool SignalRelay::Install() {
    if (installed_) return true;
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    gPipeRead = fds[0];
    gPipeWrite.store(fds[1], std::memory_order_release);
    gEndPending.store(false, std::memory_order_release);

    for (Relayed& r : gRelayed) {
        r.pending.store(false, std::memory_order_relaxed);
        struct sigaction current;
        if (sigaction(r.number, nullptr, &current) != 0 || !IsDefault(current)) continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = RelayHandler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        r.taken = sigaction(r.number, &action, &r.previous) == 0;
    }
    struct sigaction continueNow;
    if (sigaction(SIGCONT, nullptr, &continueNow) == 0 && IsDefault(continueNow)) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = ContinueHandler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        gContinueTaken = sigaction(SIGCONT, &action, &gContinuePrevious) == 0;
    }
    for (Crash& c : gCrashes) {
        struct sigaction current;
        if (sigaction(c.number, nullptr, &current) != 0 || IsIgnored(current)) continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = CrashHandler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO;
        c.taken = sigaction(c.number, &action, &c.previous) == 0;
    }
    installed_ = true;
    return true;
}

void SignalRelay::Uninstall() {
    if (!installed_) return;
    Disarm();
    for (Relayed& r : gRelayed) {
        if (r.taken) sigaction(r.number, &r.previous, nullptr);
        r.taken = false;
    }
    for (Crash& c : gCrashes) {
        if (c.taken) sigaction(c.number, &c.previous, nullptr);
        c.taken = false;
    }
    if (gContinueTaken) sigaction(SIGCONT, &gContinuePrevious, nullptr);
    gContinueTaken = false;
    int writeFd = gPipeWrite.exchange(-1, std::memory_order_acq_rel);
    if (writeFd >= 0) close(writeFd);
    if (gPipeRead >= 0) close(gPipeRead);
    gPipeRead = -1;
    installed_ = false;
}

int SignalRelay::ReadFd() const {
    return gPipeRead;
}

RelayedSignal SignalRelay::TakePending(int* number) {
    char drain[64];
    while (gPipeRead >= 0 && read(gPipeRead, drain, sizeof drain) > 0) {}
    for (Relayed& r : gRelayed) {
        if (r.pending.exchange(false, std::memory_order_acq_rel)) {
            if (number != nullptr) *number = r.number;
            return r.kind;
        }
    }
    return RelayedSignal::kNone;
}

void SignalRelay::Arm(const EmergencyRestore& restore) {
    gArmed.store(false, std::memory_order_release);
    gRestore = restore;
    gArmed.store(true, std::memory_order_release);
}

void SignalRelay::Disarm() {
    gArmed.store(false, std::memory_order_release);
}

bool SignalRelay::ContinuedSinceStop() const {
    return gContinueTaken && gContinues.load(std::memory_order_acquire) !=
                                 gContinuesAtStop.load(std::memory_order_acquire);
}

void SignalRelay::RaiseDefault(int number) {
    Relayed* relayed = FindRelayed(number);
    struct sigaction mine;
    bool restoreMine =
        relayed != nullptr && relayed->taken && sigaction(number, nullptr, &mine) == 0;
    DefaultAction(number);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(number);
    // Still here: the signal stopped the process and it was continued.
    if (restoreMine) sigaction(number, &mine, nullptr);
}

} // namespace qb::render::terminal
