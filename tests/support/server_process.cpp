// Free port, start, readiness probe, retry.
#include "tests/support/server_process.h"

#include <chrono>
#include <mutex>
#include <thread>

#include <ftw.h>
#include <pwd.h>
#include <unistd.h>

#include "tests/support/loopback.h"

namespace qb::test::detail {
namespace {

constexpr Millis kLogPoll{5};
constexpr int kOpenFolders = 16; // nftw's descriptors

// The owner nftw gives every entry: nftw passes no argument of its own, so it comes through
// these, under the lock.
std::mutex gHanding;
uid_t gNewOwner = 0;
gid_t gNewGroup = 0;

int ChownEntry(const char* path, const struct stat*, int, FTW*) {
    return ::lchown(path, gNewOwner, gNewGroup);
}

} // namespace

int startOnFreePort(ChildProcess& child, const std::string& program,
                    const std::function<std::vector<std::string>(int port)>& configure,
                    const std::function<std::string()>& describe, std::string& error, bool ipv6) {
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        const int port = pickFreePort();
        if (port == 0) {
            error = "no free port on 127.0.0.1";
            return 0;
        }
        const std::vector<std::string> args = configure(port);
        if (!child.start(program, args)) {
            error = child.error();
            return 0;
        }
        if (waitUntilAccepting(
                port, kAcceptLimit, [&] { return child.running(); }, ipv6) &&
            child.running()) {
            return port;
        }
        // Only a server that ended may have lost its port to another process.
        const bool ended = !child.running();
        child.stop();
        error = program + " did not start listening on port " + std::to_string(port) + ": " +
                child.errors() + describe();
        if (!ended) return 0;
    }
    return 0;
}

std::string firstExecutable(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

std::string replacePort(std::string text, int port) {
    const std::string placeholder = "{port}";
    const std::string value = std::to_string(port);
    for (size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
    return text;
}

bool waitForText(const std::function<std::string()>& read, std::string_view text, Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (read().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kLogPoll);
    }
    return true;
}

std::string passwordLine(const std::string& user, const std::string& password) {
    ProcessOptions options;
    options.input = password + "\n";
    const ProcessResult hashed = runProcess("openssl", {"passwd", "-apr1", "-stdin"}, options);
    if (!hashed.started || hashed.exitCode != 0 || hashed.out.empty()) return {};
    return user + ":" + hashed.out.substr(0, hashed.out.find('\n'));
}

bool handFolderTo(const std::string& folder, const std::string& user) {
    if (::geteuid() != 0) return true;
    std::lock_guard lock(gHanding);
    const passwd* entry = ::getpwnam(user.c_str());
    if (entry == nullptr) return false;
    gNewOwner = entry->pw_uid;
    gNewGroup = entry->pw_gid;
    return ::nftw(folder.c_str(), ChownEntry, kOpenFolders, FTW_PHYS) == 0;
}

} // namespace qb::test::detail
