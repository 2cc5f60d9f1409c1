// qb_fault_launcher: starts a program under the fault a test wants it to meet.
//
//   qb_fault_launcher [--file-size-limit BYTES [--keep-file-size-signal]] [--user NAME]
//                     -- PROGRAM [ARGS...]
//
// --file-size-limit sets RLIMIT_FSIZE (soft and hard) to exactly BYTES and ignores SIGXFSZ
// (an ignored signal stays ignored across exec), so that a write beyond that length fails
// with an error, as on a full device. --keep-file-size-signal leaves SIGXFSZ at its default
// instead, as a shell's "ulimit -f" does: the program then has to take care of it itself.
// --user gives up root for that account (its group, no supplementary groups), so that file
// permissions apply to the program.
// Exits 2 for a bad command line, 3 when the fault can't be set up, 4 when exec fails.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kBadCommandLine = 2;
constexpr int kSetupFailed = 3;
constexpr int kExecFailed = 4;

int Usage() {
    std::fprintf(stderr,
                 "usage: qb_fault_launcher [--file-size-limit BYTES [--keep-file-size-signal]] "
                 "[--user NAME] -- PROGRAM [ARGS...]\n");
    return kBadCommandLine;
}

bool ParseBytes(const char* text, rlim_t* bytes) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *bytes = static_cast<rlim_t>(value);
    return true;
}

bool LimitFileSize(rlim_t bytes) {
    const struct rlimit limit = {bytes, bytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool BecomeUser(const char* name) {
    const struct passwd* account = getpwnam(name);
    if (account == nullptr) return false;
    return setgroups(0, nullptr) == 0 && setgid(account->pw_gid) == 0 &&
           setuid(account->pw_uid) == 0 && geteuid() == account->pw_uid;
}

} // namespace

int main(int argc, char** argv) {
    int at = 1;
    bool hasLimit = false;
    bool keepSignal = false;
    rlim_t limit = 0;
    const char* user = nullptr;
    for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
        if (std::strcmp(argv[at], "--file-size-limit") == 0 && at + 1 < argc) {
            if (!ParseBytes(argv[++at], &limit)) return Usage();
            hasLimit = true;
        } else if (std::strcmp(argv[at], "--keep-file-size-signal") == 0) {
            keepSignal = true;
        } else if (std::strcmp(argv[at], "--user") == 0 && at + 1 < argc) {
            user = argv[++at];
        } else {
            return Usage();
        }
    }
    if (at + 1 >= argc) return Usage();
    char** program = argv + at + 1;

    if (hasLimit && !LimitFileSize(limit)) {
        std::perror("qb_fault_launcher: setrlimit");
        return kSetupFailed;
    }
    if (hasLimit && !keepSignal && std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR) {
        std::perror("qb_fault_launcher: signal");
        return kSetupFailed;
    }
    if (user != nullptr && !BecomeUser(user)) {
        std::fprintf(stderr, "qb_fault_launcher: can't become %s\n", user);
        return kSetupFailed;
    }
    execv(program[0], program);
    std::perror("qb_fault_launcher: exec");
    return kExecFailed;
}
