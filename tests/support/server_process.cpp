// Free port, start, readiness probe, retry.
#include "tests/support/server_process.h"

#include <unistd.h>

#include "tests/support/loopback.h"

namespace qb::test::detail {

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

} // namespace qb::test::detail
