#include "http/ContentDisposition.h"

#include <initializer_list>

#include "base/Results.h"
#include "http/HttpUrl.h"

namespace {

WCHAR LowerAscii(WCHAR unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<WCHAR>(unit - u'A' + u'a') : unit;
}

bool SameWord(LPCWSTR text, DWORD length, const char* word) {
    DWORD i = 0;
    for (; i < length && word[i] != 0; ++i) {
        if (LowerAscii(text[i]) != static_cast<WCHAR>(word[i])) return false;
    }
    return i == length && word[i] == 0;
}

bool IsSpace(WCHAR unit) {
    return unit == u' ' || unit == u'\t';
}

int HexValue(WCHAR unit) {
    if (unit >= u'0' && unit <= u'9') return unit - u'0';
    const WCHAR lower = LowerAscii(unit);
    if (lower >= u'a' && lower <= u'f') return lower - u'a' + 10;
    return -1;
}

// One parameter's value as it stands: a quoted string (escapes kept) or a token.
struct Parameter {
    LPCWSTR name = nullptr;
    DWORD nameLength = 0;
    LPCWSTR value = nullptr;
    DWORD valueLength = 0;
    bool quoted = false;
};

// Reads the parameter at *at (after a ";"); false at the end of the text. *at moves past it.
bool NextParameter(LPCWSTR* at, Parameter* parameter) {
    LPCWSTR text = *at;
    while (*text != 0 && *text != u';') ++text; // the type, or what is left of a bad one
    if (*text == 0) return false;
    ++text;
    while (IsSpace(*text)) ++text;
    *parameter = Parameter();
    parameter->name = text;
    while (*text != 0 && *text != u'=' && *text != u';' && !IsSpace(*text)) ++text;
    parameter->nameLength = static_cast<DWORD>(text - parameter->name);
    while (IsSpace(*text)) ++text;
    if (*text != u'=') {
        *at = text;
        return true; // a name without a value: matches nothing
    }
    ++text;
    while (IsSpace(*text)) ++text;
    if (*text == u'"') {
        parameter->quoted = true;
        parameter->value = ++text;
        while (*text != 0 && *text != u'"') {
            if (*text == u'\\' && text[1] != 0) ++text;
            ++text;
        }
        parameter->valueLength = static_cast<DWORD>(text - parameter->value);
        if (*text == u'"') ++text;
    } else {
        parameter->value = text;
        while (*text != 0 && *text != u';') ++text;
        LPCWSTR end = text;
        while (end > parameter->value && IsSpace(end[-1])) --end;
        parameter->valueLength = static_cast<DWORD>(end - parameter->value);
    }
    *at = text;
    return true;
}

// The name taken when it is one the server may choose: true and buffer.
bool Accept(LPCWSTR name, DWORD length, LPWSTR buffer, DWORD capacity) {
    if (length == 0 || length >= capacity || name[0] == u'.') return false;
    if (!HttpIsPlainFileName(name, length)) return false;
    for (DWORD i = 0; i < length; ++i) {
        if (name[i] == u'/') return false;
    }
    for (DWORD i = 0; i < length; ++i) buffer[i] = name[i];
    buffer[length] = 0;
    return true;
}

// filename: the quoted string without its escapes, or the token.
bool PlainName(const Parameter& parameter, LPWSTR buffer, DWORD capacity) {
    if (!parameter.quoted) return Accept(parameter.value, parameter.valueLength, buffer, capacity);
    DWORD length = 0;
    for (DWORD i = 0; i < parameter.valueLength; ++i) {
        if (parameter.value[i] == u'\\' && i + 1 < parameter.valueLength) ++i;
        if (length + 1 >= capacity) return false;
        buffer[length++] = parameter.value[i];
    }
    buffer[length] = 0;
    return Accept(buffer, length, buffer, capacity);
}

// filename*: charset'language'percent-encoded bytes.
bool ExtendedName(const Parameter& parameter, LPWSTR buffer, DWORD capacity) {
    if (parameter.quoted) return false;
    LPCWSTR value = parameter.value;
    const DWORD length = parameter.valueLength;
    DWORD firstQuote = 0;
    while (firstQuote < length && value[firstQuote] != u'\'') ++firstQuote;
    DWORD secondQuote = firstQuote + 1;
    while (secondQuote < length && value[secondQuote] != u'\'') ++secondQuote;
    if (secondQuote >= length) return false;
    const bool utf8 = SameWord(value, firstQuote, "utf-8");
    if (!utf8 && !SameWord(value, firstQuote, "iso-8859-1")) return false;
    char bytes[kDispositionNameBytes];
    DWORD count = 0;
    for (DWORD i = secondQuote + 1; i < length; ++i) {
        if (count == kDispositionNameBytes) return false;
        WCHAR unit = value[i];
        if (unit == u'%') {
            const int high = i + 2 < length ? HexValue(value[i + 1]) : -1;
            const int low = high < 0 ? -1 : HexValue(value[i + 2]);
            if (low < 0) return false;
            bytes[count++] = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (unit > 0x20 && unit < 0x7F) {
            bytes[count++] = static_cast<char>(unit);
        } else {
            return false; // outside RFC 5987's attr-char and pct-encoded
        }
    }
    if (count == 0) return false;
    int units = 0;
    if (utf8) {
        units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(count),
                                    buffer, static_cast<int>(capacity - 1));
        if (units <= 0) return false;
    } else {
        if (count >= capacity) return false;
        for (DWORD i = 0; i < count; ++i) buffer[i] = static_cast<BYTE>(bytes[i]);
        units = static_cast<int>(count);
    }
    buffer[units] = 0;
    return Accept(buffer, static_cast<DWORD>(units), buffer, capacity);
}

} // namespace

int HttpContentDispositionName(LPCWSTR value, LPWSTR buffer, DWORD capacity) {
    if (value == nullptr || buffer == nullptr || capacity == 0) return kResultNullArgument;
    buffer[0] = 0;
    for (const bool extended : {true, false}) {
        LPCWSTR at = value;
        Parameter parameter;
        while (NextParameter(&at, &parameter)) {
            const char* wanted = extended ? "filename*" : "filename";
            if (!SameWord(parameter.name, parameter.nameLength, wanted)) continue;
            const bool taken = extended ? ExtendedName(parameter, buffer, capacity)
                                        : PlainName(parameter, buffer, capacity);
            if (taken) return kResultOk;
            buffer[0] = 0;
        }
    }
    return kResultNo;
}
