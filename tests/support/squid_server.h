// Debian's squid (/usr/sbin/squid) as a real forwarding proxy for tests: in the foreground
// (-N) with its own configuration in a private temporary folder, listening on 127.0.0.1 at a
// free port, serving 127.0.0.1 and ::1 only, caching nothing, logging into the folder, and
// stopped by its process id. Its names come from a hosts file of its own, so a test can give
// squid alone a name (the downloader's resolver never sees that file); other names go to a
// DNS server on 127.0.0.1, where none answers. Optionally it asks for Basic credentials
// (basic_ncsa_auth with a password file made for the test). Started as root, squid drops to
// the user proxy, which is given the folder.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace qb::test {

struct SquidOptions {
    // When not empty, every request (and CONNECT) needs one of these Basic credentials: 407.
    std::vector<std::pair<std::string, std::string>> users;
    std::string realm = "proxy";
    // Names squid resolves to 127.0.0.1 (besides localhost).
    std::vector<std::string> hostNames;
    std::vector<std::string> extraConfig; // lines added to the configuration
};

class SquidServer {
public:
    static constexpr const char* kProgram = "/usr/sbin/squid";
    static constexpr const char* kBasicAuth = "/usr/lib/squid/basic_ncsa_auth";
    static bool available();

    explicit SquidServer(SquidOptions options = {});
    ~SquidServer(); // stop()
    SquidServer(const SquidServer&) = delete;
    SquidServer& operator=(const SquidServer&) = delete;

    // Writes the configuration, starts squid and waits until it accepts connections.
    bool start();
    void stop();
    bool running() { return child_.running(); }
    int port() const { return port_; }
    int pid() const { return child_.pid(); }
    // One line per finished transaction: "... RESULT/STATUS BYTES METHOD URL USER HIERARCHY/PEER
    // ..."
    // ("TCP_MISS/200 ... GET http://only.invalid:80/f user HIER_DIRECT/127.0.0.1").
    std::string accessLog() const;
    bool waitForAccessLog(std::string_view text, Millis limit = Millis{5000}) const;
    std::string cacheLog() const; // squid's own messages
    const std::string& error() const { return error_; }

private:
    std::string configuration(int port) const;

    SquidOptions options_;
    TempDir folder_;
    ChildProcess child_;
    int port_ = 0;
    std::string error_;
};

} // namespace qb::test
