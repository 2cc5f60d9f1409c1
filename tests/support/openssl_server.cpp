#include "tests/support/openssl_server.h"

#include "tests/support/loopback.h"

namespace qb::test {
namespace {

constexpr Millis kStartLimit{10000};

} // namespace

bool OpenSslServer::start(const CertificateFiles& files, bool ipv6,
                          const CertificateFiles* forLocalhost) {
    port_ = pickFreePort(); // free on 127.0.0.1; on ::1 a clash only fails this start
    if (port_ == 0) {
        error_ = "no free port";
        return false;
    }
    const std::string host = ipv6 ? "[::1]" : "127.0.0.1";
    std::vector<std::string> args = {"s_server",
                                     "-accept",
                                     host + ":" + std::to_string(port_),
                                     "-cert",
                                     files.certificate,
                                     "-key",
                                     files.key,
                                     "-rev",
                                     "-naccept",
                                     "1000"};
    if (ipv6) args.push_back("-6");
    if (forLocalhost != nullptr) {
        args.insert(args.end(), {"-servername", "localhost", "-cert2", forLocalhost->certificate,
                                 "-key2", forLocalhost->key});
    }
    if (!process_.start("openssl", args)) {
        error_ = process_.error();
        return false;
    }
    if (!process_.waitForOutput("ACCEPT", kStartLimit)) {
        error_ = "openssl s_server did not start: " + process_.errors();
        process_.stop();
        return false;
    }
    return true;
}

} // namespace qb::test
