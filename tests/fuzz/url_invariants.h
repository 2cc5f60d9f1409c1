// What must hold after HttpSplitUrl, whatever the URL was: shared by the URL target and the
// response target (which splits Location values as the client does).
#pragma once

#include <windows.h>

#include <string>

#include "base/PercentText.h"
#include "http/HttpRequest.h"
#include "http/HttpUrl.h"
#include "tests/fuzz/fuzz_support.h"

namespace qb::fuzz {

// A URL taken apart by the generic reading of RFC 3986 (appendix B), written here apart
// from the client's own code: the scheme up to ":", the authority after "//" up to the first
// "/", "?" or "#", the path up to "?" or "#", the query up to "#", then the fragment.
struct StandardSplit {
    std::u16string authority;
    std::u16string path;
    std::u16string query; // with its "?", empty when there is none
    std::u16string fragment;
};

inline StandardSplit SplitAsStandard(const std::u16string& url) {
    StandardSplit split;
    size_t i = url.find(u"://");
    i = i == std::u16string::npos ? 0 : i + 3;
    const size_t authorityEnd = url.find_first_of(u"/?#", i);
    split.authority = url.substr(i, authorityEnd - i);
    if (authorityEnd == std::u16string::npos) return split;
    const size_t hash = url.find(u'#', authorityEnd);
    const std::u16string beforeFragment = url.substr(authorityEnd, hash - authorityEnd);
    if (hash != std::u16string::npos) split.fragment = url.substr(hash + 1);
    const size_t question = beforeFragment.find(u'?');
    split.path = beforeFragment.substr(0, question);
    if (question != std::u16string::npos) split.query = beforeFragment.substr(question);
    return split;
}

// The host of a standard authority: after the last "@", before a ":port" (brackets of an
// IPv6 literal removed).
inline std::u16string StandardHost(const std::u16string& authority) {
    const size_t at = authority.rfind(u'@');
    std::u16string host = at == std::u16string::npos ? authority : authority.substr(at + 1);
    if (!host.empty() && host[0] == u'[') return host.substr(1, host.find(u']') - 1);
    return host.substr(0, host.rfind(u':'));
}

inline bool IsHex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// A request target as it goes on the wire: printable ASCII without space, '"', "<", ">" or
// "#", and every "%" the start of an escape.
inline void CheckWireTarget(const std::u16string& target) {
    for (size_t i = 0; i < target.size(); ++i) {
        const char16_t c = target[i];
        FUZZ_CHECK(c > 0x20 && c < 0x7F && c != u'"' && c != u'<' && c != u'>' && c != u'#');
        if (c == u'%')
            FUZZ_CHECK(i + 2 < target.size() && IsHex(target[i + 1]) && IsHex(target[i + 2]));
    }
}

inline bool UnitsEqual(const char16_t* a, const char16_t* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

// A small name buffer, so that the cut path of the file-name rule is reached too.
constexpr DWORD kSmallNameCapacity = 8;

inline void CheckFileName(LPCWSTR target, DWORD capacity) {
    WCHAR name[kHttpFileNameCapacity];
    const int result = HttpFileNameFromTarget(target, name, capacity);
    FUZZ_CHECK(result == 1 || result == -1);
    const size_t length = WideLength(name);
    FUZZ_CHECK(length < capacity);
    if (result != 1) {
        FUZZ_CHECK(length == 0);
        return;
    }
    FUZZ_CHECK(!(length == 1 && name[0] == u'.'));
    FUZZ_CHECK(!(length == 2 && name[0] == u'.' && name[1] == u'.'));
    for (size_t i = 0; i < length; ++i) {
        FUZZ_CHECK(name[i] != u'/' && name[i] != u'\\' && name[i] != u':' && name[i] != u'?');
        FUZZ_CHECK(!HttpIsControlCharacter(name[i]));
    }
}

// Splits url and checks the parts against the URL itself.
inline void CheckSplitUrl(LPCWSTR url) {
    static HttpUrlParts parts; // large; one per process is enough
    const int result = HttpSplitUrl(url, &parts);
    FUZZ_CHECK(result == 1 || result == -1 || result == kHttpInvalidHostName);
    if (result != 1) return;

    const size_t inputLength = WideLength(url);
    const size_t length = WideLength(parts.url);
    FUZZ_CHECK(length < kHttpUrlCapacity);
    // The scheme, in any letter case, and where the authority begins after it.
    const DWORD schemeLength = parts.secure ? 8 : 7;
    FUZZ_CHECK(parts.authorityStart == schemeLength && length >= schemeLength);
    for (DWORD i = 0; i < schemeLength; ++i) {
        const char16_t lower = parts.url[i] >= u'A' && parts.url[i] <= u'Z'
                                   ? static_cast<char16_t>(parts.url[i] + 32)
                                   : parts.url[i];
        FUZZ_CHECK(lower == (parts.secure ? u"https://" : u"http://")[i]);
    }
    FUZZ_CHECK(!HttpHasControlCharacter(parts.url));
    FUZZ_CHECK(parts.pathStart >= parts.authorityStart && parts.pathStart < length);
    FUZZ_CHECK(parts.url[parts.pathStart] == u'/');
    // The URL as given, or with one "/" put where its authority ends.
    FUZZ_CHECK(UnitsEqual(parts.url, url, parts.pathStart));
    if (length == inputLength) {
        FUZZ_CHECK(UnitsEqual(parts.url, url, inputLength));
    } else {
        FUZZ_CHECK(length == inputLength + 1);
        FUZZ_CHECK(UnitsEqual(parts.url + parts.pathStart + 1, url + parts.pathStart,
                              inputLength - parts.pathStart));
    }
    // The authority holds none of the units that end it.
    for (DWORD i = parts.authorityStart; i < parts.pathStart; ++i) {
        FUZZ_CHECK(parts.url[i] != u'/' && parts.url[i] != u'?' && parts.url[i] != u'#');
    }
    // The request target ends at the first "#".
    FUZZ_CHECK(parts.targetEnd > parts.pathStart && parts.targetEnd <= length);
    FUZZ_CHECK(parts.targetEnd == length || parts.url[parts.targetEnd] == u'#');
    for (DWORD i = parts.pathStart; i < parts.targetEnd; ++i) FUZZ_CHECK(parts.url[i] != u'#');

    // Agreement with the standard reading: the same authority and host (as written), the
    // path (or "/") and query as the target, and the fragment left out.
    const StandardSplit standard = SplitAsStandard(url);
    FUZZ_CHECK(standard.authority == std::u16string(parts.url + parts.authorityStart,
                                                    parts.pathStart - parts.authorityStart));
    FUZZ_CHECK(StandardHost(standard.authority) == std::u16string(parts.shownHostName));
    const std::u16string standardTarget =
        (standard.path.empty() ? u"/" : standard.path) + standard.query;
    FUZZ_CHECK(standardTarget ==
               std::u16string(parts.url + parts.pathStart, parts.targetEnd - parts.pathStart));

    // The target on the wire: escaped where it must be, the same text once decoded (when
    // the URL wrote no escapes of its own), never the fragment.
    static WCHAR wire[kHttpRequestCapacity];
    const int targeted = HttpRequestTarget(&parts, false, wire, kHttpRequestCapacity);
    FUZZ_CHECK(targeted == 1 || targeted == -1);
    if (targeted == 1) {
        const std::u16string target = wire;
        FUZZ_CHECK(!target.empty() && target[0] == u'/');
        CheckWireTarget(target);
        if (standardTarget.find(u'%') == std::u16string::npos) {
            static WCHAR decoded[kHttpRequestCapacity];
            DWORD produced = 0;
            const int back = PercentDecodeText(wire, static_cast<DWORD>(target.size()), decoded,
                                               kHttpRequestCapacity, FALSE, &produced);
            // Lone surrogates have no UTF-8 form: they went out as a replacement.
            if (back == 1 && target.find(u"%EF%BF%BD") == std::u16string::npos) {
                FUZZ_CHECK(std::u16string(decoded, produced) == standardTarget);
            }
        }
        static WCHAR absolute[kHttpRequestCapacity];
        if (HttpRequestTarget(&parts, true, absolute, kHttpRequestCapacity) == 1) {
            const std::u16string whole = absolute;
            const std::u16string head =
                std::u16string(parts.url, parts.authorityStart) + parts.hostLine;
            FUZZ_CHECK(whole == head + target);
        }
    }

    const size_t authorityLength = WideLength(parts.authority);
    FUZZ_CHECK(authorityLength < kHttpAuthorityCapacity);
    FUZZ_CHECK(authorityLength == parts.pathStart - parts.authorityStart);
    FUZZ_CHECK(UnitsEqual(parts.authority, parts.url + parts.authorityStart, authorityLength));

    // The host name as written is a non-empty piece of the authority after the user
    // information; the one connected to is the same when it is all ASCII, else its ASCII form.
    const size_t shownLength = WideLength(parts.shownHostName);
    FUZZ_CHECK(shownLength > 0 && shownLength <= authorityLength);
    for (size_t i = 0; i < shownLength; ++i) FUZZ_CHECK(parts.shownHostName[i] != u'@');
    bool found = false;
    for (size_t start = 0; !found && start + shownLength <= authorityLength; ++start) {
        found = UnitsEqual(parts.authority + start, parts.shownHostName, shownLength);
    }
    FUZZ_CHECK(found);
    const size_t hostLength = WideLength(parts.hostName);
    bool shownAscii = true;
    for (size_t i = 0; i < shownLength; ++i)
        shownAscii = shownAscii && parts.shownHostName[i] < 0x80;
    if (shownAscii) {
        FUZZ_CHECK(UnitsEqual(parts.hostName, parts.shownHostName, shownLength + 1));
    } else {
        FUZZ_CHECK(hostLength > 0);
        for (size_t i = 0; i < hostLength; ++i) {
            const char16_t c = parts.hostName[i];
            FUZZ_CHECK((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' ||
                       c == u'.');
        }
    }
    FUZZ_CHECK(parts.port >= 1);
    // The Host line: the host without user information, and a port only when not the default.
    const size_t lineLength = WideLength(parts.hostLine);
    FUZZ_CHECK(lineLength >= hostLength && lineLength < kHttpAuthorityCapacity);
    for (size_t i = 0; i < lineLength; ++i) FUZZ_CHECK(parts.hostLine[i] != u'@');
    const bool bracketed = parts.hostLine[0] == u'[';
    FUZZ_CHECK(UnitsEqual(parts.hostLine + (bracketed ? 1 : 0), parts.hostName, hostLength));
    const size_t hostEnd = hostLength + (bracketed ? 2 : 0);
    const WORD defaultPort = parts.secure ? 443 : 80;
    FUZZ_CHECK((parts.port == defaultPort) == (lineLength == hostEnd));
    if (lineLength != hostEnd) FUZZ_CHECK(parts.hostLine[hostEnd] == u':');
    FUZZ_CHECK(HttpSameHostName(parts.hostName, parts.hostName));
    // A proxy is asked for the URL with the name in its ASCII form: it splits to the same
    // name, port and path.
    static WCHAR proxied[kHttpUrlCapacity];
    static WCHAR direct[kHttpUrlCapacity];
    if (HttpRequestTarget(&parts, true, proxied, kHttpUrlCapacity) == 1 &&
        HttpRequestTarget(&parts, false, direct, kHttpUrlCapacity) == 1) {
        static HttpUrlParts proxiedParts;
        FUZZ_CHECK(HttpSplitUrl(proxied, &proxiedParts) == 1);
        FUZZ_CHECK(UnitsEqual(proxiedParts.hostName, parts.hostName, hostLength + 1));
        FUZZ_CHECK(proxiedParts.port == parts.port);
        size_t directLength = 0;
        while (direct[directLength] != 0) ++directLength;
        FUZZ_CHECK(UnitsEqual(proxiedParts.url + proxiedParts.pathStart, direct, directLength + 1));
    }

    DWORD address = 0;
    if (HttpParseDottedQuad(parts.hostName, &address)) {
        FUZZ_CHECK(parts.hostName[0] >= u'0' && parts.hostName[0] <= u'9');
    }

    CheckFileName(parts.url + parts.pathStart, kHttpFileNameCapacity);
    CheckFileName(parts.url + parts.pathStart, kSmallNameCapacity);
    if (targeted == 1) CheckFileName(wire, kHttpFileNameCapacity);

    // Credentials: found exactly when the authority has an "@"; the URL shown without them
    // splits to the same host, port and path and carries no "@" in its authority.
    static WCHAR userId[kHttpCredentialCapacity];
    static WCHAR password[kHttpCredentialCapacity];
    const int credentials = HttpUrlCredentials(&parts, userId, password, kHttpCredentialCapacity);
    bool hasAt = false;
    for (size_t i = 0; i < authorityLength; ++i) hasAt = hasAt || parts.authority[i] == u'@';
    FUZZ_CHECK(credentials == (hasAt ? 1 : 0) || (hasAt && credentials == -1));
    FUZZ_CHECK(WideLength(userId) < kHttpCredentialCapacity);
    FUZZ_CHECK(WideLength(password) < kHttpCredentialCapacity);
    static WCHAR shown[kHttpUrlCapacity];
    FUZZ_CHECK(HttpUrlWithoutCredentials(parts.url, shown, kHttpUrlCapacity) == 1);
    static HttpUrlParts shownParts;
    FUZZ_CHECK(HttpSplitUrl(shown, &shownParts) == 1);
    FUZZ_CHECK(UnitsEqual(shownParts.hostName, parts.hostName, hostLength + 1));
    FUZZ_CHECK(shownParts.port == parts.port);
    FUZZ_CHECK(UnitsEqual(shownParts.url + shownParts.pathStart, parts.url + parts.pathStart,
                          length - parts.pathStart + 1));
    FUZZ_CHECK(shownParts.targetEnd - shownParts.pathStart == parts.targetEnd - parts.pathStart);
    FUZZ_CHECK(HttpUrlCredentials(&shownParts, userId, password, kHttpCredentialCapacity) == 0);
}

} // namespace qb::fuzz
