// Parsing the case format of README.md. Lines are split with the script tokenizer, so quoted
// texts and their escapes are those of qb_scripted_server scripts.
#include "tests/e2e/case_file.h"

#include <map>
#include <optional>
#include <set>
#include <utility>

#include "tests/support/script_file.h"

namespace qb::test::e2e {
namespace {

bool isPlainName(std::string_view name) {
    if (name.empty()) return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return name != "." && name != "..";
}

class CaseParser {
public:
    bool parse(std::string_view text) {
        if (text.size() > kMaxCaseFileSize) return fail("the case file is too long");
        while (!text.empty()) {
            ++lineNumber_;
            const size_t lf = text.find('\n');
            const std::string_view line = text.substr(0, lf);
            text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
            if (block_ != nullptr) {
                if (!blockLine(line)) return false;
                continue;
            }
            std::vector<ScriptToken> tokens;
            std::string what;
            if (!tokenizeScriptLine(line, tokens, what)) return fail(what);
            if (tokens.empty()) continue;
            // A line that begins with a quoted text continues the statement before it.
            if (tokens[0].quoted && !pending_.empty()) {
                pending_.insert(pending_.end(), tokens.begin(), tokens.end());
                continue;
            }
            if (!flush()) return false;
            pending_ = std::move(tokens);
            pendingLine_ = lineNumber_;
            // A server block's lines are not statements: begin it now.
            if (!pending_[0].quoted &&
                (pending_[0].text == "server" || pending_[0].text == "nginx" ||
                 pending_[0].text == "apache") &&
                !flush()) {
                return false;
            }
        }
        if (!flush()) return false;
        if (block_ != nullptr) return fail("\"" + block_->name + "\" has no \"end\"");
        if (group_) {
            lineNumber_ = groupLine_;
            return fail("steps " + group_->first + " have no \"end\"");
        }
        return finish();
    }

    CaseDescription& result() { return description_; }
    const std::string& error() const { return error_; }

private:
    // Runs the pending statement, reporting errors at its first line.
    bool flush() {
        if (pending_.empty()) return true;
        in_.reset(std::move(pending_));
        pending_.clear();
        const int current = lineNumber_;
        lineNumber_ = pendingLine_;
        const bool ok = statement();
        lineNumber_ = current;
        return ok;
    }

    bool fail(std::string what) {
        error_ = "line " + std::to_string(lineNumber_) + ": " + std::move(what);
        return false;
    }

    // --- tokens -------------------------------------------------------------------------

    bool word(std::string& out, const char* what) { return in_.word(out, what) || fail(in_.error); }
    bool quoted(std::string& out) { return in_.quoted(out) || fail(in_.error); }
    bool text(std::string& out) { return in_.text(out) || fail(in_.error); }
    bool number(uint64_t& value) { return in_.number(value) || fail(in_.error); }
    bool signedNumber(int& value) { return in_.signedNumber(value) || fail(in_.error); }

    bool name(std::string& out, const char* what) {
        if (!word(out, what)) return false;
        return isPlainName(out) || fail("not a plain name: " + out);
    }

    bool noMore() { return in_.noMore() || fail(in_.error); }

    // --- statements ---------------------------------------------------------------------

    bool statement() {
        if (in_.tokens[0].quoted) return fail("a line begins with a keyword");
        const std::string keyword = in_.tokens[0].text;
        if (group_) return groupStatement(keyword);
        if (keyword == "run") {
            description_.runs.emplace_back();
            description_.runs.back().line = lineNumber_;
            return noMore();
        }
        if (keyword == "file" || keyword == "folder" || keyword == "tmpfs") {
            DeviceFile file;
            if (!deviceFile(keyword, file)) return false;
            (description_.runs.empty() ? description_.files : description_.runs.back().files)
                .push_back(file);
            return true;
        }
        if (!description_.runs.empty()) return runStatement(keyword);
        if (keyword == "title") return text(description_.title);
        if (keyword == "only") {
            std::string build;
            if (!word(build, "a build")) return false;
            if (build != "linux" && build != "windows") return fail("no build named " + build);
            if (description_.onlyOn) return fail("a second only");
            description_.onlyOn = build;
            return text(description_.onlyBecause);
        }
        if (keyword == "data") return dataItem();
        if (keyword == "steps") {
            group_.emplace();
            groupLine_ = lineNumber_;
            if (!name(group_->first, "a name for the steps")) return false;
            if (groups_.count(group_->first) != 0) return fail("a second steps " + group_->first);
            return noMore();
        }
        if (keyword == "server" || keyword == "nginx" || keyword == "tinyproxy" ||
            keyword == "apache" || keyword == "squid") {
            return server(keyword);
        }
        if (keyword == "proxy") {
            std::string server;
            if (!name(server, "a server name")) return false;
            if (description_.proxy) return fail("a second proxy");
            description_.proxy = server;
            proxyLine_ = lineNumber_;
            if (in_.atEnd()) return true;
            std::string user, password, keyword1, keyword2;
            if (!word(keyword1, "user") || keyword1 != "user" || !quoted(user) ||
                !word(keyword2, "password") || keyword2 != "password" || !quoted(password))
                return fail("proxy takes only user \"USER\" password \"PASSWORD\"");
            description_.proxyUser = {user, password};
            return noMore();
        }
        return fail("unknown keyword \"" + keyword + "\" (before the first \"run\")");
    }

    bool dataItem() {
        DataItem item;
        std::string kind;
        if (!name(item.name, "a data name") || !word(kind, "a data kind")) return false;
        if (!dataNames_.insert(item.name).second) return fail("a second data item " + item.name);
        if (kind == "pattern") {
            item.kind = DataItem::Kind::Pattern;
            if (!number(item.size)) return false;
            if (!in_.atEnd() && !number(item.offset)) return false;
            if (item.size > kMaxDataSize) return fail("pattern too long");
        } else if (kind == "text") {
            item.kind = DataItem::Kind::Text;
            if (!text(item.text)) return false;
        } else if (kind == "repeat") {
            item.kind = DataItem::Kind::Repeat;
            if (!number(item.size) || !text(item.text)) return false;
            if (item.size > kMaxRepeatCount) return fail("too many copies");
        } else {
            return fail("unknown data kind \"" + kind + "\"");
        }
        if (!noMore()) return false;
        description_.data.push_back(std::move(item));
        return true;
    }

    bool server(const std::string& keyword) {
        CaseServer server;
        server.line = lineNumber_;
        if (!name(server.name, "a server name")) return false;
        if (!serverNames_.insert(server.name).second) return fail("a second server " + server.name);
        if (keyword == "tinyproxy") {
            server.kind = CaseServer::Kind::Tinyproxy;
            while (!in_.atEnd()) {
                std::string option;
                uint64_t port = 0;
                if (!word(option, "connect-port") || option != "connect-port" || !number(port))
                    return fail("tinyproxy takes only \"connect-port N\" options");
                server.connectPorts.push_back(int(port));
            }
            description_.servers.push_back(std::move(server));
            return true;
        }
        if (keyword == "squid") return squid(server);
        while ((keyword == "nginx" || keyword == "apache") && !in_.atEnd()) {
            std::string option;
            if (!word(option, "tls, ipv6-only or limit-rate")) return false;
            if (option == "ipv6-only" && keyword == "nginx") {
                server.ipv6Only = true;
            } else if (option == "limit-rate" && keyword == "nginx") {
                if (!quoted(server.ratePrefix) || !number(server.rateLimit)) return false;
                if (server.ratePrefix.find_first_of("{};\\\"' \n") != std::string::npos)
                    return fail("limit-rate's path prefix holds characters nginx would read");
                if (server.rateLimit == 0) return fail("limit-rate of 0");
            } else if (option == "tls") {
                if (!word(server.certificate, "a certificate")) return false;
                if (server.certificate != "loopback" && server.certificate != "other-name" &&
                    server.certificate != "expired" && server.certificate != "untrusted")
                    return fail("unknown certificate \"" + server.certificate + "\"");
            } else {
                return fail("unknown " + keyword + " option \"" + option + "\"");
            }
        }
        if (!noMore()) return false;
        server.kind = keyword == "nginx"    ? CaseServer::Kind::Nginx
                      : keyword == "apache" ? CaseServer::Kind::Apache
                                            : CaseServer::Kind::Scripted;
        description_.servers.push_back(std::move(server));
        block_ = &description_.servers.back();
        lastScriptLine_ = std::string::npos;
        return true;
    }

    // "squid NAME [auth "USER" "PASSWORD"] [hosts NAME...]": no block.
    bool squid(CaseServer& server) {
        server.kind = CaseServer::Kind::Squid;
        while (!in_.atEnd()) {
            std::string option;
            if (!word(option, "auth or hosts")) return false;
            if (option == "auth" && !server.user) {
                std::string user, password;
                if (!quoted(user) || !quoted(password)) return false;
                server.user = {user, password};
            } else if (option == "hosts") {
                while (!in_.atEnd()) {
                    std::string host;
                    if (!name(host, "a host name")) return false;
                    server.hostNames.push_back(std::move(host));
                }
                if (server.hostNames.empty()) return fail("hosts names no host");
            } else {
                return fail("squid takes auth \"USER\" \"PASSWORD\", then hosts NAME...");
            }
        }
        description_.servers.push_back(std::move(server));
        return true;
    }

    // A line inside a server block: "end", else script text (scripted) or a document file.
    bool blockLine(std::string_view line) {
        in_.tokens.clear();
        std::string what;
        if (!tokenizeScriptLine(line, in_.tokens, what)) return fail(what);
        if (in_.tokens.size() == 1 && !in_.tokens[0].quoted && in_.tokens[0].text == "end") {
            block_ = nullptr;
            return true;
        }
        if (block_->kind == CaseServer::Kind::Scripted) {
            // A line that begins with a quoted text continues the script line before it; an
            // empty line keeps its place, so script line numbers still count case lines.
            if (!in_.tokens.empty() && in_.tokens[0].quoted &&
                lastScriptLine_ != std::string::npos) {
                std::string& script = block_->script;
                const std::string continued = " " + std::string(line);
                script.insert(lastScriptLine_, continued);
                lastScriptLine_ += continued.size();
                script += '\n';
                return true;
            }
            if (!in_.tokens.empty()) lastScriptLine_ = block_->script.size() + line.size();
            block_->script.append(line);
            block_->script += '\n';
            return true;
        }
        if (in_.tokens.empty()) return true;
        in_.next = 1;
        if (in_.tokens[0].quoted || in_.tokens[0].text != "file")
            return fail("an nginx or apache block holds only \"file PATH DATA\" lines");
        CaseServer::DocFile file;
        if (!quoted(file.path) || !name(file.data, "a data name") || !noMore()) return false;
        block_->files.push_back(std::move(file));
        dataUses_.emplace_back(block_->files.back().data, lineNumber_);
        return true;
    }

    bool deviceFile(const std::string& keyword, DeviceFile& file) {
        file.line = lineNumber_;
        if (!quoted(file.path)) return false;
        if (keyword == "folder") {
            file.kind = DeviceFile::Kind::Folder;
            return noMore();
        }
        if (keyword == "tmpfs") {
            file.kind = DeviceFile::Kind::Tmpfs;
            if (!number(file.size) || !noMore()) return false;
            if (file.size == 0 || file.size > kMaxTmpfsSize) return fail("tmpfs size out of range");
            return true;
        }
        std::string kind;
        if (!word(kind, "a file kind")) return false;
        if (kind == "data") {
            file.kind = DeviceFile::Kind::Data;
            if (!name(file.value, "a data name")) return false;
            dataUses_.emplace_back(file.value, lineNumber_);
        } else if (kind == "text") {
            file.kind = DeviceFile::Kind::Text;
            return text(file.value);
        } else if (kind == "sparse") {
            file.kind = DeviceFile::Kind::Sparse;
            if (!number(file.size)) return false;
            if (file.size > kMaxSparseSize) return fail("sparse size too large");
        } else if (kind == "absent") {
            file.kind = DeviceFile::Kind::Absent;
        } else if (kind == "link") {
            file.kind = DeviceFile::Kind::Link;
            if (!quoted(file.value)) return false;
        } else {
            return fail("unknown file kind \"" + kind + "\"");
        }
        return noMore();
    }

    bool runStatement(const std::string& keyword) {
        CaseRun& run = description_.runs.back();
        if (keyword == "args") {
            if (in_.atEnd()) return fail("no arguments");
            while (!in_.atEnd()) {
                std::string arg;
                if (!quoted(arg)) return false;
                run.args.push_back(std::move(arg));
            }
            return true;
        }
        if (keyword == "env") {
            std::string entry;
            if (!text(entry)) return false;
            if (entry.find('=') == std::string::npos) return fail("env needs NAME=value");
            run.env.push_back(std::move(entry));
            return true;
        }
        if (keyword == "file-size-limit") {
            uint64_t blocks = 0;
            if (!number(blocks) || !noMore()) return false;
            run.fileSizeBlocks = blocks;
            return true;
        }
        if (keyword == "workdir") {
            return quoted(run.workDir) && noMore();
        }
        if (keyword == "terminal") {
            run.terminal = true;
            return noMore();
        }
        if (keyword == "do") {
            if (!run.terminal) return fail("\"do\" needs \"terminal\" first");
            std::string group;
            if (!name(group, "a name of steps") || !noMore()) return false;
            const auto found = groups_.find(group);
            if (found == groups_.end()) return fail("no steps " + group + " above");
            for (TerminalStep step : found->second) {
                step.calledAt = lineNumber_;
                run.steps.push_back(std::move(step));
            }
            return true;
        }
        if (const auto kind = stepKind(keyword)) {
            if (!run.terminal) return fail("\"" + keyword + "\" needs \"terminal\" first");
            TerminalStep step;
            step.kind = *kind;
            step.line = lineNumber_;
            if (!terminalStep(step)) return false;
            run.steps.push_back(std::move(step));
            return true;
        }
        if (keyword == "expect") return expectation(run);
        return fail("unknown keyword \"" + keyword + "\" in a run");
    }

    // A line of an open "steps NAME" group: a step, or "end".
    bool groupStatement(const std::string& keyword) {
        if (keyword == "end") {
            groups_[group_->first] = std::move(group_->second);
            group_.reset();
            return noMore();
        }
        const auto kind = stepKind(keyword);
        if (!kind) return fail("\"" + keyword + "\" is not a terminal step");
        TerminalStep step;
        step.kind = *kind;
        step.line = lineNumber_;
        if (!terminalStep(step)) return false;
        group_->second.push_back(std::move(step));
        return true;
    }

    static std::optional<TerminalStep::Kind> stepKind(const std::string& keyword) {
        using K = TerminalStep::Kind;
        static const std::pair<const char*, K> kSteps[] = {
            {"keys", K::Keys},
            {"type", K::Type},
            {"paste", K::Paste},
            {"click", K::Click},
            {"idle", K::Idle},
            {"watch-speed", K::WatchSpeed},
            {"resize", K::Resize},
            {"signal", K::Signal},
            {"release", K::Release},
            {"wait-screen", K::WaitScreen},
            {"wait-gone", K::WaitGone},
            {"screen-lacks", K::ScreenLacks},
            {"wait-field", K::WaitField},
            {"wait-grows", K::WaitGrows},
            {"wait-buttons", K::WaitButtons},
            {"wait-centred", K::WaitCentred},
            {"wait-only-line", K::WaitOnlyLine},
            {"wait-list", K::WaitList},
            {"wait-selected", K::WaitSelected},
            {"wait-finished", K::WaitFinished},
        };
        for (const auto& [name, kind] : kSteps) {
            if (keyword == name) return kind;
        }
        return std::nullopt;
    }

    // Quoted strings to the end of the line, one each.
    bool quotedList(std::vector<std::string>& out, const char* what) {
        if (in_.atEnd()) return fail(std::string("no ") + what);
        while (!in_.atEnd()) {
            std::string item;
            if (!quoted(item)) return false;
            out.push_back(std::move(item));
        }
        return true;
    }

    bool terminalStep(TerminalStep& step) {
        using K = TerminalStep::Kind;
        switch (step.kind) {
        case K::Keys:
            return quotedList(step.keys, "keys");
        case K::WaitButtons:
            return quotedList(step.keys, "buttons");
        case K::Type:
        case K::Paste:
        case K::WaitScreen:
        case K::WaitGone:
        case K::WaitCentred:
        case K::WaitOnlyLine:
            return text(step.text);
        case K::Click:
            if (!quoted(step.text)) return false;
            if (!in_.atEnd() && !number(step.count)) return false;
            if (step.count > 10000) return fail("a click held for more than 10 s");
            return noMore();
        case K::Idle:
        case K::WatchSpeed:
            if (!number(step.count)) return false;
            if (step.count == 0 || step.count > 30000) return fail("a time from 1 to 30000 ms");
            if (step.kind == K::WatchSpeed &&
                (!number(step.low) || !number(step.high) || step.low > step.high))
                return fail("watch-speed takes MS LOW HIGH, LOW at most HIGH");
            return noMore();
        case K::ScreenLacks:
            if (!number(step.count)) return false;
            if (step.count > 10000) return fail("watched for more than 10 s");
            return quotedList(step.keys, "texts");
        case K::Resize:
            if (!number(step.count) || !number(step.rows) || !noMore()) return false;
            if (step.count == 0 || step.rows == 0 || step.count > 1000 || step.rows > 1000)
                return fail("pane size out of range");
            return true;
        case K::Signal:
            if (!word(step.text, "a signal") || !noMore()) return false;
            if (step.text != "TERM" && step.text != "SEGV") return fail("signal is TERM or SEGV");
            return true;
        case K::Release:
        case K::WaitFinished:
            if (!name(step.server, "a server name")) return false;
            serverUses_.emplace_back(step.server, lineNumber_);
            if (step.kind == K::WaitFinished && !number(step.count)) return false;
            return noMore();
        case K::WaitField:
            if (!quoted(step.label)) return false;
            if (!in_.atEnd() && !in_.tokens[in_.next].quoted) {
                std::string has;
                if (!word(has, "has") || has != "has") return fail("wait-field LABEL [has] TEXT");
                step.has = true;
            }
            // An empty value is a value: the field is cleared.
            return quoted(step.text) && noMore();
        case K::WaitGrows:
            return quoted(step.label) && noMore();
        case K::WaitList: {
            if (!quoted(step.text)) return false;
            return quotedList(step.keys, "list items");
        }
        case K::WaitSelected:
            return quoted(step.text) && quoted(step.label) && noMore();
        }
        return fail("unknown step");
    }

    bool requestTarget(Expectation& e) {
        if (!name(e.server, "a server name") || !number(e.index)) return false;
        if (e.index == 0) return fail("connections count from 1");
        serverUses_.emplace_back(e.server, lineNumber_);
        return true;
    }

    bool expectation(CaseRun& run) {
        Expectation e;
        e.line = lineNumber_;
        std::string what;
        if (!word(what, "what to expect")) return false;
        using K = Expectation::Kind;
        bool ok = false;
        if (what == "exit") {
            e.kind = K::Exit;
            ok = signedNumber(e.code) && noMore();
        } else if (what == "connections") {
            e.kind = K::Connections;
            ok = name(e.server, "a server name") && number(e.count) && noMore();
            serverUses_.emplace_back(e.server, lineNumber_);
        } else if (what == "request" || what == "request-has" || what == "request-lacks") {
            e.kind = what == "request" ? K::Request
                                       : (what == "request-has" ? K::RequestHas : K::RequestLacks);
            ok = requestTarget(e) && text(e.text);
        } else if (what == "file") {
            ok = quoted(e.path) && fileExpectation(e);
        } else if (what == "no-file") {
            e.kind = K::NoFile;
            ok = quoted(e.path) && noMore();
        } else if (what == "stderr-has" || what == "stderr-lacks") {
            e.kind = what == "stderr-has" ? K::ErrorsHave : K::ErrorsLacks;
            ok = text(e.text);
        } else if (what == "log-has" || what == "log-lacks") {
            e.kind = what == "log-has" ? K::LogHas : K::LogLacks;
            ok = name(e.server, "a server name") && text(e.text);
            serverUses_.emplace_back(e.server, lineNumber_);
        } else if (what == "stderr-empty") {
            e.kind = K::ErrorsEmpty;
            ok = noMore();
        } else if (what == "time") {
            e.kind = K::Time;
            ok = number(e.offset) && number(e.count) && noMore();
        } else if (what == "cpu-at-most") {
            e.kind = K::CpuAtMost;
            ok = number(e.count) && noMore();
        } else if (what == "log-count") {
            e.kind = K::LogCount;
            ok = name(e.server, "a server name") && number(e.count) && text(e.text);
            serverUses_.emplace_back(e.server, lineNumber_);
        } else if (what == "signal" || what == "terminal-back") {
            if (!run.terminal) return fail("\"expect " + what + "\" needs \"terminal\" first");
            e.kind = what == "signal" ? K::Signal : K::TerminalBack;
            ok = what == "signal" ? word(e.text, "a signal") && noMore() : noMore();
            if (ok && what == "signal" && e.text != "TERM" && e.text != "SEGV")
                return fail("signal is TERM or SEGV");
        } else {
            return fail("unknown expectation \"" + what + "\"");
        }
        if (!ok) return false;
        run.expectations.push_back(std::move(e));
        return true;
    }

    bool fileExpectation(Expectation& e) {
        using K = Expectation::Kind;
        std::string kind;
        if (!word(kind, "what the file holds")) return false;
        if (kind == "data" || kind == "prefix-of") {
            e.kind = kind == "data" ? K::FileData : K::FilePrefixOf;
            if (!name(e.text, "a data name")) return false;
            dataUses_.emplace_back(e.text, lineNumber_);
            if (kind == "prefix-of" && !in_.atEnd() && !number(e.count)) return false;
            return noMore();
        }
        if (kind == "text") {
            e.kind = K::FileText;
            return text(e.text);
        }
        if (kind == "size") {
            e.kind = K::FileSize;
            return number(e.count) && noMore();
        }
        if (kind == "size-in") {
            e.kind = K::FileSizeIn;
            if (!number(e.offset) || !number(e.count) || !noMore()) return false;
            return e.offset <= e.count || fail("size-in MIN MAX: MIN above MAX");
        }
        if (kind == "sha256") {
            e.kind = K::FileSha256;
            return word(e.text, "a hash") && noMore();
        }
        if (kind == "at") {
            e.kind = K::FileAt;
            if (!number(e.offset) || !name(e.text, "a data name")) return false;
            dataUses_.emplace_back(e.text, lineNumber_);
            return noMore();
        }
        return fail("unknown file expectation \"" + kind + "\"");
    }

    // Names used before their definition are allowed; each must exist in the end.
    bool finish() {
        for (const auto& [used, line] : dataUses_) {
            if (dataNames_.count(used) == 0) {
                lineNumber_ = line;
                return fail("no data item " + used);
            }
        }
        for (const auto& [used, line] : serverUses_) {
            if (serverNames_.count(used) == 0) {
                lineNumber_ = line;
                return fail("no server " + used);
            }
        }
        if (description_.proxy && serverNames_.count(*description_.proxy) == 0) {
            lineNumber_ = proxyLine_;
            return fail("no server " + *description_.proxy);
        }
        if (description_.runs.empty()) return fail("no \"run\"");
        for (const CaseRun& run : description_.runs) {
            bool exit = false;
            for (const auto& e : run.expectations)
                exit |= e.kind == Expectation::Kind::Exit || e.kind == Expectation::Kind::Signal;
            if (!exit || (run.args.empty() && !run.terminal)) {
                lineNumber_ = run.line;
                return fail("a run needs \"args\" (or \"terminal\") and \"expect exit\" "
                            "(or \"expect signal\")");
            }
        }
        return true;
    }

    CaseDescription description_;
    ScriptLineReader in_;
    std::vector<ScriptToken> pending_;
    int pendingLine_ = 0;
    int lineNumber_ = 0;
    int proxyLine_ = 0;
    CaseServer* block_ = nullptr; // the server whose block is open
    // The "steps" group being read (its name and steps), and those read.
    std::optional<std::pair<std::string, std::vector<TerminalStep>>> group_;
    int groupLine_ = 0;
    std::map<std::string, std::vector<TerminalStep>> groups_;
    size_t lastScriptLine_ = 0; // in its script: where the last statement line ends
    std::set<std::string> dataNames_;
    std::set<std::string> serverNames_;
    std::vector<std::pair<std::string, int>> dataUses_;
    std::vector<std::pair<std::string, int>> serverUses_;
    std::string error_;
};

} // namespace

std::optional<CaseDescription> parseCase(std::string_view text, std::string& error) {
    CaseParser parser;
    if (!parser.parse(text)) {
        error = parser.error();
        return std::nullopt;
    }
    return std::move(parser.result());
}

char patternByte(uint64_t index) {
    // A mixing function, so a byte shifted by any offset does not match its neighbour's.
    uint64_t x = (index + 1) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    return static_cast<char>(x >> 56);
}

std::string dataBytes(const DataItem& item) {
    switch (item.kind) {
    case DataItem::Kind::Text:
        return item.text;
    case DataItem::Kind::Pattern: {
        std::string bytes(size_t(item.size), '\0');
        for (uint64_t i = 0; i < item.size; ++i) bytes[size_t(i)] = patternByte(item.offset + i);
        return bytes;
    }
    case DataItem::Kind::Repeat: {
        std::string bytes;
        for (uint64_t i = 1; i <= item.size; ++i) {
            std::string copy = item.text;
            const std::string number = std::to_string(i);
            for (size_t at = copy.find("{i}"); at != std::string::npos;
                 at = copy.find("{i}", at + number.size())) {
                copy.replace(at, 3, number);
            }
            bytes += copy;
        }
        return bytes;
    }
    }
    return {};
}

} // namespace qb::test::e2e
