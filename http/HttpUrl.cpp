#include "http/HttpUrl.h"

#include "base/PercentText.h"
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
        // Only a bracketed literal may hold a ":": "a: b:" is no name with an empty port.
        for (DWORD i = nameStart; i < nameEnd; ++i) {
            if (authority[i] == u':') return false;
        }
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

// The host name in its ASCII form, for the resolver, the Host line, the proxy and the
// certificate; the name as written is kept to be shown. Only a name with a unit outside
// ASCII is converted: address literals and ASCII names go out as written.
bool TakeAsciiHostName(HttpUrlParts* parts) {
    StrCopy(parts->shownHostName, kHttpAuthorityCapacity, parts->hostName);
    bool ascii = true;
    for (LPCWSTR unit = parts->hostName; *unit != 0; ++unit) ascii = ascii && *unit < 0x80;
    if (ascii) return true;
    WCHAR name[kHttpAuthorityCapacity];
    // STD3's rules: a converted name holds letters, digits, "-" and "." only (a full-width
    // space or "/" would otherwise map into the Host line).
    if (IdnToAscii(IDN_USE_STD3_ASCII_RULES, parts->hostName, -1, name, kHttpAuthorityCapacity) ==
        0) {
        return false;
    }
    // A name whose every character maps to nothing (a soft hyphen) is no name.
    if (name[0] == 0) return false;
    // The Host line begins with the name (only a bracketed literal does not, and it is ASCII).
    DWORD shownLength = 0;
    StrLength(parts->shownHostName, &shownLength);
    WCHAR line[kHttpAuthorityCapacity];
    if (StrCopy(line, kHttpAuthorityCapacity, name) != kResultOk ||
        StrAppend(line, kHttpAuthorityCapacity, parts->hostLine + shownLength) != kResultOk) {
        return false;
    }
    StrCopy(parts->hostName, kHttpAuthorityCapacity, name);
    StrCopy(parts->hostLine, kHttpAuthorityCapacity, line);
    return true;
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

// Where the authority that begins at text ends: at the first "/", "?" or "#" (RFC 3986), or
// at the end of the text. HttpSplitUrl and HttpUrlWithoutCredentials both read it here.
DWORD AuthorityEnd(LPCWSTR text) {
    DWORD end = 0;
    while (text[end] != 0 && text[end] != u'/' && text[end] != u'?' && text[end] != u'#') ++end;
    return end;
}

// Units of a request target that go out escaped besides controls and what is not ASCII:
// those that no URL holds as they are.
bool MustEscape(WCHAR c) {
    return c == u' ' || c == u'"' || c == u'<' || c == u'>' || HttpIsControlCharacter(c) ||
           c > 0x7E;
}

// Appends "%XX" for each byte to buffer at *used; false when it does not fit capacity.
bool AppendEscapes(const CHAR* bytes, int count, LPWSTR buffer, DWORD capacity, DWORD* used) {
    constexpr WCHAR kHex[] = TEXT("0123456789ABCDEF");
    constexpr DWORD kEscapeLength = 3;
    for (int i = 0; i < count; ++i) {
        if (capacity - *used <= kEscapeLength) return false;
        const BYTE byte = static_cast<BYTE>(bytes[i]);
        buffer[(*used)++] = u'%';
        buffer[(*used)++] = kHex[byte >> 4];
        buffer[(*used)++] = kHex[byte & 0xF];
    }
    return true;
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

bool HttpHasSecureScheme(LPCWSTR text) {
    const Scheme* scheme = text != nullptr ? FindScheme(text) : nullptr;
    return scheme != nullptr && scheme->secure;
}

int HttpSplitUrl(LPCWSTR url, HttpUrlParts* parts) {
    if (url == nullptr || parts == nullptr) return kResultNullArgument;
    const Scheme* scheme = FindScheme(url);
    if (scheme == nullptr) return kResultFail;
    if (HttpHasControlCharacter(url)) return kResultFail;
    DWORD length = 0;
    StrLength(url, &length);
    // A URL whose authority is not followed by a path ("http://h", "http://h?q") has the
    // path "/".
    const DWORD end = scheme->length + AuthorityEnd(url + scheme->length);
    const DWORD inserted = url[end] == u'/' ? 0 : 1;
    if (length + inserted >= kHttpUrlCapacity) return kResultFail;
    CopyUnits(parts->url, kHttpUrlCapacity, url, end);
    parts->url[end] = u'/';
    CopyUnits(parts->url + end + inserted, kHttpUrlCapacity - end - inserted, url + end,
              length - end);
    parts->secure = scheme->secure;
    parts->authorityStart = scheme->length;
    parts->pathStart = end;
    // The fragment is the client's own: it is never sent.
    parts->targetEnd = length + inserted;
    DWORD hash = 0;
    if (StrFindUnit(parts->url + end, u'#', &hash) == kResultOk) parts->targetEnd = end + hash;
    if (!CopyUnits(parts->authority, kHttpAuthorityCapacity, parts->url + scheme->length,
                   end - scheme->length)) {
        return kResultFail;
    }
    if (!SplitAuthority(*scheme, parts)) return kResultFail;
    return TakeAsciiHostName(parts) ? kResultOk : kHttpInvalidHostName;
}

int HttpEncodeTarget(LPCWSTR text, DWORD length, LPWSTR buffer, DWORD capacity) {
    if (text == nullptr || buffer == nullptr || capacity == 0) return kResultNullArgument;
    DWORD used = 0;
    bool fits = true;
    for (DWORD i = 0; i < length && fits;) {
        const WCHAR c = text[i];
        const bool escape =
            c == u'%' && !(i + 2 < length && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]));
        if (!escape && !MustEscape(c)) {
            fits = capacity - used > 1;
            if (fits) buffer[used++] = c;
            ++i;
            continue;
        }
        // One character at a time in UTF-8: a surrogate pair together.
        const int units = c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
                                  text[i + 1] <= 0xDFFF
                              ? 2
                              : 1;
        constexpr int kUtf8Bytes = 4;
        CHAR bytes[kUtf8Bytes];
        const int count =
            WideCharToMultiByte(CP_UTF8, 0, text + i, units, bytes, kUtf8Bytes, nullptr, nullptr);
        fits = count > 0 && AppendEscapes(bytes, count, buffer, capacity, &used);
        i += static_cast<DWORD>(units);
    }
    buffer[fits ? used : 0] = 0;
    return fits ? kResultOk : kResultFail;
}

int HttpRequestTarget(const HttpUrlParts* parts, bool absolute, LPWSTR buffer, DWORD capacity) {
    if (parts == nullptr || buffer == nullptr || capacity == 0) return kResultNullArgument;
    buffer[0] = 0;
    DWORD used = 0;
    if (absolute) {
        // The scheme as written and the Host line's authority: never the user information.
        if (!CopyUnits(buffer, capacity, parts->url, parts->authorityStart) ||
            StrAppend(buffer, capacity, parts->hostLine) != kResultOk) {
            buffer[0] = 0;
            return kResultFail;
        }
        StrLength(buffer, &used);
    }
    const int encoded =
        HttpEncodeTarget(parts->url + parts->pathStart, parts->targetEnd - parts->pathStart,
                         buffer + used, capacity - used);
    if (encoded != kResultOk) buffer[0] = 0;
    return encoded;
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
        if (name[i] == u'/' || name[i] == u'\\' || name[i] == u':' || name[i] == u'?' ||
            StrIsHiddenControl(name[i])) {
            return false;
        }
    }
    return !((length == 1 && name[0] == u'.') ||
             (length == 2 && name[0] == u'.' && name[1] == u'.'));
}

int HttpFileNameFromTarget(LPCWSTR target, LPWSTR buffer, DWORD capacity) {
    if (buffer == nullptr || capacity == 0) return kResultNullArgument;
    buffer[0] = 0;
    if (target == nullptr) return kResultFail;
    // The path ends at the query or the fragment.
    DWORD pathEnd = 0;
    while (target[pathEnd] != 0 && target[pathEnd] != u'?' && target[pathEnd] != u'#') ++pathEnd;
    // The last "/" of the path.
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
    // The name as the server means it, its escapes decoded as UTF-8, when that is one plain
    // name; else the name as written, when that is one. A decoded name that holds a control
    // (C0, C1, or a bidirectional one such as a right-to-left override, meant to make it read
    // as another) is refused, as the raw unit in the user's URL (escaped on the wire) is:
    // never kept in its escaped spelling.
    WCHAR decoded[kHttpFileNameCapacity];
    DWORD decodedLength = 0;
    LPCWSTR chosen = name;
    DWORD chosenLength = length;
    const bool decodes = PercentDecodeText(name, length, decoded, kHttpFileNameCapacity, FALSE,
                                           &decodedLength) == kResultOk;
    for (DWORD i = 0; decodes && i < decodedLength; ++i) {
        if (StrIsHiddenControl(decoded[i])) return kResultFail;
    }
    if (decodes && HttpIsPlainFileName(decoded, decodedLength)) {
        chosen = decoded;
        chosenLength = decodedLength;
    } else if (!HttpIsPlainFileName(name, length)) {
        return kResultFail;
    }
    if (!CopyUnits(buffer, capacity, chosen, chosenLength)) {
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
    // The user information ends at the last "@" of the authority, as HttpSplitUrl reads it.
    const Scheme* scheme = FindScheme(url);
    DWORD kept = 0;
    LPCWSTR rest = url;
    if (scheme != nullptr) {
        LPCWSTR authority = url + scheme->length;
        const DWORD end = AuthorityEnd(authority);
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
