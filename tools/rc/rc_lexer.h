// Splits one source text (a script or a header it includes) into tokens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb::rc {

enum class TokenKind {
    End,        // end of the text
    Identifier, // keywords and names
    Number,     // decimal or 0x hexadecimal, an optional L or U suffix
    String,     // "text" or L"text", escapes resolved; the bytes as written (UTF-8)
    Punct,      // one of , | & + - ~ ( ) { }
    Directive,  // a line that starts with '#': the text after it, continuations joined
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text; // identifier, string bytes, punctuation character or directive line
    uint32_t number = 0;
    int line = 0;
    int file = 0; // index into the preprocessor's list of files
};

class Lexer {
public:
    // directives: whether '#' at the start of a line begins a directive (false when the
    // text is itself the body of a directive).
    Lexer(std::string_view text, bool directives);

    // The next token. False with *error set (and errorLine()) when the text is malformed.
    bool next(Token* token, std::string* error);
    int errorLine() const { return errorLine_; }

private:
    bool skipSpaceAndComments(std::string* error);
    bool lexString(Token* token, std::string* error);
    bool lexNumber(Token* token, std::string* error);
    void lexDirective(Token* token);
    bool fail(std::string* error, int line, std::string message);

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
    bool atLineStart_ = true;
    bool directives_;
    int errorLine_ = 0;
};

} // namespace qb::rc
