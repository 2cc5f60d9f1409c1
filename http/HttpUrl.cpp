#include "http/HttpUrl.h"

#include "base/Results.h"
#include "base/StringUtil.h"
#include "base/WString.h"

namespace {

struct Scheme {
    LPCWSTR prefix; // lower case; matched without regard to case
    DWORD length;
    WORD defaultPort;
    bool secure;
};
constexpr Scheme kSchemes[] = {
    {TEXT("http://"), 7, kHttpDefaultPort, false},
    {TEXT("https://"), 8, kHttpsDefaultPort, true},
};
constexpr DWORD kLargestPort = 65535;
constexpr DWORD kLargestOctet = 255;
constexpr DWORD kOctets = 4;
constexpr WCHAR kDelete = 0x7F;
constexpr DWORD kPortTextCapacity = 8; // ":65535" and the terminator

bool IsDigit(WCHAR c) {
    return c >= u'0' && c <= u'9';
}

bool IsHexDigit(WCHAR c) {
    return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool ContinuesHostName(WCHAR c) {
    return IsDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'.' ||
           c == u'-' || c == u'_';
}

WCHAR LowerAscii(WCHAR c) {
    return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c - u'A' + u'a') : c;
}

// The scheme url begins with, or null.
const Scheme* FindScheme(LPCWSTR url) {
    for (const Scheme& scheme : kSchemes) {
        DWORD i = 0;
        while (i < scheme.length && LowerAscii(url[i]) == scheme.prefix[i]) ++i;
        if (i == scheme.length) return &scheme;
    }
    return nullptr;
}

// Copies count units of source into destination (capacity units) and terminates it.
// False when they do not fit.
bool CopyUnits(LPWSTR destination, DWORD capacity, LPCWSTR source, DWORD count) {
    if (count >= capacity) return false;
    for (DWORD i = 0; i < count; ++i) destination[i] = source[i];
    destination[count] = 0;
    return true;
}

// Parses the port text (digits only). An empty text gives the default port.
bool ParsePort(LPCWSTR text, DWORD length, WORD defaultPort, WORD* port) {
    if (length == 0) {
        *port = defaultPort;
        return true;
    }
    DWORD value = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (!IsDigit(text[i])) return false;
        value = value * 10 + static_cast<DWORD>(text[i] - u'0');
        if (value > kLargestPort) return false;
    }
    if (value == 0) return false;
    *port = static_cast<WORD>(value);
    return true;
}

// An IPv6 literal as it may stand between brackets: hex digits, ":" and "." (a trailing
// IPv4 form), with at least one ":". The resolver judges the rest.
bool LooksLikeIpv6(LPCWSTR text, DWORD length) {
    bool colon = false;
    for (DWORD i = 0; i < length; ++i) {
        if (text[i] == u':') {
            colon = true;
        } else if (!IsHexDigit(text[i]) && text[i] != u'.') {
            return false;
        }
    }
    return colon;
}

// hostName, hostLine and port from the authority: the user information ends at the last "@";
// a host in brackets is an IPv6 literal; the port begins after the ":" that follows the host.
bool SplitAuthority(const Scheme& scheme, HttpUrlParts* parts) {
    LPCWSTR authority = parts->authority;
    DWORD length = 0;
    StrLength(authority, &length);
    DWORD hostStart = 0;
    DWORD at = 0;
    if (StrFindLastUnit(authority, u'@', &at) == kResultOk) hostStart = at + 1;
    DWORD hostEnd = length; // end of the host as written (brackets included)
    DWORD nameStart = hostStart;
    DWORD nameEnd = length;
    if (authority[hostStart] == u'[') {
        DWORD close = 0;
        if (StrFindUnit(authority + hostStart, u']', &close) != kResultOk) return false;
        hostEnd = hostStart + close + 1;
        nameStart = hostStart + 1;
        nameEnd = hostEnd - 1;
        if (!LooksLikeIpv6(authority + nameStart, nameEnd - nameStart)) return false;
        if (hostEnd != length && authority[hostEnd] != u':') return false;
    } else {
        DWORD colon = 0;
        if (StrFindLastUnit(authority + hostStart, u':', &colon) == kResultOk) {
            hostEnd = hostStart + colon;
        }
        nameEnd = hostEnd;
    }
    parts->port = scheme.defaultPort;
    if (hostEnd < length && !ParsePort(authority + hostEnd + 1, length - hostEnd - 1,
                                       scheme.defaultPort, &parts->port)) {
        return false;
    }
    if (nameEnd == nameStart) return false;
    if (!CopyUnits(parts->hostName, kHttpAuthorityCapacity, authority + nameStart,
                   nameEnd - nameStart) ||
        !CopyUnits(parts->hostLine, kHttpAuthorityCapacity, authority + hostStart,
                   hostEnd - hostStart)) {
        return false;
    }
    if (parts->port == scheme.defaultPort) return true;
    WCHAR port[kPortTextCapacity];
    wsprintfW(port, TEXT(":%u"), static_cast<unsigned>(parts->port));
    return StrAppend(parts->hostLine, kHttpAuthorityCapacity, port) == kResultOk;
}

// Percent-decodes count units of source into destination (capacity units, terminated). The
// decoded units are the bytes of the narrow form the Authorization line is built from, so
// they are read back as narrow text. False when the result does not fit.
bool DecodeCredential(LPCWSTR source, DWORD count, LPWSTR destination, DWORD capacity) {
    WCHAR units[kHttpAuthorityCapacity];
    DWORD consumed = count;
    const DWORD produced = StrPercentDecode(source, &consumed, units, kHttpAuthorityCapacity - 1);
    CHAR bytes[kHttpAuthorityCapacity];
    for (DWORD i = 0; i < produced; ++i) {
        // A unit above 0xFF was typed as such, not escaped: not a byte of the narrow form.
        if (units[i] > 0xFF) return false;
        bytes[i] = static_cast<CHAR>(units[i]);
    }
    bytes[produced] = 0;
    WString text;
    text.AssignNarrow(bytes);
    return StrCopy(destination, capacity, text.GetWide()) == kResultOk;
}

} // namespace

bool HttpIsControlCharacter(WCHAR c) {
    return c < 0x20 || c == kDelete;
}

bool HttpHasControlCharacter(LPCWSTR text) {
    if (text == nullptr) return false;
    for (; *text != 0; ++text) {
        if (HttpIsControlCharacter(*text)) return true;
    }
    return false;
}

bool HttpHasScheme(LPCWSTR text) {
    return text != nullptr && FindScheme(text) != nullptr;
}

int HttpSplitUrl(LPCWSTR url, HttpUrlParts* parts) {
    if (url == nullptr || parts == nullptr) return kResultNullArgument;
    const Scheme* scheme = FindScheme(url);
    if (scheme == nullptr) return kResultFail;
    if (HttpHasControlCharacter(url)) return kResultFail;
    if (StrCopy(parts->url, kHttpUrlCapacity, url) != kResultOk) return kResultFail;
    parts->secure = scheme->secure;
    parts->authorityStart = scheme->length;

    DWORD slash = 0;
    if (StrFindUnit(parts->url + scheme->length, u'/', &slash) != kResultOk) {
        if (StrAppend(parts->url, kHttpUrlCapacity, TEXT("/")) != kResultOk) return kResultFail;
        StrFindUnit(parts->url + scheme->length, u'/', &slash);
    }
    parts->pathStart = scheme->length + slash;
    if (!CopyUnits(parts->authority, kHttpAuthorityCapacity, parts->url + scheme->length, slash)) {
        return kResultFail;
    }
    return SplitAuthority(*scheme, parts) ? kResultOk : kResultFail;
}

bool HttpParseDottedQuad(LPCWSTR text, DWORD* address) {
    if (text == nullptr || address == nullptr) return false;
    DWORD result = 0;
    DWORD i = 0;
    for (DWORD octet = 0; octet < kOctets; ++octet) {
        if (octet > 0) {
            if (text[i] != u'.') return false;
            ++i;
        }
        if (!IsDigit(text[i])) return false;
        DWORD value = 0;
        for (; IsDigit(text[i]); ++i) {
            value = value * 10 + static_cast<DWORD>(text[i] - u'0');
            if (value > kLargestOctet) return false;
        }
        result = (result << 8) | value;
    }
    if (text[i] != 0 && ContinuesHostName(text[i])) return false;
    *address = result;
    return true;
}

bool HttpSameHostName(LPCWSTR a, LPCWSTR b) {
    if (a == nullptr || b == nullptr) return false;
    for (;; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b)) return false;
        if (*a == 0) return true;
    }
}

bool HttpIsPlainFileName(LPCWSTR name, DWORD length) {
    for (DWORD i = 0; i < length; ++i) {
        if (name[i] == u'\\' || name[i] == u':' || HttpIsControlCharacter(name[i])) return false;
    }
    const bool dots =
        (length == 1 && name[0] == u'.') || (length == 2 && name[0] == u'.' && name[1] == u'.');
    return !dots;
}

int HttpFileNameFromTarget(LPCWSTR target, LPWSTR buffer, DWORD capacity) {
    if (buffer == nullptr || capacity == 0) return kResultNullArgument;
    buffer[0] = 0;
    if (target == nullptr) return kResultFail;
    DWORD pathEnd = 0;
    if (StrFindUnit(target, u'?', &pathEnd) != kResultOk) StrLength(target, &pathEnd);
    // The last "/" before the query.
    bool found = false;
    DWORD slash = 0;
    for (DWORD i = 0; i < pathEnd; ++i) {
        if (target[i] == u'/') {
            slash = i;
            found = true;
        }
    }
    if (!found) return kResultFail;
    LPCWSTR name = target + slash + 1;
    const DWORD length = pathEnd - slash - 1;
    if (!HttpIsPlainFileName(name, length)) return kResultFail;
    if (!CopyUnits(buffer, capacity, name, length)) {
        buffer[0] = 0;
        return kResultFail;
    }
    return kResultOk;
}

int HttpUrlCredentials(const HttpUrlParts* parts, LPWSTR userId, LPWSTR password, DWORD capacity) {
    if (parts == nullptr || userId == nullptr || password == nullptr || capacity == 0) {
        return kResultNullArgument;
    }
    userId[0] = 0;
    password[0] = 0;
    DWORD at = 0;
    if (StrFindLastUnit(parts->authority, u'@', &at) != kResultOk) return 0;
    DWORD colon = at;
    if (StrFindUnit(parts->authority, u':', &colon) != kResultOk || colon > at) colon = at;
    const bool fits = DecodeCredential(parts->authority, colon, userId, capacity) &&
                      (colon == at || DecodeCredential(parts->authority + colon + 1, at - colon - 1,
                                                       password, capacity));
    if (fits) return kResultOk;
    userId[0] = 0;
    password[0] = 0;
    return kResultFail;
}

int HttpUrlWithoutCredentials(LPCWSTR url, LPWSTR buffer, DWORD capacity) {
    if (url == nullptr || buffer == nullptr || capacity == 0) return kResultNullArgument;
    // The authority runs from the scheme to the first "/"; its user information ends at
    // the last "@" in it, as HttpSplitUrl reads it.
    const Scheme* scheme = FindScheme(url);
    DWORD kept = 0;
    LPCWSTR rest = url;
    if (scheme != nullptr) {
        LPCWSTR authority = url + scheme->length;
        DWORD end = 0;
        if (StrFindUnit(authority, u'/', &end) != kResultOk) StrLength(authority, &end);
        for (DWORD i = end; i-- > 0;) {
            if (authority[i] != u'@') continue;
            kept = scheme->length;
            rest = authority + i + 1;
            break;
        }
    }
    DWORD restLength = 0;
    StrLength(rest, &restLength);
    if (kept + restLength >= capacity) {
        buffer[0] = 0;
        return kResultFail;
    }
    for (DWORD i = 0; i < kept; ++i) buffer[i] = url[i];
    for (DWORD i = 0; i <= restLength; ++i) buffer[kept + i] = rest[i];
    return kResultOk;
}
