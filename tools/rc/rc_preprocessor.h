// The preprocessing a resource script needs: #include of headers, #define of object-like
// macros (ids and style combinations), #pragma code_page(65001) and #pragma once. It turns
// the script and its headers into one stream of tokens with macros expanded.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/rc/rc_diagnostic.h"
#include "tools/rc/rc_lexer.h"
#include "tools/rc/rc_source.h"

namespace qb::rc {

class Preprocessor {
public:
    explicit Preprocessor(FileLoader loader);

    // Starts with the top-level script.
    void open(std::string path, std::string text);

    // The next token; TokenKind::End once the script is exhausted. False with *error set
    // when a directive, a macro or the text itself is malformed.
    bool next(Token* token, Diagnostic* error);

    const std::string& fileName(int index) const { return files_[static_cast<size_t>(index)]; }

private:
    // One file being read; held by pointer because the lexer reads the text in place.
    struct Frame {
        Frame(int fileIndex, std::string source)
            : file(fileIndex), text(std::move(source)), lexer(text, true) {}
        int file;
        std::string text;
        Lexer lexer;
    };
    struct Pending {
        Token token;
        int depth;
    };

    bool directive(const Token& line, Diagnostic* error);
    bool include(const Token& line, const std::string& rest, Diagnostic* error);
    bool define(const Token& line, const std::string& rest, Diagnostic* error);
    bool pragma(const Token& line, const std::string& rest, Diagnostic* error);
    bool fail(Diagnostic* error, int file, int line, std::string message) const;
    void push(std::string path, std::string text);

    FileLoader loader_;
    std::vector<std::string> files_;
    std::vector<std::unique_ptr<Frame>> frames_;
    std::deque<Pending> pending_;
    std::map<std::string, std::vector<Token>> macros_;
    std::set<std::string> onceFiles_;
    bool utf8_ = false;
    size_t expandedTokens_ = 0; // by every macro use so far
};

} // namespace qb::rc
