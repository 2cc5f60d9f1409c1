// NginxServer: configuration text and start-up.
#include "tests/support/nginx_server.h"

#include "tests/support/server_process.h"

namespace qb::test {
namespace {

using detail::replacePort;

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

} // namespace

bool NginxServer::available() {
    return !detail::firstExecutable({kProgram}).empty();
}

NginxServer::NginxServer(NginxOptions options)
    : options_(std::move(options)), folder_("qb-nginx") {}

NginxServer::~NginxServer() {
    stop();
}

std::string NginxServer::configuration(int port) const {
    const std::string& prefix = folder_.path();
    std::string conf;
    conf += "# Written by the test helper NginxServer.\n";
    conf += "master_process off;\n";
    conf += "error_log " + quoted(prefix + "/error.log") + " info;\n";
    conf += "pid " + quoted(prefix + "/nginx.pid") + ";\n";
    conf += "lock_file " + quoted(prefix + "/nginx.lock") + ";\n";
    conf += "events { worker_connections 64; }\n";
    conf += "http {\n";
    conf += "    access_log " + quoted(prefix + "/access.log") + ";\n";
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        conf += "    " + std::string(kind) + "_temp_path " +
                quoted(prefix + "/tmp/" + std::string(kind)) + ";\n";
    }
    conf += "    default_type application/octet-stream;\n";
    conf += "    server {\n";
    const std::string ssl = options_.tls ? " ssl" : "";
    if (options_.ipv4) conf += "        listen 127.0.0.1:" + std::to_string(port) + ssl + ";\n";
    if (options_.ipv6) conf += "        listen [::1]:" + std::to_string(port) + ssl + ";\n";
    if (options_.tls) {
        conf += "        ssl_certificate " + quoted(options_.tls->certificate) + ";\n";
        conf += "        ssl_certificate_key " + quoted(options_.tls->key) + ";\n";
    }
    conf += "        server_name localhost;\n";
    conf += "        root " + quoted(docRoot()) + ";\n";
    conf += "        location / { }\n";
    for (size_t i = 0; i < options_.auth.size(); ++i) {
        const NginxAuth& auth = options_.auth[i];
        conf += "        location " + auth.location + " {\n";
        conf += "            auth_basic " + quoted(auth.realm) + ";\n";
        conf += "            auth_basic_user_file " +
                quoted(prefix + "/users-" + std::to_string(i)) + ";\n";
        conf += "        }\n";
    }
    for (const NginxRedirect& redirect : options_.redirects) {
        const std::string target = !redirect.to.empty() && redirect.to[0] == '/'
                                       ? base(port) + redirect.to
                                       : replacePort(redirect.to, port);
        conf += "        location = " + redirect.from + " { return " +
                std::to_string(redirect.status) + " " + target + "; }\n";
    }
    if (!options_.extraServerConfig.empty()) {
        conf += replacePort(options_.extraServerConfig, port) + "\n";
    }
    conf += "    }\n";
    conf += "}\n";
    return conf;
}

bool NginxServer::start() {
    if (!folder_.valid()) {
        error_ = "cannot make the server folder";
        return false;
    }
    makeDirectories(docRoot());
    makeDirectories(folder_.file("tmp"));
    for (size_t i = 0; i < options_.auth.size(); ++i) {
        std::string users;
        for (const auto& [user, password] : options_.auth[i].users) {
            users += user + ":{PLAIN}" + password + "\n";
        }
        if (!folder_.write("users-" + std::to_string(i), users)) {
            error_ = "cannot write the user file";
            return false;
        }
    }
    const std::string prefix = folder_.path();
    port_ = detail::startOnFreePort(
        child_, kProgram,
        [&](int port) -> std::vector<std::string> {
            folder_.write("nginx.conf", configuration(port));
            return {"-p", prefix + "/",          "-c", prefix + "/nginx.conf",
                    "-e", prefix + "/error.log", "-g", "daemon off;"};
        },
        [&] { return "\n" + errorLog(); }, error_, !options_.ipv4);
    return port_ != 0;
}

void NginxServer::stop() {
    child_.stop();
}

std::string NginxServer::base(int port) const {
    return std::string(options_.tls ? "https" : "http") + "://" +
           (options_.ipv4 ? "127.0.0.1" : "[::1]") + ":" + std::to_string(port);
}

std::string NginxServer::url(std::string_view path) const {
    return base(port_) + std::string(path);
}

bool NginxServer::writeFile(std::string_view relativePath, std::string_view bytes) const {
    return folder_.write("www/" + std::string(relativePath), bytes);
}

std::string NginxServer::errorLog() const {
    return folder_.read("error.log").value_or("");
}

std::string NginxServer::accessLog() const {
    return folder_.read("access.log").value_or("");
}

bool NginxServer::waitForAccessLog(std::string_view text, Millis limit) const {
    return detail::waitForText([this] { return accessLog(); }, text, limit);
}

} // namespace qb::test
