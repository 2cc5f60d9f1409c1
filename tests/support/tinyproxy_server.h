// tinyproxy as a real HTTP proxy for tests: in the foreground (-d) with its own configuration
// in a private temporary folder, listening on 127.0.0.1 at a free port, allowing 127.0.0.1,
// without upstream proxies, logging into the folder; stopped by its process id.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace qb::test {

struct TinyproxyOptions {
    std::vector<std::string> extraConfig; // lines added to the configuration
};

class TinyproxyServer {
public:
    // /usr/bin/tinyproxy or /usr/sbin/tinyproxy; empty when neither is there.
    static std::string program();
    static bool available() { return !program().empty(); }

    explicit TinyproxyServer(TinyproxyOptions options = {});
    ~TinyproxyServer(); // stop()
    TinyproxyServer(const TinyproxyServer&) = delete;
    TinyproxyServer& operator=(const TinyproxyServer&) = delete;

    bool start();
    void stop();
    bool running() { return child_.running(); }
    int port() const { return port_; }
    int pid() const { return child_.pid(); }
    std::string log() const;
    const std::string& error() const { return error_; }

private:
    std::string configuration(int port) const;

    TinyproxyOptions options_;
    TempDir folder_;
    ChildProcess child_;
    int port_ = 0;
    std::string error_;
};

} // namespace qb::test
