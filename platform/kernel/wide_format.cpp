// wsprintfW, wvsprintfW, lstrlenW and lstrcmpW.
#include <cstdint>

#include <windows.h>

namespace {

// wsprintfW never writes more than this many units, terminator included.
constexpr int kWsprintfCapacity = 1024;
// Digits of the longest 64-bit number in any base used here (octal is not offered).
constexpr int kMaxDigits = 20;
constexpr WCHAR kNullText[] = u"(null)";

// Collects the output, silently dropping what exceeds the capacity.
class Output {
public:
    explicit Output(LPWSTR buffer) : buffer_(buffer) {}
    void Put(WCHAR unit) {
        if (length_ < kWsprintfCapacity - 1) buffer_[length_++] = unit;
    }
    void Repeat(WCHAR unit, int count) {
        for (int i = 0; i < count; ++i) Put(unit);
    }
    int Finish() {
        buffer_[length_] = 0;
        return length_;
    }

private:
    LPWSTR buffer_;
    int length_ = 0;
};

struct Directive {
    bool leftAlign = false;
    bool zeroPad = false;
    int width = 0;
    int precision = -1;
};

void PutPadded(Output& out, const Directive& directive, const WCHAR* text, int length,
               bool numeric) {
    const int pad = directive.width > length ? directive.width - length : 0;
    if (!directive.leftAlign) {
        // Zero padding goes after a sign, as printf does.
        const bool zeros = directive.zeroPad && numeric;
        if (zeros && length > 0 && text[0] == u'-') {
            out.Put(u'-');
            ++text;
            --length;
        }
        out.Repeat(zeros ? u'0' : u' ', pad);
    }
    for (int i = 0; i < length; ++i) out.Put(text[i]);
    if (directive.leftAlign) out.Repeat(u' ', pad);
}

void PutNumber(Output& out, const Directive& directive, uint64_t magnitude, bool negative,
               unsigned base, bool upper) {
    const char* digitSet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    WCHAR digits[kMaxDigits];
    int count = 0;
    do {
        digits[count++] = static_cast<WCHAR>(digitSet[magnitude % base]);
        magnitude /= base;
    } while (magnitude != 0 && count < kMaxDigits);
    const int minimum = directive.precision > kMaxDigits ? kMaxDigits : directive.precision;
    WCHAR text[kMaxDigits + 2];
    int length = 0;
    if (negative) text[length++] = u'-';
    for (int i = count; i < minimum; ++i) text[length++] = u'0';
    while (count > 0) text[length++] = digits[--count];
    PutPadded(out, directive, text, length, directive.precision < 0);
}

int ReadNumber(LPCWSTR& p) {
    int value = 0;
    while (*p >= u'0' && *p <= u'9') {
        if (value < kWsprintfCapacity) value = value * 10 + (*p - u'0');
        ++p;
    }
    return value;
}

} // namespace

int WINAPI wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list arglist) {
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Output out(buffer);
    if (format == nullptr) return out.Finish();
    va_list args;
    va_copy(args, arglist);
    for (LPCWSTR p = format; *p != 0; ++p) {
        if (*p != u'%') {
            out.Put(*p);
            continue;
        }
        LPCWSTR start = p++;
        Directive directive;
        for (;; ++p) {
            if (*p == u'-')
                directive.leftAlign = true;
            else if (*p == u'0')
                directive.zeroPad = true;
            else if (*p != u'#')
                break;
        }
        directive.width = ReadNumber(p);
        if (*p == u'.') {
            ++p;
            directive.precision = ReadNumber(p);
        }
        bool wide64 = false;
        bool halfWidth = false;
        if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
            wide64 = true;
            p += 3;
        } else if (*p == u'l' || *p == u'w') {
            ++p; // "l" is 32-bit, as LONG and DWORD are
        } else if (*p == u'h') {
            halfWidth = true;
            ++p;
        }
        switch (*p) {
        case u'%':
            out.Put(u'%');
            break;
        case u'd':
        case u'i': {
            int64_t value = wide64 ? va_arg(args, int64_t) : va_arg(args, int);
            if (halfWidth) value = static_cast<int16_t>(value);
            const uint64_t magnitude =
                value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : uint64_t(value);
            PutNumber(out, directive, magnitude, value < 0, 10, false);
            break;
        }
        case u'u':
        case u'x':
        case u'X': {
            uint64_t value = wide64 ? va_arg(args, uint64_t) : va_arg(args, unsigned int);
            if (halfWidth) value = static_cast<uint16_t>(value);
            PutNumber(out, directive, value, false, *p == u'u' ? 10 : 16, *p == u'X');
            break;
        }
        case u'c': {
            const WCHAR unit = static_cast<WCHAR>(va_arg(args, int));
            PutPadded(out, directive, &unit, 1, false);
            break;
        }
        case u's': {
            LPCWSTR text = va_arg(args, LPCWSTR);
            if (text == nullptr) text = kNullText;
            int length = 0;
            while (text[length] != 0 && (directive.precision < 0 || length < directive.precision)) {
                ++length;
            }
            PutPadded(out, directive, text, length, false);
            break;
        }
        default:
            // Not a conversion of this subset: the text stands as written.
            for (LPCWSTR q = start; q < p; ++q) out.Put(*q);
            if (*p == 0)
                --p;
            else
                out.Put(*p);
            break;
        }
    }
    va_end(args);
    return out.Finish();
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    const int written = wvsprintfW(buffer, format, args);
    va_end(args);
    return written;
}

int WINAPI lstrlenW(LPCWSTR s) {
    if (s == nullptr) return 0;
    int length = 0;
    while (s[length] != 0 && length < INT32_MAX) ++length;
    return length;
}

namespace {

WCHAR FoldCase(WCHAR unit) {
    return unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit;
}
bool IsUpper(WCHAR unit) {
    return unit >= u'A' && unit <= u'Z';
}

int Sign(int difference) {
    return difference < 0 ? -1 : difference > 0 ? 1 : 0;
}

} // namespace

int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
    if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
    // Letters first without regard to case, as a dictionary sorts ...
    int i = 0;
    for (; a[i] != 0 && FoldCase(a[i]) == FoldCase(b[i]); ++i) {}
    if (a[i] != 0 || b[i] != 0) return Sign(int(FoldCase(a[i])) - int(FoldCase(b[i])));
    // ... then, between texts equal but for case, lower case before upper case.
    for (i = 0; a[i] != 0; ++i) {
        if (a[i] != b[i]) return IsUpper(a[i]) ? 1 : -1;
    }
    return 0;
}
