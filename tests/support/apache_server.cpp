// ApacheServer: configuration text and start-up.
#include "tests/support/apache_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/server_process.h"

namespace qb::test {
namespace {

using detail::replacePort;

// What the workers run as when apache2 starts as root (it refuses to serve as root).
constexpr const char* kWorkerUser = "www-data";
constexpr const char* kWorkerGroup = "www-data";
// One worker process with a few threads: enough for a test, light on a shared machine.
constexpr const char* kWorkers = "StartServers 1\nServerLimit 1\nThreadLimit 16\n"
                                 "ThreadsPerChild 16\nMaxRequestWorkers 16\n"
                                 "MinSpareThreads 1\nMaxSpareThreads 16\n";

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string loadModule(const std::string& name) {
    return "LoadModule " + name + "_module " +
           quoted(std::string(ApacheServer::kModules) + "/mod_" + name + ".so") + "\n";
}

} // namespace

bool ApacheServer::available() {
    return !detail::firstExecutable({kProgram}).empty();
}

ApacheServer::ApacheServer(ApacheOptions options)
    : options_(std::move(options)), folder_("qb-apache") {}

ApacheServer::~ApacheServer() {
    stop();
}

std::string ApacheServer::configuration(int port) const {
    const std::string& prefix = folder_.path();
    std::string conf = "# Written by the test helper ApacheServer.\n";
    conf += "ServerRoot " + quoted(prefix) + "\n";
    conf += "DefaultRuntimeDir " + quoted(prefix) + "\n";
    conf += "PidFile " + quoted(prefix + "/apache.pid") + "\n";
    conf += "Mutex file:" + prefix + " default\n";
    conf += "ErrorLog " + quoted(prefix + "/error.log") + "\nLogLevel info\n";
    for (const char* module : {"mpm_event", "authz_core", "authn_core", "authn_file", "authz_user",
                               "auth_basic", "mime", "dir", "alias"}) {
        conf += loadModule(module);
    }
    conf += kWorkers;
    if (::geteuid() == 0) {
        conf += "User " + std::string(kWorkerUser) + "\nGroup " + kWorkerGroup + "\n";
    }
    conf += "ServerName 127.0.0.1\n";
    conf += "Listen 127.0.0.1:" + std::to_string(port) + "\n";
    conf += "TypesConfig /etc/mime.types\n";
    conf += "LogFormat \"%h \\\"%r\\\" %>s %b\" brief\n";
    conf += "CustomLog " + quoted(prefix + "/access.log") + " brief\n";
    if (options_.tls) {
        conf += loadModule("socache_shmcb") + loadModule("ssl");
        conf += "SSLSessionCache " + quoted("shmcb:" + prefix + "/ssl_cache(512000)") + "\n";
        conf += "SSLEngine on\n";
        conf += "SSLCertificateFile " + quoted(options_.tls->certificate) + "\n";
        conf += "SSLCertificateKeyFile " + quoted(options_.tls->key) + "\n";
    }
    conf += "DocumentRoot " + quoted(docRoot()) + "\n";
    conf += "<Directory />\n    Require all granted\n</Directory>\n";
    for (size_t i = 0; i < options_.auth.size(); ++i) {
        const ApacheAuth& auth = options_.auth[i];
        conf += "<Location " + quoted(auth.location) + ">\n";
        conf += "    AuthType Basic\n    AuthName " + quoted(auth.realm) + "\n";
        conf += "    AuthUserFile " + quoted(prefix + "/users-" + std::to_string(i)) + "\n";
        conf += "    Require valid-user\n</Location>\n";
    }
    for (const ApacheRedirect& redirect : options_.redirects) {
        const std::string target = !redirect.to.empty() && redirect.to[0] == '/'
                                       ? base(port) + redirect.to
                                       : replacePort(redirect.to, port);
        conf += "RedirectMatch " + std::to_string(redirect.status) + " " +
                quoted("^" + redirect.from + "$") + " " + quoted(target) + "\n";
    }
    if (!options_.extraConfig.empty()) conf += replacePort(options_.extraConfig, port) + "\n";
    return conf;
}

bool ApacheServer::start() {
    if (!folder_.valid()) {
        error_ = "cannot make the server folder";
        return false;
    }
    // The workers read the document root and the user files.
    ::chmod(folder_.path().c_str(), 0755);
    makeDirectories(docRoot());
    for (size_t i = 0; i < options_.auth.size(); ++i) {
        std::string users;
        for (const auto& [user, password] : options_.auth[i].users) {
            const std::string line = detail::passwordLine(user, password);
            if (line.empty()) {
                error_ = "openssl passwd failed";
                return false;
            }
            users += line + "\n";
        }
        if (!folder_.write("users-" + std::to_string(i), users)) {
            error_ = "cannot write the user file";
            return false;
        }
    }
    port_ = detail::startOnFreePort(
        child_, kProgram,
        [&](int port) -> std::vector<std::string> {
            folder_.write("apache.conf", configuration(port));
            return {"-f", folder_.file("apache.conf"), "-DFOREGROUND"};
        },
        [&] { return "\n" + errorLog(); }, error_);
    return port_ != 0;
}

void ApacheServer::stop() {
    child_.stop();
}

std::string ApacheServer::base(int port) const {
    return std::string(options_.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port);
}

std::string ApacheServer::url(std::string_view path) const {
    return base(port_) + std::string(path);
}

bool ApacheServer::writeFile(std::string_view relativePath, std::string_view bytes) const {
    return folder_.write("www/" + std::string(relativePath), bytes);
}

std::string ApacheServer::errorLog() const {
    return folder_.read("error.log").value_or("");
}

std::string ApacheServer::accessLog() const {
    return folder_.read("access.log").value_or("");
}

bool ApacheServer::waitForAccessLog(std::string_view text, Millis limit) const {
    return detail::waitForText([this] { return accessLog(); }, text, limit);
}

} // namespace qb::test
