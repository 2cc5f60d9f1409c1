// nginx (/usr/sbin/nginx) as a real HTTP server for tests: its configuration, logs, pid file
// and document root all live in a private temporary folder; it runs in the foreground as a
// single process (master_process off, daemon off) on 127.0.0.1 at a free port, and is stopped
// by its process id. Static files are served with byte ranges (206 for "Range: bytes=N-").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

namespace qb::test {

// A location behind Basic authentication (users kept as "user:{PLAIN}password").
struct NginxAuth {
    std::string location = "/private/";
    std::string realm = "files";
    std::vector<std::pair<std::string, std::string>> users = {{"user", "secret"}};
};

// "location = from { return status to; }". A target beginning with "/" becomes the server's
// own url(to); in any other, "{port}" is replaced by the port.
struct NginxRedirect {
    std::string from = "/redirect";
    std::string to = "/target";
    int status = 302;
};

struct NginxOptions {
    std::vector<NginxAuth> auth = {NginxAuth{}};
    std::vector<NginxRedirect> redirects = {NginxRedirect{}};
    // Added inside the server block; "{port}" is replaced by the port.
    std::string extraServerConfig;
    // The listeners: 127.0.0.1 and/or [::1], plain or TLS with these files.
    bool ipv4 = true;
    bool ipv6 = false;
    std::optional<CertificateFiles> tls;
};

class NginxServer {
public:
    static constexpr const char* kProgram = "/usr/sbin/nginx";
    static bool available();

    explicit NginxServer(NginxOptions options = {});
    ~NginxServer(); // stop()
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Writes the configuration, starts nginx and waits until it accepts connections.
    bool start();
    void stop();
    bool running() { return child_.running(); }
    int port() const { return port_; }
    int pid() const { return child_.pid(); }
    // "http://127.0.0.1:PORT" + path ("https" with TLS, "[::1]" when only IPv6 listens).
    std::string url(std::string_view path) const;

    // The document root; files may be added before or after start.
    std::string docRoot() const { return folder_.file("www"); }
    bool writeFile(std::string_view relativePath, std::string_view bytes) const;
    std::string errorLog() const;
    std::string accessLog() const;
    // nginx logs a request after answering it: waits until the access log contains text.
    bool waitForAccessLog(std::string_view text, Millis limit = Millis{5000}) const;
    const std::string& error() const { return error_; }

private:
    std::string configuration(int port) const;
    std::string base(int port) const;

    NginxOptions options_;
    TempDir folder_;
    ChildProcess child_;
    int port_ = 0;
    std::string error_;
};

} // namespace qb::test
