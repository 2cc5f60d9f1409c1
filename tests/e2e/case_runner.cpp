// One case from its servers to its last check.
#include "tests/e2e/case_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/apache_server.h"
#include "tests/support/nginx_server.h"
#include "tests/support/process.h"
#include "tests/support/sanitized_build.h"
#include "tests/support/script_file.h"
#include "tests/support/scripted_server.h"
#include "tests/support/server_process.h"
#include "tests/support/squid_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "tests/support/tinyproxy_server.h"
#include "tests/support/tmpfs_mount.h"
#include "tests/tui/tmux_session.h"

namespace qb::test::e2e {
namespace {

constexpr size_t kShownBytes = 2000; // of a mismatching request or file, in a failure message
// The terminal of interactive runs, and how long a screen may take to appear there.
constexpr int kTerminalColumns = 80;
constexpr int kTerminalRows = 25;
constexpr Millis kScreenWait{15000};
constexpr Millis kExitPoll{50};

// The default environment of every run; a run's own "env" entries replace these.
const char* const kBaseEnv[] = {"LANG=C"};
// What sanitized builds of the program write when they find a fault.
const char* const kSanitizerReports[] = {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                                         "WARNING: ThreadSanitizer", "runtime error:"};
// The proxies of the machine running the tests never reach a case: it sets its own.
const char* const kUnsetEnv[] = {"LC_ALL",     "LC_MESSAGES", "LC_CTYPE",    "LANGUAGE",
                                 "http_proxy", "HTTP_PROXY",  "https_proxy", "HTTPS_PROXY",
                                 "all_proxy",  "ALL_PROXY",   "no_proxy",    "NO_PROXY"};
// Wine's own loader: the "wine" wrapper of a system without the 32-bit half writes a notice
// on standard error that would mix with the program's.
constexpr char kWineLoader[] = "/usr/lib/wine/wine64";
constexpr char kSettingsKey[] = "HKCU\\Software\\Vr\\Quillbrook";

std::string envName(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

std::string shown(std::string_view bytes) {
    if (bytes.size() <= kShownBytes) return quoteBytes(bytes);
    return quoteBytes(bytes.substr(0, kShownBytes)) + "... (" + std::to_string(bytes.size()) +
           " bytes)";
}

std::optional<uint64_t> fileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return uint64_t(info.st_size);
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// count bytes at offset, or nothing when the file is shorter or unreadable.
std::optional<std::string> readAt(const std::string& path, uint64_t offset, size_t count) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes(count, '\0');
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, bytes.data() + done, count - done, off_t(offset + done));
        if (n <= 0) break;
        done += size_t(n);
    }
    ::close(fd);
    if (done != count) return std::nullopt;
    return bytes;
}

// text as one shell word.
std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

bool makeSparse(const std::string& path, uint64_t size) {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos) makeDirectories(path.substr(0, slash));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool sized = ::ftruncate(fd, off_t(size)) == 0;
    return ::close(fd) == 0 && sized;
}

class Case {
public:
    Case(const CaseContext& context, const CaseDescription& description)
        : context_(context), description_(description) {}

    void run() {
        if (!work_.valid()) {
            ADD_FAILURE() << "no temporary folder";
            return;
        }
        if (!makeDirectories(root())) {
            ADD_FAILURE() << "cannot make the device root";
            return;
        }
        for (const DataItem& item : description_.data) {
            data_[item.name] = dataBytes(item);
            if (data_[item.name].size() > kMaxDataSize) {
                ADD_FAILURE() << "data item " << item.name << " is too long";
                return;
            }
            if (!writeFile(dataPath(item.name), data_[item.name])) {
                ADD_FAILURE() << "cannot write data item " << item.name;
                return;
            }
        }
        if (description_.onlyOn && *description_.onlyOn != (windows() ? "windows" : "linux")) {
            skip(description_.onlyBecause.c_str());
            return;
        }
        if (!startServers() || !writeRegistry()) return;
        bool prepared = true;
        for (const DeviceFile& file : description_.files) prepared = prepared && prepare(file);
        for (const CaseRun& run : description_.runs) {
            if (!prepared || !runOnce(run)) break;
        }
        // Wine's registry outlives the case: the next case starts without the proxy.
        if (windows() && description_.proxy) wineRegistry({"delete", kSettingsKey, "/f"});
    }

private:
    std::string root() const { return work_.file("root"); }
    std::string device(const std::string& path) const { return root() + "/" + path; }
    std::string dataPath(const std::string& name) const { return work_.file("data/" + name); }

    // --- placeholders -------------------------------------------------------------------

    // Replaces {port:SERVER}, {length:DATA} and {size:PATH} (a device file's size now, or
    // "absent"); other braces stay as they are. False (and error) for an unknown name.
    bool resolve(std::string& text, std::string& error) const {
        std::string out;
        size_t at = 0;
        while (at < text.size()) {
            const size_t open = text.find('{', at);
            if (open == std::string::npos) break;
            const size_t colon = text.find(':', open);
            const size_t close = text.find('}', open);
            out.append(text, at, open - at);
            at = open;
            if (colon == std::string::npos || close == std::string::npos || colon > close) {
                out += '{';
                ++at;
                continue;
            }
            const std::string kind = text.substr(open + 1, colon - open - 1);
            const std::string name = text.substr(colon + 1, close - colon - 1);
            if (kind == "port") {
                const auto found = ports_.find(name);
                if (found == ports_.end()) {
                    error = "no server " + name;
                    return false;
                }
                out += std::to_string(found->second);
            } else if (kind == "length") {
                const auto found = data_.find(name);
                if (found == data_.end()) {
                    error = "no data item " + name;
                    return false;
                }
                out += std::to_string(found->second.size());
            } else if (kind == "size") {
                const auto size = fileSize(device(name));
                out += size ? std::to_string(*size) : "absent";
            } else {
                out += '{';
                ++at;
                continue;
            }
            at = close + 1;
        }
        out.append(text, at, std::string::npos);
        text = std::move(out);
        return true;
    }

    bool resolveAt(std::string& text, int line) const {
        std::string error;
        if (resolve(text, error)) return true;
        ADD_FAILURE_AT(context_.casePath.c_str(), line) << error;
        return false;
    }

    // --- servers, registry, device files ------------------------------------------------

    static bool skip(const char* why) {
        [why] { GTEST_SKIP() << why; }();
        return false;
    }

    bool startServers() {
        for (const CaseServer& server : description_.servers) {
            switch (server.kind) {
            case CaseServer::Kind::Scripted: {
                auto scripted = std::make_unique<ScriptedServer>();
                if (!scripted->start()) {
                    ADD_FAILURE_AT(context_.casePath.c_str(), server.line) << "cannot listen";
                    return false;
                }
                ports_[server.name] = scripted->port();
                scripted_[server.name] = std::move(scripted);
                break;
            }
            case CaseServer::Kind::Nginx: {
                if (!NginxServer::available()) return skip("nginx is not installed");
                qb::test::NginxOptions nginxOptions;
                nginxOptions.ipv4 = !server.ipv6Only;
                nginxOptions.ipv6 = server.ipv6Only;
                // In pieces of 16 KiB, each followed by its share of time: an even rate, as a
                // slow link gives, rather than a second's worth at once every second.
                for (const auto& [path, rate] : server.limitRates) {
                    nginxOptions.extraServerConfig += "location " + path + " { limit_rate " +
                                                      std::to_string(rate) +
                                                      "; sendfile_max_chunk 16k; }\n";
                }
                if (!server.certificate.empty() && !certificate(server, nginxOptions.tls))
                    return false;
                auto nginx = std::make_unique<NginxServer>(std::move(nginxOptions));
                for (const auto& file : server.files) nginx->writeFile(file.path, data_[file.data]);
                if (!keep(server, std::move(nginx), "nginx", nginx_)) return false;
                break;
            }
            case CaseServer::Kind::Apache: {
                if (!ApacheServer::available()) return skip("apache2 is not installed");
                qb::test::ApacheOptions apacheOptions;
                if (!server.certificate.empty() && !certificate(server, apacheOptions.tls))
                    return false;
                auto apache = std::make_unique<ApacheServer>(std::move(apacheOptions));
                for (const auto& file : server.files)
                    apache->writeFile(file.path, data_[file.data]);
                if (!keep(server, std::move(apache), "apache2", apache_)) return false;
                break;
            }
            case CaseServer::Kind::Squid: {
                if (!SquidServer::available()) return skip("squid is not installed");
                qb::test::SquidOptions squidOptions;
                if (server.user) squidOptions.users = {*server.user};
                squidOptions.hostNames = server.hostNames;
                auto squid = std::make_unique<SquidServer>(std::move(squidOptions));
                if (!keep(server, std::move(squid), "squid", squid_)) return false;
                break;
            }
            case CaseServer::Kind::Tinyproxy: {
                if (!TinyproxyServer::available()) return skip("tinyproxy is not installed");
                qb::test::TinyproxyOptions proxyOptions;
                for (int port : server.connectPorts) {
                    proxyOptions.extraConfig.push_back("ConnectPort " + std::to_string(port));
                }
                auto proxy = std::make_unique<TinyproxyServer>(std::move(proxyOptions));
                if (!keep(server, std::move(proxy), "tinyproxy", proxies_)) return false;
                break;
            }
            }
        }
        // Scripts may name any server's port, so they are added once all listen.
        for (const CaseServer& server : description_.servers) {
            if (server.kind != CaseServer::Kind::Scripted) continue;
            std::string text = server.script;
            if (!resolveAt(text, server.line)) return false;
            std::string error;
            const auto script = parseScript(text, work_.file("data"), error);
            if (!script) {
                ADD_FAILURE_AT(context_.casePath.c_str(), server.line)
                    << "script of " << server.name << " (its line 1 is line " << server.line + 1
                    << " here): " << error;
                return false;
            }
            addScript(*scripted_[server.name], *script);
        }
        return true;
    }

    // Starts a real server of the case and keeps it with its port and, where it has one, its
    // access log.
    template <typename Server>
    bool keep(const CaseServer& server, std::unique_ptr<Server> started, const char* program,
              std::vector<std::unique_ptr<Server>>& kept) {
        if (!started->start()) {
            ADD_FAILURE_AT(context_.casePath.c_str(), server.line)
                << program << ": " << started->error();
            return false;
        }
        ports_[server.name] = started->port();
        if constexpr (requires { started->accessLog(); }) {
            const Server* logging = started.get();
            logs_[server.name] = [logging] { return logging->accessLog(); };
        }
        kept.push_back(std::move(started));
        return true;
    }

    // The test certificate a server's "tls CERT" names, trusted by every run of the case.
    bool certificate(const CaseServer& server, std::optional<CertificateFiles>& tls) {
        const auto& made = qb::test::TestCertificates::shared();
        if (!made.made()) {
            ADD_FAILURE_AT(context_.casePath.c_str(), server.line) << made.error();
            return false;
        }
        tls = server.certificate == "other-name"  ? made.otherName()
              : server.certificate == "expired"   ? made.expired()
              : server.certificate == "untrusted" ? made.untrusted()
                                                  : made.loopback();
        trustTestAuthority_ = true;
        return true;
    }

    // A string value of a registry file: quotes and backslashes escaped.
    static std::string registryString(const std::string& value) {
        std::string text = "\"";
        for (const char c : value) {
            if (c == '"' || c == '\\') text += '\\';
            text += c;
        }
        return text + "\"";
    }

    // The program's settings: the proxy, when the case names one.
    bool writeRegistry() {
        if (!description_.proxy) return true;
        char port[16];
        std::snprintf(port, sizeof port, "%08x", unsigned(ports_[*description_.proxy]));
        std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Vr\\Quillbrook]\r\n"
                           "\"EnableProxy\"=dword:00000001\r\n"
                           "\"ProxyServer\"=\"127.0.0.1\"\r\n"
                           "\"ProxyPort\"=dword:" +
                           std::string(port) + "\r\n";
        if (description_.proxyUser) {
            text += "\"ProxyUser\"=" + registryString(description_.proxyUser->first) + "\r\n";
            text += "\"ProxyPassword\"=" + registryString(description_.proxyUser->second) + "\r\n";
        }
        if (!writeFile(work_.file("registry.reg"), text)) {
            ADD_FAILURE() << "cannot write the registry file";
            return false;
        }
        if (!windows() || wineRegistry({"import", work_.file("registry.reg")})) return true;
        ADD_FAILURE() << "Wine's reg import refused the registry file";
        return false;
    }

    // Runs Wine's reg with args; true when it succeeded.
    bool wineRegistry(std::vector<std::string> args) const {
        args.insert(args.begin(), "reg");
        ProcessOptions options;
        options.env = {"WINEDEBUG=-all"};
        const ProcessResult result = runProcess(kWineLoader, args, options);
        return result.started && result.exitCode == 0;
    }

    bool prepare(const DeviceFile& file) {
        const std::string path = device(file.path);
        bool done = false;
        switch (file.kind) {
        case DeviceFile::Kind::Data:
            done = writeFile(path, data_[file.value]);
            break;
        case DeviceFile::Kind::Text:
            done = writeFile(path, file.value);
            break;
        case DeviceFile::Kind::Sparse:
            done = makeSparse(path, file.size);
            break;
        case DeviceFile::Kind::Folder:
            done = makeDirectories(path);
            break;
        case DeviceFile::Kind::Absent:
            done = removeTree(path);
            break;
        case DeviceFile::Kind::Tmpfs:
            return tmpfs(file, path);
        case DeviceFile::Kind::Link:
            // A symbolic link, as a neighbour with write access to the folder may make one.
            done = removeTree(path) && symlink(device(file.value).c_str(), path.c_str()) == 0;
            break;
        }
        if (!done)
            ADD_FAILURE_AT(context_.casePath.c_str(), file.line) << "cannot prepare " << path;
        return done;
    }

    // Mounts the tmpfs, or gives the mounted one its new size. A system that does not let
    // the tests mount skips the case.
    bool tmpfs(const DeviceFile& file, const std::string& path) {
        const auto mounted = tmpfs_.find(file.path);
        if (mounted != tmpfs_.end()) {
            if (mounted->second->resize(file.size)) return true;
            ADD_FAILURE_AT(context_.casePath.c_str(), file.line) << mounted->second->error();
            return false;
        }
        if (!makeDirectories(path)) {
            ADD_FAILURE_AT(context_.casePath.c_str(), file.line) << "cannot make " << path;
            return false;
        }
        auto mount = std::make_unique<TmpfsMount>(path, file.size);
        if (!mount->mounted()) {
            const std::string why = mount->error() + " (the test needs root or CAP_SYS_ADMIN)";
            return skip(why.c_str());
        }
        tmpfs_[file.path] = std::move(mount);
        return true;
    }

    // --- one run ------------------------------------------------------------------------

    bool runOnce(const CaseRun& run) {
        for (const DeviceFile& file : run.files) {
            if (!prepare(file)) return false;
        }
        // Placeholders are resolved before the program changes anything.
        std::vector<std::string> args = run.args;
        for (std::string& arg : args) {
            if (!resolveAt(arg, run.line)) return false;
        }
        std::vector<Expectation> expectations = run.expectations;
        for (Expectation& e : expectations) {
            if (e.kind == Expectation::Kind::Request || e.kind == Expectation::Kind::RequestHas ||
                e.kind == Expectation::Kind::RequestLacks ||
                e.kind == Expectation::Kind::FileText || e.kind == Expectation::Kind::ErrorsHave ||
                e.kind == Expectation::Kind::ErrorsLacks || e.kind == Expectation::Kind::LogHas ||
                e.kind == Expectation::Kind::LogLacks) {
                if (!resolveAt(e.text, e.line)) return false;
            }
        }

        CaseRun resolved = run;
        for (std::string& entry : resolved.env) {
            if (!resolveAt(entry, run.line)) return false;
        }

        if (run.terminal && windows()) return skip("Wine's windows are not in a terminal");
        if (run.terminal && !TmuxSession::Available()) return skip("tmux is not installed");
        const ProcessResult result =
            run.terminal ? inTerminal(resolved, args) : start(resolved, args);
        if (!result.started) {
            ADD_FAILURE_AT(context_.casePath.c_str(), run.line) << "not started: " << result.error;
            return false;
        }
        if (result.timedOut && !result.error.empty()) return false;
        if (result.timedOut || result.signal != 0) {
            ADD_FAILURE_AT(context_.casePath.c_str(), run.line)
                << (result.timedOut ? "the program ran past the limit"
                                    : "the program died of signal " + std::to_string(result.signal))
                << "\nstderr: " << result.err;
            return false;
        }
        // A sanitizer's report may leave the exit code as expected (ASan ends with 1).
        for (const char* report : kSanitizerReports) {
            if (result.err.find(report) != std::string::npos) {
                ADD_FAILURE_AT(context_.casePath.c_str(), run.line)
                    << "the program reported a fault:\n"
                    << result.err;
                break;
            }
        }
        const int failuresBefore = failures();
        for (const Expectation& e : expectations) check(e, result);
        if (failures() != failuresBefore && !result.err.empty()) {
            ADD_FAILURE_AT(context_.casePath.c_str(), run.line) << "the program's standard error:\n"
                                                                << result.err;
        }
        return true;
    }

    static int failures() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return info == nullptr ? 0 : info->result()->total_part_count();
    }

    ProcessOptions options(const CaseRun& run) const {
        ProcessOptions options;
        options.env = {"QUILLBROOK_REGISTRY=" + work_.file("registry.reg")};
        // A run may take the sandbox away (env "QUILLBROOK_ROOT=") to use the host's paths.
        bool ownRoot = false;
        for (const auto& own : run.env) ownRoot |= envName(own) == "QUILLBROOK_ROOT";
        if (!ownRoot) options.env.push_back("QUILLBROOK_ROOT=" + root());
        for (const char* entry : kBaseEnv) {
            const std::string name = envName(entry);
            bool replaced = false;
            for (const auto& own : run.env) replaced |= envName(own) == name;
            if (!replaced) options.env.emplace_back(entry);
        }
        // The program trusts the test authority alone, through its own environment.
        if (trustTestAuthority_) {
            options.env.push_back("SSL_CERT_FILE=" + qb::test::TestCertificates::shared().caFile());
            options.unsetEnv.emplace_back("SSL_CERT_DIR");
        }
        // A run's own entries may name a server's port (an environment proxy).
        for (std::string entry : run.env) {
            std::string error;
            if (!resolve(entry, error)) ADD_FAILURE() << "env " << entry << ": " << error;
            options.env.push_back(std::move(entry));
        }
        for (const char* name : kUnsetEnv) {
            bool set = false;
            for (const auto& own : run.env) set |= envName(own) == name;
            if (!set) options.unsetEnv.emplace_back(name);
        }
        options.limit = Millis{kRunLimitMs};
        if (!run.workDir.empty()) options.workDir = device(run.workDir);
        return options;
    }

    bool windows() const { return !context_.windowsProgram.empty(); }

    // The Windows program under Wine: one command line of the arguments joined with "&" (as
    // the POSIX entry joins them), started in the sandbox root with Q: pointing at it.
    ProcessResult startUnderWine(const std::vector<std::string>& args,
                                 ProcessOptions options) const {
        const char* prefix = std::getenv("WINEPREFIX");
        ProcessResult refused;
        if (prefix == nullptr) {
            refused.error = "WINEPREFIX is not set";
            return refused;
        }
        const std::string drive = std::string(prefix) + "/dosdevices/q:";
        ::unlink(drive.c_str());
        if (::symlink(root().c_str(), drive.c_str()) != 0) {
            refused.error = "cannot map Q: to the device root";
            return refused;
        }
        std::string commandLine;
        for (const std::string& arg : args) commandLine += (commandLine.empty() ? "" : "&") + arg;
        options.workDir = root();
        options.env.emplace_back("WINEDEBUG=-all");
        ProcessResult result =
            runProcess(kWineLoader, {context_.windowsProgram, commandLine}, options);
        // Standard error is a text stream on Windows: its lines end in CR LF.
        std::string lines;
        for (size_t i = 0; i < result.err.size(); ++i) {
            if (result.err[i] != '\r' || i + 1 >= result.err.size() || result.err[i + 1] != '\n')
                lines += result.err[i];
        }
        result.err = lines;
        return result;
    }

    ProcessResult start(const CaseRun& run, const std::vector<std::string>& args) const {
        const ProcessOptions options = this->options(run);
        if (windows()) return startUnderWine(args, options);
        if (!run.fileSizeBlocks) return runProcess(context_.program, args, options);
        // The limit applies to the program through the shell that sets it and then execs it.
        std::vector<std::string> shell = {
            "-c", "ulimit -f " + std::to_string(*run.fileSizeBlocks) + " && exec \"$0\" \"$@\"",
            context_.program};
        shell.insert(shell.end(), args.begin(), args.end());
        return runProcess("/bin/sh", shell, options);
    }

    // Every speed the screen shows for step.ms lies within [step.low, step.high] bits per
    // second, and one is shown at least.
    bool watchSpeed(TmuxSession& terminal, const TerminalStep& step) {
        static const std::regex kSpeed("([0-9]+(\\.[0-9])?)(Mbps|kbps|bps)");
        int seen = 0;
        std::string failures;
        std::string screen;
        terminal.WaitFor(
            [&](const std::string& text) {
                std::smatch match;
                if (!std::regex_search(text, match, kSpeed)) return false;
                const double scale = match[3] == "Mbps"   ? 1048576.0
                                     : match[3] == "kbps" ? 1024.0
                                                          : 1.0;
                const double bits = std::stod(match[1]) * scale;
                ++seen;
                if (bits < static_cast<double>(step.low) || bits > static_cast<double>(step.high))
                    failures += match[0].str() + "\n";
                return false;
            },
            Millis{step.ms}, &screen);
        if (seen > 0 && failures.empty()) return true;
        ADD_FAILURE_AT(context_.casePath.c_str(), step.line)
            << (seen == 0 ? std::string("no speed shown\n")
                          : "speeds outside " + std::to_string(step.low) + ".." +
                                std::to_string(step.high) + " bps:\n" + failures)
            << screen;
        return false;
    }

    // The program in a tmux pane, inside a shell that sets its environment and limits and
    // records its standard error and exit code; then the run's steps, then its end.
    ProcessResult inTerminal(const CaseRun& run, const std::vector<std::string>& args) {
        const ProcessOptions options = this->options(run);
        const std::string number = std::to_string(++terminalRuns_);
        const std::string errors = work_.file("terminal-" + number + ".err");
        const std::string exitFile = work_.file("terminal-" + number + ".exit");
        std::string command = "env";
        for (const auto& name : options.unsetEnv) command += " -u " + shellQuoted(name);
        for (const auto& entry : options.env) command += " " + shellQuoted(entry);
        command += " " + shellQuoted(context_.program);
        for (const auto& arg : args) command += " " + shellQuoted(arg);
        if (!options.workDir.empty())
            command = "cd " + shellQuoted(options.workDir) + " && " + command;
        command += " 2>" + shellQuoted(errors) + "; echo $? >" + shellQuoted(exitFile + ".part") +
                   " && mv " + shellQuoted(exitFile + ".part") + " " + shellQuoted(exitFile);
        if (run.fileSizeBlocks)
            command = "ulimit -f " + std::to_string(*run.fileSizeBlocks) + " && " + command;

        ProcessResult result;
        TmuxSession terminal;
        if (!terminal.Start(command, kTerminalColumns, kTerminalRows)) {
            result.error = "tmux did not start";
            return result;
        }
        result.started = true;
        bool stepsDone = true;
        for (const TerminalStep& step : run.steps) {
            std::string text = step.text;
            if (!resolveAt(text, step.line)) {
                stepsDone = false;
                break;
            }
            std::string screen;
            if (step.kind == TerminalStep::Kind::Idle) {
                std::this_thread::sleep_for(Millis{step.ms}); // the time is the point
            } else if (step.kind == TerminalStep::Kind::WatchSpeed) {
                if (!watchSpeed(terminal, step)) {
                    stepsDone = false;
                    break;
                }
            } else if (step.kind == TerminalStep::Kind::Keys) {
                terminal.SendKeys(step.keys);
            } else if (step.kind == TerminalStep::Kind::Type) {
                terminal.SendText(text);
            } else if (!terminal.WaitForText(text, kScreenWait, &screen)) {
                ADD_FAILURE_AT(context_.casePath.c_str(), step.line)
                    << "the screen does not show " << shown(text) << ":\n"
                    << screen;
                stepsDone = false;
                break;
            }
        }
        if (!stepsDone) {
            result.timedOut = true;
            result.error = "stopped after a step failed";
            return result;
        }
        const auto deadline = std::chrono::steady_clock::now() + Millis{kRunLimitMs};
        std::optional<std::string> code;
        while (!(code = readFile(exitFile)) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(kExitPoll);
        }
        result.err = readFile(errors).value_or("");
        if (!code) {
            result.timedOut = true;
            result.err += "\nthe screen at the end:\n" + terminal.Capture();
            return result;
        }
        result.exitCode = std::atoi(code->c_str());
        if (result.exitCode > 128 && result.exitCode < 128 + 64)
            result.signal = result.exitCode - 128;
        return result;
    }

    // --- checks -------------------------------------------------------------------------

    ScriptedServer* recorder(const Expectation& e) const {
        const auto found = scripted_.find(e.server);
        if (found != scripted_.end()) return found->second.get();
        ADD_FAILURE_AT(context_.casePath.c_str(), e.line)
            << e.server << " is not a scripted server: it records nothing";
        return nullptr;
    }

    void check(const Expectation& e, const ProcessResult& result) const {
        const char* at = context_.casePath.c_str();
        using K = Expectation::Kind;
        switch (e.kind) {
        case K::Exit: {
            const int expected = (e.code % 256 + 256) % 256;
            if (result.exitCode != expected) {
                ADD_FAILURE_AT(at, e.line)
                    << "exit code "
                    << (result.exitCode > 127 ? result.exitCode - 256 : result.exitCode)
                    << ", expected " << e.code;
            }
            return;
        }
        case K::Connections: {
            ScriptedServer* server = recorder(e);
            if (server == nullptr) return;
            server->waitForConnections(e.count, Millis{kRecordWaitMs});
            if (server->connectionCount() != e.count) {
                ADD_FAILURE_AT(at, e.line) << e.server << " has seen " << server->connectionCount()
                                           << " connections, expected " << e.count;
            }
            return;
        }
        case K::Request:
        case K::RequestHas:
        case K::RequestLacks: {
            ScriptedServer* server = recorder(e);
            if (server == nullptr) return;
            server->waitForRequests(e.index, Millis{kRecordWaitMs});
            const auto record = server->connection(e.index - 1);
            if (!record) {
                ADD_FAILURE_AT(at, e.line) << e.server << " has no connection " << e.index;
                return;
            }
            const std::string& request = record->request;
            if (e.kind == K::Request && request != e.text) {
                ADD_FAILURE_AT(at, e.line)
                    << "request " << e.index << " to " << e.server << "\n  is " << shown(request)
                    << "\n  expected " << shown(e.text);
            } else if (e.kind == K::RequestHas && request.find(e.text) == std::string::npos) {
                ADD_FAILURE_AT(at, e.line)
                    << "request " << e.index << " to " << e.server << " lacks " << shown(e.text)
                    << ":\n  " << shown(request);
            } else if (e.kind == K::RequestLacks && request.find(e.text) != std::string::npos) {
                ADD_FAILURE_AT(at, e.line) << "request " << e.index << " to " << e.server << " has "
                                           << shown(e.text) << ":\n  " << shown(request);
            }
            return;
        }
        case K::NoFile:
            if (pathExists(device(e.path))) ADD_FAILURE_AT(at, e.line) << e.path << " exists";
            return;
        case K::ErrorsHave:
            if (result.err.find(e.text) == std::string::npos)
                ADD_FAILURE_AT(at, e.line) << "standard error lacks " << shown(e.text);
            return;
        case K::ErrorsLacks:
            if (result.err.find(e.text) != std::string::npos)
                ADD_FAILURE_AT(at, e.line) << "standard error has " << shown(e.text);
            return;
        case K::LogHas:
        case K::LogLacks: {
            const auto log = logs_.find(e.server);
            if (log == logs_.end()) {
                ADD_FAILURE_AT(at, e.line) << e.server << " keeps no access log";
                return;
            }
            // A server logs a request once it has answered it, maybe after the program ended.
            const bool has = e.kind == K::LogHas
                                 ? detail::waitForText(log->second, e.text, Millis{kRecordWaitMs})
                                 : log->second().find(e.text) != std::string::npos;
            if (has != (e.kind == K::LogHas))
                ADD_FAILURE_AT(at, e.line) << "the access log of " << e.server
                                           << (has ? " has " : " lacks ") << shown(e.text) << ":\n"
                                           << log->second();
            return;
        }
        case K::ErrorsEmpty:
            if (!result.err.empty())
                ADD_FAILURE_AT(at, e.line) << "standard error: " << shown(result.err);
            return;
        case K::Time:
            // A sanitized program is slower: its time says nothing of the program's.
            if (test::kSanitizedBuild) return;
            if (uint64_t(result.elapsed.count()) < e.offset ||
                uint64_t(result.elapsed.count()) > e.count) {
                ADD_FAILURE_AT(at, e.line) << "the run took " << result.elapsed.count()
                                           << " ms, expected " << e.offset << " to " << e.count;
            }
            return;
        case K::CpuAtMost:
            if (test::kSanitizedBuild) return;
            if (uint64_t(result.cpu.count()) > e.count) {
                ADD_FAILURE_AT(at, e.line) << "the program used " << result.cpu.count()
                                           << " ms of processor time, expected at most " << e.count;
            }
            return;
        default:
            checkFile(e);
        }
    }

    void checkFile(const Expectation& e) const {
        const char* at = context_.casePath.c_str();
        const std::string path = device(e.path);
        const auto size = fileSize(path);
        if (!size) {
            ADD_FAILURE_AT(at, e.line) << e.path << " is not there";
            return;
        }
        using K = Expectation::Kind;
        switch (e.kind) {
        case K::FileSize:
            if (*size != e.count)
                ADD_FAILURE_AT(at, e.line)
                    << e.path << " has " << *size << " bytes, expected " << e.count;
            return;
        case K::FileAt: {
            const std::string& expected = data_.at(e.text);
            const auto bytes = readAt(path, e.offset, expected.size());
            if (!bytes || *bytes != expected)
                ADD_FAILURE_AT(at, e.line)
                    << e.path << " at " << e.offset << " is "
                    << (bytes ? shown(*bytes) : "too short") << ", expected " << e.text;
            return;
        }
        case K::FileSha256: {
            const ProcessResult sum = runProcess("sha256sum", {path});
            const std::string hash = sum.out.substr(0, sum.out.find(' '));
            if (sum.exitCode != 0 || hash != e.text)
                ADD_FAILURE_AT(at, e.line) << e.path << " has the SHA-256 " << hash;
            return;
        }
        default:
            break;
        }
        const auto content = readFile(path);
        if (!content) {
            ADD_FAILURE_AT(at, e.line) << e.path << " cannot be read";
            return;
        }
        if (e.kind == K::FileText && *content != e.text) {
            ADD_FAILURE_AT(at, e.line)
                << e.path << " is " << shown(*content) << "\n  expected " << shown(e.text);
        } else if (e.kind == K::FileData && *content != data_.at(e.text)) {
            const std::string& expected = data_.at(e.text);
            size_t first = 0;
            while (first < content->size() && first < expected.size() &&
                   (*content)[first] == expected[first]) {
                ++first;
            }
            ADD_FAILURE_AT(at, e.line)
                << e.path << " (" << content->size() << " bytes) differs from " << e.text << " ("
                << expected.size() << " bytes) from byte " << first;
        } else if (e.kind == K::FilePrefixOf) {
            const std::string& whole = data_.at(e.text);
            const bool prefix =
                content->size() <= whole.size() && whole.compare(0, content->size(), *content) == 0;
            if (!prefix || (e.count != 0 && content->size() != e.count)) {
                ADD_FAILURE_AT(at, e.line)
                    << e.path << " (" << content->size() << " bytes) is not the first "
                    << (e.count != 0 ? std::to_string(e.count) : "bytes") << " of " << e.text;
            }
        }
    }

    const CaseContext& context_;
    const CaseDescription& description_;
    TempDir work_{"qb-e2e"};
    std::map<std::string, std::string> data_;
    std::map<std::string, int> ports_;
    std::map<std::string, std::unique_ptr<ScriptedServer>> scripted_;
    std::vector<std::unique_ptr<NginxServer>> nginx_;
    bool trustTestAuthority_ = false; // an nginx of the case serves a test certificate
    std::vector<std::unique_ptr<TinyproxyServer>> proxies_;
    std::vector<std::unique_ptr<ApacheServer>> apache_;
    std::vector<std::unique_ptr<SquidServer>> squid_;
    // The access log of each nginx, apache and squid, by server name.
    std::map<std::string, std::function<std::string()>> logs_;
    int terminalRuns_ = 0;
    // Declared after work_: unmounted before the folder they sit in is removed.
    std::map<std::string, std::unique_ptr<TmpfsMount>> tmpfs_;
};

} // namespace

void runCase(const CaseContext& context, const CaseDescription& description) {
    Case(context, description).run();
}

} // namespace qb::test::e2e
