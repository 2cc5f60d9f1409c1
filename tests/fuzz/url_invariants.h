// What must hold after HttpSplitUrl, whatever the URL was: shared by the URL target and the
// response target (which splits Location values as the client does).
#pragma once

#include <windows.h>

#include "http/HttpRequest.h"
#include "http/HttpUrl.h"
#include "tests/fuzz/fuzz_support.h"

namespace qb::fuzz {

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
    // The URL as given, or with one "/" appended when its authority ends it.
    FUZZ_CHECK(UnitsEqual(parts.url, url, inputLength));
    FUZZ_CHECK(length == inputLength ||
               (length == inputLength + 1 && parts.url[length - 1] == u'/'));

    FUZZ_CHECK(parts.pathStart >= parts.authorityStart && parts.pathStart < length);
    FUZZ_CHECK(parts.url[parts.pathStart] == u'/');
    for (DWORD i = parts.authorityStart; i < parts.pathStart; ++i) FUZZ_CHECK(parts.url[i] != u'/');

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
    if (HttpProxyTarget(&parts, proxied, kHttpUrlCapacity) == 1) {
        static HttpUrlParts proxiedParts;
        FUZZ_CHECK(HttpSplitUrl(proxied, &proxiedParts) == 1);
        FUZZ_CHECK(UnitsEqual(proxiedParts.hostName, parts.hostName, hostLength + 1));
        FUZZ_CHECK(proxiedParts.port == parts.port);
        const size_t pathLength = length - parts.pathStart;
        FUZZ_CHECK(UnitsEqual(proxiedParts.url + proxiedParts.pathStart,
                              parts.url + parts.pathStart, pathLength + 1));
    }

    DWORD address = 0;
    if (HttpParseDottedQuad(parts.hostName, &address)) {
        FUZZ_CHECK(parts.hostName[0] >= u'0' && parts.hostName[0] <= u'9');
    }

    CheckFileName(parts.url + parts.pathStart, kHttpFileNameCapacity);
    CheckFileName(parts.url + parts.pathStart, kSmallNameCapacity);

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
    FUZZ_CHECK(HttpUrlCredentials(&shownParts, userId, password, kHttpCredentialCapacity) == 0);
}

} // namespace qb::fuzz
