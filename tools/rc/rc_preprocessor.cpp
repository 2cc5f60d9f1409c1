#include "tools/rc/rc_preprocessor.h"

#include <algorithm>
#include <utility>

namespace qb::rc {
namespace {

// Bounds that keep a malformed script from recursing without end.
constexpr size_t kMaxIncludeDepth = 16;
constexpr int kMaxMacroDepth = 32;
// Tokens all macro uses of one script may expand to: macros that each use the one before
// twice would otherwise double the work at every level.
constexpr size_t kMaxExpandedTokens = 100000;

// Headers of the Win32 SDK: their constants are built in, so including them changes nothing.
constexpr std::string_view kSystemHeaders[] = {"windows.h", "winres.h",   "winresrc.h",
                                               "winuser.h", "commctrl.h", "winnt.h"};

constexpr uint32_t kUtf8CodePage = 65001;

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\f\v");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\f\v");
    return s.substr(b, e - b + 1);
}

bool isNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool hasNonAscii(const std::string& s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Lexes the body of a directive; every token gets the directive's file and line.
bool lexAll(const std::string& text, const Token& where, std::vector<Token>* tokens,
            std::string* message) {
    Lexer lexer(text, false);
    while (true) {
        Token t;
        if (!lexer.next(&t, message)) return false;
        if (t.kind == TokenKind::End) return true;
        t.line = where.line;
        t.file = where.file;
        tokens->push_back(std::move(t));
    }
}

bool sameTokens(const std::vector<Token>& a, const std::vector<Token>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const Token& x, const Token& y) {
               return x.kind == y.kind && x.text == y.text;
           });
}

} // namespace

Preprocessor::Preprocessor(FileLoader loader) : loader_(std::move(loader)) {}

void Preprocessor::push(std::string path, std::string text) {
    files_.push_back(std::move(path));
    frames_.push_back(
        std::make_unique<Frame>(static_cast<int>(files_.size() - 1), std::move(text)));
}

void Preprocessor::open(std::string path, std::string text) {
    push(std::move(path), std::move(text));
}

bool Preprocessor::fail(Diagnostic* error, int file, int line, std::string message) const {
    error->file = files_.empty() ? std::string() : files_[static_cast<size_t>(file)];
    error->line = line;
    error->message = std::move(message);
    return false;
}

bool Preprocessor::next(Token* token, Diagnostic* error) {
    while (true) {
        Pending current;
        if (!pending_.empty()) {
            current = std::move(pending_.front());
            pending_.pop_front();
        } else {
            if (frames_.empty()) {
                *token = Token{};
                return true;
            }
            Frame& frame = *frames_.back();
            std::string message;
            if (!frame.lexer.next(&current.token, &message))
                return fail(error, frame.file, frame.lexer.errorLine(), message);
            current.token.file = frame.file;
            current.depth = 0;
            if (current.token.kind == TokenKind::End) {
                frames_.pop_back();
                continue;
            }
            if (current.token.kind == TokenKind::Directive) {
                if (!directive(current.token, error)) return false;
                continue;
            }
        }
        Token& t = current.token;
        if (t.kind == TokenKind::String && !utf8_ && hasNonAscii(t.text))
            return fail(error, t.file, t.line,
                        "non-ASCII text needs #pragma code_page(65001) before it");
        if (t.kind == TokenKind::Identifier) {
            auto macro = macros_.find(t.text);
            if (macro != macros_.end()) {
                if (current.depth >= kMaxMacroDepth)
                    return fail(error, t.file, t.line,
                                "macro '" + t.text + "' expands without end");
                expandedTokens_ += macro->second.size();
                if (expandedTokens_ > kMaxExpandedTokens)
                    return fail(error, t.file, t.line,
                                "macro '" + t.text + "' expands to too many tokens");
                // The expansion takes the place of the name, at the line where it is used.
                for (auto it = macro->second.rbegin(); it != macro->second.rend(); ++it) {
                    Pending p{*it, current.depth + 1};
                    p.token.file = t.file;
                    p.token.line = t.line;
                    pending_.push_front(std::move(p));
                }
                continue;
            }
        }
        *token = std::move(t);
        return true;
    }
}

bool Preprocessor::directive(const Token& line, Diagnostic* error) {
    std::string text = trim(line.text);
    size_t nameEnd = 0;
    while (nameEnd < text.size() && isNameChar(text[nameEnd])) ++nameEnd;
    std::string name = text.substr(0, nameEnd);
    std::string rest = text.substr(nameEnd);
    if (name.empty()) {
        if (trim(rest).empty()) return true; // the null directive
        return fail(error, line.file, line.line, "malformed directive '#" + text + "'");
    }
    if (name == "include") return include(line, trim(rest), error);
    if (name == "define") return define(line, rest, error);
    if (name == "undef") {
        std::string macro = trim(rest);
        if (macro.empty() || !std::all_of(macro.begin(), macro.end(), isNameChar))
            return fail(error, line.file, line.line, "#undef needs one name");
        macros_.erase(macro);
        return true;
    }
    if (name == "pragma") return pragma(line, trim(rest), error);
    return fail(error, line.file, line.line, "unsupported directive '#" + name + "'");
}

bool Preprocessor::include(const Token& line, const std::string& rest, Diagnostic* error) {
    if (rest.size() >= 2 && rest.front() == '<' && rest.back() == '>') {
        std::string header = rest.substr(1, rest.size() - 2);
        for (std::string_view known : kSystemHeaders)
            if (header == known) return true;
        return fail(error, line.file, line.line, "cannot include <" + header + ">");
    }
    if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"' ||
        rest.find('"', 1) != rest.size() - 1)
        return fail(error, line.file, line.line, "#include needs a \"file\" name");
    std::string name = rest.substr(1, rest.size() - 2);
    if (frames_.size() >= kMaxIncludeDepth)
        return fail(error, line.file, line.line, "#include nested too deeply");
    SourceFile file;
    if (!loader_ || !loader_(files_[static_cast<size_t>(line.file)], name, &file))
        return fail(error, line.file, line.line, "cannot open include file '" + name + "'");
    if (onceFiles_.count(file.path)) return true;
    push(std::move(file.path), std::move(file.bytes));
    return true;
}

bool Preprocessor::define(const Token& line, const std::string& rest, Diagnostic* error) {
    size_t b = rest.find_first_not_of(" \t");
    if (b == std::string::npos || b == 0)
        return fail(error, line.file, line.line, "#define needs a name");
    size_t e = b;
    while (e < rest.size() && isNameChar(rest[e])) ++e;
    std::string name = rest.substr(b, e - b);
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return fail(error, line.file, line.line, "#define needs a name");
    if (e < rest.size() && rest[e] == '(')
        return fail(error, line.file, line.line,
                    "macro '" + name + "' with parameters is not supported");
    std::vector<Token> body;
    std::string message;
    if (!lexAll(rest.substr(e), line, &body, &message))
        return fail(error, line.file, line.line, message);
    auto existing = macros_.find(name);
    if (existing != macros_.end() && !sameTokens(existing->second, body))
        return fail(error, line.file, line.line, "macro '" + name + "' redefined differently");
    macros_[name] = std::move(body);
    return true;
}

bool Preprocessor::pragma(const Token& line, const std::string& rest, Diagnostic* error) {
    std::vector<Token> tokens;
    std::string message;
    if (!lexAll(rest, line, &tokens, &message)) return fail(error, line.file, line.line, message);
    if (tokens.size() == 1 && tokens[0].text == "once") {
        onceFiles_.insert(files_[static_cast<size_t>(line.file)]);
        return true;
    }
    if (!tokens.empty() && tokens[0].text == "code_page") {
        if (tokens.size() != 4 || tokens[1].text != "(" || tokens[2].kind != TokenKind::Number ||
            tokens[3].text != ")")
            return fail(error, line.file, line.line, "malformed #pragma code_page");
        if (tokens[2].number != kUtf8CodePage)
            return fail(error, line.file, line.line,
                        "code page " + tokens[2].text + " is not supported; use 65001 (UTF-8)");
        utf8_ = true;
        return true;
    }
    return fail(error, line.file, line.line, "unsupported #pragma '" + rest + "'");
}

} // namespace qb::rc
