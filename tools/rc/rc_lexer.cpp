#include "tools/rc/rc_lexer.h"

#include <string_view>

namespace qb::rc {
namespace {

constexpr std::string_view kPunctuation = ",|&+-~(){}";

bool isIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isIdentChar(char c) {
    return isIdentStart(c) || (c >= '0' && c <= '9');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string describe(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u < 0x7F) return std::string("'") + c + "'";
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("byte 0x") + kHex[u >> 4] + kHex[u & 0xF];
}

} // namespace

Lexer::Lexer(std::string_view text, bool directives) : text_(text), directives_(directives) {}

bool Lexer::fail(std::string* error, int line, std::string message) {
    errorLine_ = line;
    *error = std::move(message);
    return false;
}

bool Lexer::skipSpaceAndComments(std::string* error) {
    while (pos_ < text_.size()) {
        char c = text_[pos_];
        if (c == '\n') {
            ++line_;
            ++pos_;
            atLineStart_ = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++pos_;
        } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
            while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
        } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
            int startLine = line_;
            pos_ += 2;
            while (pos_ + 1 < text_.size() && !(text_[pos_] == '*' && text_[pos_ + 1] == '/')) {
                if (text_[pos_] == '\n') ++line_;
                ++pos_;
            }
            if (pos_ + 1 >= text_.size()) return fail(error, startLine, "unterminated comment");
            pos_ += 2;
        } else {
            return true;
        }
    }
    return true;
}

void Lexer::lexDirective(Token* token) {
    // The directive runs to the end of the line; a backslash before the newline joins the
    // next line, as the C preprocessor does.
    ++pos_; // '#'
    token->kind = TokenKind::Directive;
    token->line = line_;
    while (pos_ < text_.size() && text_[pos_] != '\n') {
        if (text_[pos_] == '\\' && pos_ + 1 < text_.size() &&
            (text_[pos_ + 1] == '\n' ||
             (text_[pos_ + 1] == '\r' && pos_ + 2 < text_.size() && text_[pos_ + 2] == '\n'))) {
            pos_ += text_[pos_ + 1] == '\r' ? 3 : 2;
            ++line_;
            token->text += ' ';
            continue;
        }
        token->text += text_[pos_++];
    }
}

bool Lexer::lexString(Token* token, std::string* error) {
    int startLine = line_;
    ++pos_; // opening quote
    token->kind = TokenKind::String;
    token->line = startLine;
    while (true) {
        if (pos_ >= text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r')
            return fail(error, startLine, "unterminated string");
        char c = text_[pos_++];
        if (c == '"') {
            // A doubled quote stands for one quote inside the text.
            if (pos_ < text_.size() && text_[pos_] == '"') {
                token->text += '"';
                ++pos_;
                continue;
            }
            return true;
        }
        if (c != '\\') {
            token->text += c;
            continue;
        }
        if (pos_ >= text_.size()) return fail(error, startLine, "unterminated string");
        char e = text_[pos_++];
        switch (e) {
        case '\\':
            token->text += '\\';
            break;
        case '"':
            token->text += '"';
            break;
        case 'n':
            token->text += '\n';
            break;
        case 't':
            token->text += '\t';
            break;
        case 'r':
            token->text += '\r';
            break;
        case 'a':
            token->text += '\a';
            break;
        default:
            if (e == '\n' || e == '\r') return fail(error, startLine, "unterminated string");
            return fail(error, line_, "unsupported escape \\" + std::string(1, e) + " in string");
        }
    }
}

bool Lexer::lexNumber(Token* token, std::string* error) {
    token->kind = TokenKind::Number;
    token->line = line_;
    size_t start = pos_;
    uint64_t value = 0;
    bool hex = text_[pos_] == '0' && pos_ + 1 < text_.size() &&
               (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X');
    if (hex) {
        pos_ += 2;
        size_t digits = 0;
        while (pos_ < text_.size() && hexValue(text_[pos_]) >= 0) {
            value = value * 16 + static_cast<uint64_t>(hexValue(text_[pos_++]));
            if (value > 0xFFFFFFFFull) return fail(error, line_, "number too large");
            ++digits;
        }
        if (digits == 0) return fail(error, line_, "malformed number");
    } else {
        while (pos_ < text_.size() && isDigit(text_[pos_])) {
            value = value * 10 + static_cast<uint64_t>(text_[pos_++] - '0');
            if (value > 0xFFFFFFFFull) return fail(error, line_, "number too large");
        }
    }
    while (pos_ < text_.size() &&
           (text_[pos_] == 'L' || text_[pos_] == 'l' || text_[pos_] == 'U' || text_[pos_] == 'u'))
        ++pos_;
    if (pos_ < text_.size() && isIdentChar(text_[pos_]))
        return fail(error, line_,
                    "malformed number '" + std::string(text_.substr(start, pos_ + 1 - start)) +
                        "'");
    token->number = static_cast<uint32_t>(value);
    token->text = std::string(text_.substr(start, pos_ - start));
    return true;
}

bool Lexer::next(Token* token, std::string* error) {
    *token = Token{};
    if (!skipSpaceAndComments(error)) return false;
    token->line = line_;
    if (pos_ >= text_.size()) return true; // End
    char c = text_[pos_];
    bool lineStart = atLineStart_;
    atLineStart_ = false;
    if (c == '#') {
        if (!directives_ || !lineStart) return fail(error, line_, "unexpected '#'");
        lexDirective(token);
        return true;
    }
    if (c == '"') return lexString(token, error);
    if (c == 'L' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
        ++pos_;
        return lexString(token, error);
    }
    if (isDigit(c)) return lexNumber(token, error);
    if (isIdentStart(c)) {
        token->kind = TokenKind::Identifier;
        size_t start = pos_;
        while (pos_ < text_.size() && isIdentChar(text_[pos_])) ++pos_;
        token->text = std::string(text_.substr(start, pos_ - start));
        return true;
    }
    if (kPunctuation.find(c) != std::string_view::npos) {
        token->kind = TokenKind::Punct;
        token->text = std::string(1, c);
        ++pos_;
        return true;
    }
    return fail(error, line_, "unexpected character " + describe(c));
}

} // namespace qb::rc
