#include "platform/kernel/find_pattern.h"

#include <string>
#include <vector>

namespace qb::kernel {
namespace {

// The pattern as the file system matches it: DOS_STAR ("*" before "."), DOS_QM ("?"),
// DOS_DOT ("." before a wildcard or at the end).
enum Token : char16_t {
    kStar = 0xF000,
    kDosStar,
    kDosQm,
    kDosDot,
};

std::u16string Translate(std::u16string_view pattern) {
    if (pattern == u"*.*") return std::u16string(1, kStar);
    std::u16string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char16_t unit = pattern[i];
        const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
        if (unit == u'?')
            out.push_back(kDosQm);
        else if (unit == u'*')
            out.push_back(next == u'.' ? char16_t(kDosStar) : char16_t(kStar));
        else if (unit == u'.' && (next == u'*' || next == u'?' || next == 0))
            out.push_back(kDosDot);
        else
            out.push_back(unit);
    }
    return out;
}

class Matcher {
public:
    Matcher(std::u16string_view pattern, std::u16string_view name)
        : pattern_(pattern), name_(name), lastDot_(name.rfind(u'.')),
          memo_((pattern.size() + 1) * (name.size() + 1), kUnknown) {}

    bool Match(size_t p, size_t n) {
        char& memo = memo_[p * (name_.size() + 1) + n];
        if (memo == kUnknown) memo = Compute(p, n) ? kYes : kNo;
        return memo == kYes;
    }

private:
    static constexpr char kUnknown = 0, kYes = 1, kNo = 2;

    bool Compute(size_t p, size_t n) {
        const bool nameEnd = n == name_.size();
        if (p == pattern_.size()) return nameEnd;
        switch (pattern_[p]) {
        case kStar:
            return Match(p + 1, n) || (!nameEnd && Match(p, n + 1));
        case kDosStar:
            // Any run that stays before the name's final dot (or anything, without one).
            if (Match(p + 1, n)) return true;
            if (nameEnd) return false;
            if (lastDot_ != std::u16string_view::npos && n >= lastDot_) return false;
            return Match(p, n + 1);
        case kDosQm:
            if (nameEnd || name_[n] == u'.') return Match(p + 1, n);
            return Match(p + 1, n + 1);
        case kDosDot:
            if (nameEnd) return Match(p + 1, n);
            return name_[n] == u'.' && Match(p + 1, n + 1);
        default:
            return !nameEnd && name_[n] == pattern_[p] && Match(p + 1, n + 1);
        }
    }

    std::u16string_view pattern_;
    std::u16string_view name_;
    size_t lastDot_;
    std::vector<char> memo_;
};

} // namespace

bool HasWildcards(std::u16string_view pattern) {
    return pattern.find_first_of(u"*?") != std::u16string_view::npos;
}

bool MatchesPattern(std::u16string_view pattern, std::u16string_view name) {
    const std::u16string translated = Translate(pattern);
    Matcher matcher(translated, name);
    return matcher.Match(0, 0);
}

} // namespace qb::kernel
