// Script parsing, quoting and the requests file.
#include "tests/support/script_file.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "tests/support/temp_dir.h"

namespace qb::test {
namespace {

using Token = ScriptToken;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool tokenizeScriptLine(std::string_view line, std::vector<ScriptToken>& tokens,
                        std::string& error) {
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token token{true, {}};
            for (++i;; ++i) {
                if (i >= line.size()) {
                    error = "unterminated string";
                    return false;
                }
                if (line[i] == '"') break;
                if (line[i] != '\\') {
                    token.text += line[i];
                    continue;
                }
                if (++i >= line.size()) {
                    error = "unterminated string";
                    return false;
                }
                switch (line[i]) {
                case 'r':
                    token.text += '\r';
                    break;
                case 'n':
                    token.text += '\n';
                    break;
                case 't':
                    token.text += '\t';
                    break;
                case '0':
                    token.text += '\0';
                    break;
                case '\\':
                    token.text += '\\';
                    break;
                case '"':
                    token.text += '"';
                    break;
                case 'x': {
                    const int high = i + 1 < line.size() ? hexDigit(line[i + 1]) : -1;
                    const int low = i + 2 < line.size() ? hexDigit(line[i + 2]) : -1;
                    if (high < 0 || low < 0) {
                        error = "\\x needs two hex digits";
                        return false;
                    }
                    token.text += char(high * 16 + low);
                    i += 2;
                    break;
                }
                default:
                    error = std::string("unknown escape \\") + line[i];
                    return false;
                }
            }
            ++i;
            tokens.push_back(std::move(token));
        } else {
            Token token;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                   line[i] != '"' && line[i] != '#') {
                token.text += line[i++];
            }
            tokens.push_back(std::move(token));
        }
    }
    return true;
}

void ScriptLineReader::reset(std::vector<ScriptToken> line) {
    tokens = std::move(line);
    next = 1;
    error.clear();
}

bool ScriptLineReader::fail(std::string what) {
    error = std::move(what);
    return false;
}

bool ScriptLineReader::word(std::string& out, const char* what) {
    if (atEnd() || tokens[next].quoted) return fail(std::string(what) + " is missing");
    out = tokens[next++].text;
    return true;
}

bool ScriptLineReader::quoted(std::string& out) {
    if (atEnd() || !tokens[next].quoted) return fail("a quoted text is missing");
    out = tokens[next++].text;
    return true;
}

bool ScriptLineReader::text(std::string& out) {
    if (!quoted(out)) return false;
    while (!atEnd()) {
        if (!tokens[next].quoted) return noMore();
        out += tokens[next++].text;
    }
    return true;
}

namespace {

template <typename Integer> bool readNumber(ScriptLineReader& reader, Integer& value) {
    std::string t;
    if (!reader.word(t, "a number")) return false;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size()) return reader.fail("not a number: " + t);
    return true;
}

} // namespace

bool ScriptLineReader::number(uint64_t& value) {
    return readNumber(*this, value);
}

bool ScriptLineReader::signedNumber(int& value) {
    return readNumber(*this, value);
}

bool ScriptLineReader::noMore() {
    return atEnd() || fail("unexpected \"" + tokens[next].text + "\"");
}

namespace {

// One block of the script being built.
struct Block {
    Reply reply;
    bool atOnce = false;
    bool hasSteps = false;
    HeaderList headers;
    std::optional<std::string> rangeBody;
};

class Parser {
public:
    explicit Parser(std::string baseDir) : baseDir_(std::move(baseDir)) {}

    bool line(std::vector<Token> tokens) {
        if (tokens.empty()) return true;
        in_.reset(std::move(tokens));
        const std::string& keyword = in_.tokens[0].text;
        if (in_.tokens[0].quoted) return fail("a line begins with a keyword");
        if (keyword == "connection" || keyword == "fallback") return beginBlock(keyword);
        if (!block_) return fail("\"" + keyword + "\" before the first block");
        return step(keyword);
    }

    bool finish(Script& script) {
        if (!endBlock()) return false;
        script = std::move(script_);
        return true;
    }

    const std::string& error() const { return error_; }

private:
    bool fail(std::string what) {
        error_ = std::move(what);
        return false;
    }

    bool beginBlock(const std::string& keyword) {
        if (!endBlock() || !noMore()) return false;
        if (keyword == "fallback" && script_.fallback) return fail("a second fallback");
        block_.emplace();
        blockIsFallback_ = keyword == "fallback";
        return true;
    }

    bool endBlock() {
        if (!block_) return true;
        Block& b = *block_;
        ScriptEntry entry;
        if (b.rangeBody) {
            entry = {rangeResponder(std::move(*b.rangeBody), {true, b.headers}), true};
        } else {
            if (!b.headers.empty()) return fail("header without a following ok or range");
            entry = {[reply = b.reply](const std::string&) { return reply; }, !b.atOnce};
        }
        if (blockIsFallback_) {
            script_.fallback = std::move(entry);
        } else {
            script_.connections.push_back(std::move(entry));
        }
        block_.reset();
        return true;
    }

    bool step(const std::string& keyword) {
        Block& b = *block_;
        if (keyword == "header") {
            std::string name, value;
            if (!quoted(name) || !quoted(value) || !noMore()) return false;
            b.headers.emplace_back(std::move(name), std::move(value));
            return true;
        }
        if (keyword == "range" || keyword == "range-file") {
            std::string body;
            if (b.rangeBody) return fail("a second range");
            if (b.hasSteps) return fail("range must be its block's only answer");
            if (!(keyword == "range" ? text(body) : fileText(body))) return false;
            b.rangeBody = std::move(body);
            return true;
        }
        if (b.rangeBody) return fail("range must be its block's only answer");
        b.hasSteps = true;
        if (keyword == "at-once") {
            b.atOnce = true;
            return noMore();
        }
        if (keyword == "send" || keyword == "send-file") {
            std::string bytes;
            if (!(keyword == "send" ? text(bytes) : fileText(bytes))) return false;
            b.reply.send(bytes);
            return true;
        }
        if (keyword == "ok" || keyword == "ok-file") {
            std::string body;
            if (!(keyword == "ok" ? text(body) : fileText(body))) return false;
            HeaderList headers{{"Content-Length", std::to_string(body.size())}};
            headers.insert(headers.end(), b.headers.begin(), b.headers.end());
            b.headers.clear();
            b.reply.send(httpResponse(200, "OK", headers, body));
            return true;
        }
        if (keyword == "send-pieces") {
            uint64_t size = 0, pause = 0;
            std::string bytes;
            if (!number(size) || !number(pause) || !text(bytes)) return false;
            b.reply.sendInPieces(bytes, size_t(size), Millis(pause));
            return true;
        }
        if (keyword == "pause") {
            uint64_t time = 0;
            if (!number(time) || !noMore()) return false;
            b.reply.pause(Millis(time));
            return true;
        }
        if (keyword == "stall" || keyword == "wait-head") {
            const Millis fallbackTime =
                keyword == "stall" ? kDefaultStallLimit : kDefaultRequestWait;
            uint64_t time = uint64_t(fallbackTime.count());
            if (!optionalNumber(time) || !noMore()) return false;
            if (keyword == "stall") {
                b.reply.stall(Millis(time));
            } else {
                b.reply.waitForHead(Millis(time));
            }
            return true;
        }
        if (keyword == "wait-bytes") {
            uint64_t count = 0, time = uint64_t(kDefaultRequestWait.count());
            if (!number(count) || !optionalNumber(time) || !noMore()) return false;
            b.reply.waitForBytes(size_t(count), Millis(time));
            return true;
        }
        if (keyword == "close") {
            b.reply.close();
            return noMore();
        }
        if (keyword == "reset") {
            b.reply.reset();
            return noMore();
        }
        return fail("unknown keyword \"" + keyword + "\"");
    }

    bool noMore() { return in_.noMore() || fail(in_.error); }
    bool number(uint64_t& value) { return in_.number(value) || fail(in_.error); }
    bool optionalNumber(uint64_t& value) { return in_.atEnd() || number(value); }
    bool quoted(std::string& out) { return in_.quoted(out) || fail(in_.error); }
    bool text(std::string& out) { return in_.text(out) || fail(in_.error); }

    bool fileText(std::string& out) {
        std::string path;
        if (!quoted(path) || !noMore()) return false;
        if (!path.empty() && path[0] != '/') path = baseDir_ + "/" + path;
        auto content = readFile(path);
        if (!content) return fail("cannot read " + path);
        out = std::move(*content);
        return true;
    }

    std::string baseDir_;
    ScriptLineReader in_;
    std::optional<Block> block_;
    bool blockIsFallback_ = false;
    Script script_;
    std::string error_;
};

} // namespace

std::optional<Script> parseScript(std::string_view text, const std::string& baseDir,
                                  std::string& error) {
    Parser parser(baseDir);
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t lf = text.find('\n');
        const std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        std::vector<Token> tokens;
        std::string what;
        if (line.size() > kMaxScriptLine) {
            what = "line too long";
        } else if (tokenizeScriptLine(line, tokens, what) && parser.line(std::move(tokens))) {
            continue;
        }
        error =
            "line " + std::to_string(lineNumber) + ": " + (what.empty() ? parser.error() : what);
        return std::nullopt;
    }
    Script script;
    if (!parser.finish(script)) {
        error = "line " + std::to_string(lineNumber) + ": " + parser.error();
        return std::nullopt;
    }
    return script;
}

std::optional<Script> loadScriptFile(const std::string& path, std::string& error) {
    const auto text = readFile(path);
    if (!text) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    const size_t slash = path.rfind('/');
    const std::string baseDir = slash == std::string::npos ? "." : path.substr(0, slash);
    return parseScript(*text, baseDir.empty() ? "/" : baseDir, error);
}

void addScript(ScriptedServer& server, const Script& script) {
    for (const auto& entry : script.connections)
        server.addResponder(entry.responder, entry.waitForHead);
    if (script.fallback)
        server.setFallback(script.fallback->responder, script.fallback->waitForHead);
}

std::string quoteBytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            quoted += "\\r";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\t':
            quoted += "\\t";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '"':
            quoted += "\\\"";
            break;
        default:
            if (u < 0x20 || u >= 0x7f) {
                quoted += "\\x";
                quoted += kHex[u >> 4];
                quoted += kHex[u & 0xf];
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

std::string formatRequests(const std::vector<RecordedRequest>& requests) {
    std::string text;
    for (const auto& r : requests) {
        text += "connection " + std::to_string(r.connection) + " request " +
                std::to_string(r.bytes.size()) + "\n";
        text += r.bytes;
        text += "\n";
    }
    return text;
}

bool writeRequestsFile(const std::string& path, const std::vector<RecordedRequest>& requests) {
    const std::string temporary = path + ".part";
    return writeFile(temporary, formatRequests(requests)) &&
           std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::optional<std::vector<RecordedRequest>> parseRequests(std::string_view text) {
    std::vector<RecordedRequest> requests;
    while (!text.empty()) {
        const size_t lf = text.find('\n');
        if (lf == std::string_view::npos) return std::nullopt;
        const std::string header(text.substr(0, lf));
        text.remove_prefix(lf + 1);
        size_t connection = 0, length = 0;
        int consumed = 0;
        if (std::sscanf(header.c_str(), "connection %zu request %zu%n", &connection, &length,
                        &consumed) != 2 ||
            size_t(consumed) != header.size() || text.size() < length + 1 || text[length] != '\n') {
            return std::nullopt;
        }
        requests.push_back({connection, std::string(text.substr(0, length))});
        text.remove_prefix(length + 1);
    }
    return requests;
}

std::optional<std::vector<RecordedRequest>> readRequestsFile(const std::string& path) {
    const auto text = readFile(path);
    if (!text) return std::nullopt;
    return parseRequests(*text);
}

} // namespace qb::test
