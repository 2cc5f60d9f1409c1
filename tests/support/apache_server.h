// Debian's apache2 (/usr/sbin/apache2) as a real HTTP server for tests, with its request
// parsing as shipped (strict: a request line or header that ends in a bare line feed is
// refused with 400). Its configuration, logs, pid file, locks and document root live in a
// private temporary folder; the configuration is complete in itself (no /etc/apache2, no
// Debian environment variables). It runs in the foreground (-DFOREGROUND) on 127.0.0.1 at a
// free port, plain or with mod_ssl, and is stopped by its process id. Started as root, its
// workers run as www-data, so the folder is left readable to them.
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

// A location behind Basic authentication.
struct ApacheAuth {
    std::string location = "/private/";
    std::string realm = "files";
    std::vector<std::pair<std::string, std::string>> users = {{"user", "secret"}};
};

// The path from (exactly) answers status with Location to. A target beginning with "/" is
// on this server (url(to)); in any other, "{port}" is replaced by the port.
struct ApacheRedirect {
    std::string from = "/redirect";
    std::string to = "/target";
    int status = 302;
};

struct ApacheOptions {
    std::vector<ApacheAuth> auth = {ApacheAuth{}};
    std::vector<ApacheRedirect> redirects = {ApacheRedirect{}};
    // Appended to the configuration; "{port}" is replaced by the port.
    std::string extraConfig;
    std::optional<CertificateFiles> tls; // https with these files
};

class ApacheServer {
public:
    static constexpr const char* kProgram = "/usr/sbin/apache2";
    static constexpr const char* kModules = "/usr/lib/apache2/modules";
    static bool available();

    explicit ApacheServer(ApacheOptions options = {});
    ~ApacheServer(); // stop()
    ApacheServer(const ApacheServer&) = delete;
    ApacheServer& operator=(const ApacheServer&) = delete;

    // Writes the configuration, starts apache2 and waits until it accepts connections.
    bool start();
    void stop();
    bool running() { return child_.running(); }
    int port() const { return port_; }
    int pid() const { return child_.pid(); }
    // "http://127.0.0.1:PORT" + path ("https" with TLS).
    std::string url(std::string_view path) const;

    // The document root; files may be added before or after start.
    std::string docRoot() const { return folder_.file("www"); }
    bool writeFile(std::string_view relativePath, std::string_view bytes) const;
    std::string errorLog() const;
    // One line per answered request: "CLIENT \"REQUEST LINE\" STATUS BYTES".
    std::string accessLog() const;
    bool waitForAccessLog(std::string_view text, Millis limit = Millis{5000}) const;
    const std::string& error() const { return error_; }

private:
    std::string configuration(int port) const;
    std::string base(int port) const;

    ApacheOptions options_;
    TempDir folder_;
    ChildProcess child_;
    int port_ = 0;
    std::string error_;
};

} // namespace qb::test
