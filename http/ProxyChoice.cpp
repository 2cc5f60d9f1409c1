#include "http/ProxyChoice.h"

#include <initializer_list>

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/StringUtil.h"

namespace {

constexpr WCHAR kHttpScheme[] = TEXT("http://");
constexpr DWORD kHttpSchemeLength = 7;
constexpr WCHAR kSchemeMark[] = TEXT("://");

WCHAR LowerUnit(WCHAR c) {
    return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + (u'a' - u'A')) : c;
}

bool SameTextNoCase(LPCWSTR a, DWORD aLength, LPCWSTR b, DWORD bLength) {
    if (aLength != bLength) return false;
    for (DWORD i = 0; i < aLength; ++i) {
        if (LowerUnit(a[i]) != LowerUnit(b[i])) return false;
    }
    return true;
}

bool IsSeparator(WCHAR c) {
    return c == u',' || c == u' ' || c == u'\t';
}

bool IsDigit(WCHAR c) {
    return c >= u'0' && c <= u'9';
}

// True when the authority (user information included) writes a port after its host.
bool HasExplicitPort(LPCWSTR authority) {
    DWORD start = 0;
    if (StrFindLastUnit(authority, u'@', &start) == kResultOk) ++start;
    LPCWSTR host = authority + start;
    DWORD colon = 0;
    if (host[0] == u'[') {
        DWORD close = 0;
        if (StrFindUnit(host, u']', &close) != kResultOk) return false;
        colon = close + 1;
        if (host[colon] != u':') return false;
    } else if (StrFindUnit(host, u':', &colon) != kResultOk) {
        return false;
    }
    return IsDigit(host[colon + 1]);
}

// Whether entry (length units of a no_proxy list) names host (hostLength units).
bool EntryNames(LPCWSTR entry, DWORD length, LPCWSTR host, DWORD hostLength) {
    if (length >= 2 && entry[0] == u'[' && entry[length - 1] == u']') {
        ++entry;
        length -= 2;
    }
    while (length > 0 && entry[0] == u'.') {
        ++entry;
        --length;
    }
    while (length > 0 && entry[length - 1] == u'.') --length;
    if (length == 0) return false;
    if (length == 1 && entry[0] == u'*') return true;
    if (SameTextNoCase(entry, length, host, hostLength)) return true;
    // A domain names the names under it: "example.com" names "a.example.com", not
    // "badexample.com".
    return hostLength > length && host[hostLength - length - 1] == u'.' &&
           SameTextNoCase(entry, length, host + hostLength - length, length);
}

// The first of names that is set and not empty, into buffer. 1; 0 none; -1 too long.
int ReadFirstVariable(std::initializer_list<LPCWSTR> names, LPWSTR buffer, DWORD capacity) {
    buffer[0] = 0;
    for (LPCWSTR name : names) {
        const DWORD length = GetEnvironmentVariableW(name, buffer, capacity);
        if (length >= capacity) return kResultFail;
        if (length > 0) return kResultOk;
    }
    return kResultNo;
}

} // namespace

ProxyServer::~ProxyServer() {
    Forget();
}

void ProxyServer::Forget() {
    host[0] = 0;
    port = 0;
    BytesFill(userId, 0, sizeof userId);
    BytesFill(password, 0, sizeof password);
}

int ProxyParseUrl(LPCWSTR text, ProxyServer* proxy) {
    if (text == nullptr || proxy == nullptr) return kResultNullArgument;
    proxy->Forget();
    while (*text == u' ' || *text == u'\t') ++text;
    WCHAR url[kHttpUrlCapacity];
    url[0] = 0;
    // A proxy written without a scheme is an http proxy; one with another scheme is not ours.
    if (StrFindSubstring(text, kSchemeMark, nullptr) != kResultOk) {
        StrCopy(url, kHttpUrlCapacity, kHttpScheme);
    } else if (!SameTextNoCase(text, kHttpSchemeLength, kHttpScheme, kHttpSchemeLength)) {
        return kResultFail;
    }
    if (StrAppend(url, kHttpUrlCapacity, text) != kResultOk) return kResultFail;
    DWORD length = 0;
    StrLength(url, &length);
    while (length > 0 && (url[length - 1] == u' ' || url[length - 1] == u'\t')) url[--length] = 0;

    HttpUrlParts parts;
    if (HttpSplitUrl(url, &parts) != kResultOk || parts.secure) return kResultFail;
    if (HttpUrlCredentials(&parts, proxy->userId, proxy->password, kHttpCredentialCapacity) < 0 ||
        StrCopy(proxy->host, kHttpAuthorityCapacity, parts.hostName) != kResultOk) {
        proxy->Forget();
        return kResultFail;
    }
    proxy->port = HasExplicitPort(parts.authority) ? parts.port : kProxyUrlDefaultPort;
    return kResultOk;
}

bool ProxyBypassed(LPCWSTR list, LPCWSTR host) {
    if (list == nullptr || host == nullptr) return false;
    DWORD hostLength = 0;
    StrLength(host, &hostLength);
    while (hostLength > 0 && host[hostLength - 1] == u'.') --hostLength;
    for (DWORD i = 0; list[i] != 0;) {
        while (IsSeparator(list[i])) ++i;
        const DWORD start = i;
        while (list[i] != 0 && !IsSeparator(list[i])) ++i;
        if (i > start && EntryNames(list + start, i - start, host, hostLength)) return true;
    }
    return false;
}

int ProxyChoice::Load(bool registryOn, LPCWSTR host, WORD port, LPCWSTR userId, LPCWSTR password) {
    Clear();
    if (registryOn) {
        const int set = SetProxy(host, port, userId, password);
        if (set < 0) return set;
    }
    LoadEnvironment(registryOn);
    return kResultOk;
}

void ProxyChoice::Clear() {
    http_.Forget();
    https_.Forget();
    hasHttp_ = false;
    hasHttps_ = false;
    bypass_[0] = 0;
}

int ProxyChoice::SetProxy(LPCWSTR host, WORD port, LPCWSTR userId, LPCWSTR password) {
    if (host == nullptr) return kResultNullArgument;
    http_.Forget();
    hasHttp_ = false;
    hasHttps_ = false;
    if (host[0] == 0 || StrCopy(http_.host, kHttpAuthorityCapacity, host) != kResultOk ||
        StrCopy(http_.userId, kHttpCredentialCapacity, userId != nullptr ? userId : TEXT("")) !=
            kResultOk ||
        StrCopy(http_.password, kHttpCredentialCapacity,
                password != nullptr ? password : TEXT("")) != kResultOk) {
        http_.Forget();
        return kResultFail;
    }
    http_.port = port;
    https_ = http_;
    hasHttp_ = true;
    hasHttps_ = true;
    return kResultOk;
}

int ProxyChoice::SetBypass(LPCWSTR list) {
    bypass_[0] = 0;
    if (list == nullptr) return kResultOk;
    if (StrCopy(bypass_, kProxyBypassCapacity, list) == kResultOk) return kResultOk;
    // Cut after the last whole entry: a part of a name would bypass other names.
    DWORD end = kProxyBypassCapacity - 1;
    while (end > 0 && !IsSeparator(bypass_[end])) --end;
    bypass_[end] = 0;
    return kResultNo;
}

void ProxyChoice::LoadEnvironment(bool keepProxy) {
    if (!keepProxy) {
        hasHttp_ = ProxyFromEnvironment(false, &http_) == kResultOk;
        hasHttps_ = ProxyFromEnvironment(true, &https_) == kResultOk;
    }
    WCHAR list[kProxyBypassCapacity];
    // A list too long to read whole is not used: what it would bypass goes to the proxy.
    if (ReadFirstVariable({TEXT("no_proxy"), TEXT("NO_PROXY")}, list, kProxyBypassCapacity) ==
        kResultOk) {
        SetBypass(list);
    } else {
        bypass_[0] = 0;
    }
}

const ProxyServer* ProxyChoice::Choose(bool secure, LPCWSTR host) const {
    const ProxyServer* proxy =
        secure ? (hasHttps_ ? &https_ : nullptr) : (hasHttp_ ? &http_ : nullptr);
    if (proxy == nullptr || ProxyBypassed(bypass_, host)) return nullptr;
    return proxy;
}

int ProxyFromEnvironment(bool secure, ProxyServer* proxy) {
    if (proxy == nullptr) return kResultNullArgument;
    proxy->Forget();
    WCHAR value[kHttpUrlCapacity];
    const int found =
        secure ? ReadFirstVariable({TEXT("https_proxy"), TEXT("HTTPS_PROXY"), TEXT("all_proxy"),
                                    TEXT("ALL_PROXY")},
                                   value, kHttpUrlCapacity)
               : ReadFirstVariable({TEXT("http_proxy"), TEXT("all_proxy"), TEXT("ALL_PROXY")},
                                   value, kHttpUrlCapacity);
    if (found != kResultOk) return found;
    const int parsed = ProxyParseUrl(value, proxy);
    BytesFill(value, 0, sizeof value);
    return parsed == kResultOk ? kResultOk : kResultFail;
}
