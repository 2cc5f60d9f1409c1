// TinyproxyServer: configuration text and start-up.
#include "tests/support/tinyproxy_server.h"

#include "tests/support/server_process.h"

namespace qb::test {

std::string TinyproxyServer::program() {
    return detail::firstExecutable({"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"});
}

TinyproxyServer::TinyproxyServer(TinyproxyOptions options)
    : options_(std::move(options)), folder_("qb-tinyproxy") {}

TinyproxyServer::~TinyproxyServer() {
    stop();
}

std::string TinyproxyServer::configuration(int port) const {
    std::string conf = "# Written by the test helper TinyproxyServer.\n";
    conf += "Port " + std::to_string(port) + "\n";
    conf += "Listen 127.0.0.1\n";
    conf += "Timeout 30\n";
    conf += "MaxClients 16\n";
    conf += "Allow 127.0.0.1\n";
    conf += "LogFile \"" + folder_.file("tinyproxy.log") + "\"\n";
    conf += "LogLevel Info\n";
    conf += "PidFile \"" + folder_.file("tinyproxy.pid") + "\"\n";
    for (const auto& line : options_.extraConfig) conf += line + "\n";
    return conf;
}

bool TinyproxyServer::start() {
    const std::string path = program();
    if (path.empty()) {
        error_ = "tinyproxy is not installed";
        return false;
    }
    if (!folder_.valid()) {
        error_ = "cannot make the server folder";
        return false;
    }
    port_ = detail::startOnFreePort(
        child_, path,
        [&](int port) -> std::vector<std::string> {
            folder_.write("tinyproxy.conf", configuration(port));
            return {"-d", "-c", folder_.file("tinyproxy.conf")};
        },
        [&] { return "\n" + log(); }, error_);
    return port_ != 0;
}

void TinyproxyServer::stop() {
    child_.stop();
}

std::string TinyproxyServer::log() const {
    return folder_.read("tinyproxy.log").value_or("");
}

} // namespace qb::test
