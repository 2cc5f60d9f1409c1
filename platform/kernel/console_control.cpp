// SetConsoleCtrlHandler over POSIX signals: the signal handler only writes the signal's
// number into a pipe; a thread of its own reads it and calls the handlers, as Windows runs
// them on a new thread. A signal no handler takes is raised again with its default action.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include <windows.h>

namespace {

struct Event {
    int signalNumber;
    DWORD ctrlType;
};
constexpr Event kEvents[] = {
    {SIGINT, CTRL_C_EVENT}, {SIGHUP, CTRL_CLOSE_EVENT}, {SIGTERM, CTRL_SHUTDOWN_EVENT}};

std::mutex gMutex;
std::vector<PHANDLER_ROUTINE>* gHandlers = nullptr; // never freed: the thread may outlive main
int gPipe[2] = {-1, -1};

void WriteNumber(int number) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    ssize_t ignored = write(gPipe[1], &byte, 1);
    (void)ignored;
    errno = savedErrno;
}

void RaiseDefault(int number) {
    struct sigaction fallback;
    std::memset(&fallback, 0, sizeof fallback);
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(number, &fallback, nullptr);
    raise(number);
}

void Dispatch() {
    for (;;) {
        unsigned char byte = 0;
        const ssize_t got = read(gPipe[0], &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        DWORD type = CTRL_C_EVENT;
        for (const Event& event : kEvents) {
            if (event.signalNumber == byte) type = event.ctrlType;
        }
        std::vector<PHANDLER_ROUTINE> handlers;
        {
            std::lock_guard<std::mutex> lock(gMutex);
            handlers = *gHandlers;
        }
        bool taken = false;
        for (auto it = handlers.rbegin(); it != handlers.rend() && !taken; ++it) {
            taken = (*it)(type) != FALSE;
        }
        if (!taken) RaiseDefault(byte);
    }
}

// Called once, under the mutex.
bool Install() {
    if (pipe(gPipe) != 0) return false;
    fcntl(gPipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(gPipe[1], F_SETFD, FD_CLOEXEC);
    fcntl(gPipe[1], F_SETFL, O_NONBLOCK); // a full pipe already holds an event
    std::thread(Dispatch).detach();
    for (const Event& event : kEvents) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = WriteNumber;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(event.signalNumber, &action, nullptr);
    }
    return true;
}

} // namespace

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
    if (HandlerRoutine == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(gMutex);
    if (gHandlers == nullptr) {
        gHandlers = new (std::nothrow) std::vector<PHANDLER_ROUTINE>;
        if (gHandlers == nullptr || !Install()) {
            delete gHandlers;
            gHandlers = nullptr;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
    }
    if (Add) {
        gHandlers->push_back(HandlerRoutine);
        return TRUE;
    }
    for (auto it = gHandlers->rbegin(); it != gHandlers->rend(); ++it) {
        if (*it == HandlerRoutine) {
            gHandlers->erase(std::next(it).base());
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
