// SquidServer: configuration text and start-up.
#include "tests/support/squid_server.h"

#include "tests/support/server_process.h"

namespace qb::test {
namespace {

// The user squid switches to when started as root (Debian's package makes it).
constexpr const char* kSquidUser = "proxy";

} // namespace

bool SquidServer::available() {
    return !detail::firstExecutable({kProgram}).empty();
}

SquidServer::SquidServer(SquidOptions options)
    : options_(std::move(options)), folder_("qb-squid") {}

SquidServer::~SquidServer() {
    stop();
}

std::string SquidServer::configuration(int port) const {
    std::string conf = "# Written by the test helper SquidServer.\n";
    conf += "http_port 127.0.0.1:" + std::to_string(port) + "\n";
    conf += "pid_filename " + folder_.file("squid.pid") + "\n";
    conf += "access_log stdio:" + folder_.file("access.log") + "\n";
    conf += "cache_log " + folder_.file("cache.log") + "\n";
    conf += "coredump_dir " + folder_.path() + "\n";
    conf += "cache_effective_user " + std::string(kSquidUser) + "\n";
    // Nothing kept between requests, nothing but the listener and the origin connections.
    conf += "cache deny all\ncache_mem 0 MB\ncache_store_log none\nnetdb_filename none\n";
    conf += "pinger_enable off\nvisible_hostname localhost\n";
    // SIGTERM ends it at once instead of after 30 s of waiting for clients.
    conf += "shutdown_lifetime 0 seconds\n";
    conf += "hosts_file " + folder_.file("hosts") + "\n";
    // Nobody answers DNS on 127.0.0.1: a name not in the hosts file fails within about two
    // seconds (a 502), not 30, and no query leaves the machine.
    conf += "dns_nameservers 127.0.0.1\ndns_timeout 1 seconds\n";
    conf += "dns_retransmit_interval 100 milliseconds\n";
    conf += "acl localnet src 127.0.0.1/32 ::1\n";
    conf += "http_access deny !localnet\n";
    if (!options_.users.empty()) {
        conf += "auth_param basic program " + std::string(kBasicAuth) + " " +
                folder_.file("passwords") + "\n";
        conf += "auth_param basic children 1\n";
        conf += "auth_param basic realm " + options_.realm + "\n";
        conf += "acl users proxy_auth REQUIRED\n";
        conf += "http_access allow users\n";
    } else {
        conf += "http_access allow localnet\n";
    }
    conf += "http_access deny all\n";
    for (const auto& line : options_.extraConfig) conf += line + "\n";
    return conf;
}

bool SquidServer::start() {
    if (!available()) {
        error_ = "squid is not installed";
        return false;
    }
    if (!folder_.valid()) {
        error_ = "cannot make the server folder";
        return false;
    }
    std::string hosts = "127.0.0.1 localhost";
    for (const auto& name : options_.hostNames) hosts += " " + name;
    std::string passwords;
    for (const auto& [user, password] : options_.users) {
        const std::string line = detail::passwordLine(user, password);
        if (line.empty()) {
            error_ = "openssl passwd failed";
            return false;
        }
        passwords += line + "\n";
    }
    if (!folder_.write("hosts", hosts + "\n") || !folder_.write("passwords", passwords)) {
        error_ = "cannot write the hosts or password file";
        return false;
    }
    if (!detail::handFolderTo(folder_.path(), kSquidUser)) {
        error_ = std::string("cannot give the folder to the user ") + kSquidUser;
        return false;
    }
    port_ = detail::startOnFreePort(
        child_, kProgram,
        [&](int port) -> std::vector<std::string> {
            folder_.write("squid.conf", configuration(port));
            // The service name names squid's shared memory (/dev/shm/NAME-cf__*.shm): one
            // of its own, or two squids at once (other tests, other users) take each other's.
            return {"-N", "-n", "qbsquid" + std::to_string(port), "-f", folder_.file("squid.conf")};
        },
        [&] { return "\n" + cacheLog(); }, error_);
    return port_ != 0;
}

void SquidServer::stop() {
    child_.stop();
}

std::string SquidServer::accessLog() const {
    return folder_.read("access.log").value_or("");
}

bool SquidServer::waitForAccessLog(std::string_view text, Millis limit) const {
    return detail::waitForText([this] { return accessLog(); }, text, limit);
}

std::string SquidServer::cacheLog() const {
    return folder_.read("cache.log").value_or("");
}

} // namespace qb::test
