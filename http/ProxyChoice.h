// Which proxy, if any, a URL goes through. The one place that decides it: the registry's
// proxy when it is on, else the environment's as curl reads it (http_proxy for http,
// https_proxy or HTTPS_PROXY for https, all_proxy or ALL_PROXY for either; HTTP_PROXY is
// never read, since a CGI program finds a request's "Proxy:" header there). A host that
// no_proxy (or NO_PROXY) names is reached directly whichever proxy is on.
#pragma once

#include <windows.h>

#include "http/HttpRequest.h"
#include "http/HttpUrl.h"

// The port of a proxy URL that names none, as curl takes it for an http proxy.
constexpr WORD kProxyUrlDefaultPort = 1080;
// Units of a no_proxy list kept, terminator included; a longer list is cut at an entry.
constexpr DWORD kProxyBypassCapacity = 4096;

// One proxy: its host (a name, or an address; an IPv6 literal without brackets), port and
// the credentials it is to be given (empty: none).
struct ProxyServer {
    WCHAR host[kHttpAuthorityCapacity] = {};
    WORD port = 0;
    WCHAR userId[kHttpCredentialCapacity] = {};
    WCHAR password[kHttpCredentialCapacity] = {};
    ~ProxyServer();
    void Forget();
};

// Reads a proxy as the environment writes it: "host", "host:port", "[v6]:port" or
// "http://[user[:password]@]host[:port][/...]" (the user information percent-decoded, the
// port kProxyUrlDefaultPort when absent). 1 and *proxy; -1 another scheme (curl's socks or
// https proxies are not spoken here), no host, a bad port, or too long; -4 null argument.
int ProxyParseUrl(LPCWSTR text, ProxyServer* proxy);

// True when list (no_proxy: entries separated by commas and spaces) names host: "*" names
// every host; an entry names itself and, as a domain, every name under it (a leading "."
// changes nothing); addresses match as written; letter case and a name's final "." do not
// count; an IPv6 entry may stand in brackets.
bool ProxyBypassed(LPCWSTR list, LPCWSTR host);

class ProxyChoice {
public:
    ProxyChoice() = default;
    ProxyChoice(const ProxyChoice&) = default;
    ProxyChoice& operator=(const ProxyChoice&) = default;

    // The proxies of a download, decided here alone: the registry's proxy (host, port and
    // credentials) for both schemes when registryOn, else the environment's; the
    // environment's no_proxy either way. 1; what SetProxy returns for the registry's.
    int Load(bool registryOn, LPCWSTR host, WORD port, LPCWSTR userId, LPCWSTR password);
    // No proxy and no bypass list: every URL goes directly.
    void Clear();
    // One proxy for both schemes (the registry's); credentials may be null. 1; -1 empty or
    // too long a host; -4 null host.
    int SetProxy(LPCWSTR host, WORD port, LPCWSTR userId, LPCWSTR password);
    // The hosts reached directly (no_proxy's form); null or "" none. 1; 0 cut to capacity.
    int SetBypass(LPCWSTR list);
    // The environment's proxies (those not usable are left out) and its no_proxy list.
    // keepProxy: a proxy set before stays for both schemes and only the list is read.
    void LoadEnvironment(bool keepProxy);

    // The proxy for a URL of that scheme and host; null: connect directly.
    const ProxyServer* Choose(bool secure, LPCWSTR host) const;
    bool HasProxy() const { return hasHttp_ || hasHttps_; }

private:
    ProxyServer http_;
    ProxyServer https_;
    bool hasHttp_ = false;
    bool hasHttps_ = false;
    WCHAR bypass_[kProxyBypassCapacity] = {};
};

// The environment's proxy for one scheme, read as LoadEnvironment reads it. 1 and *proxy;
// 0 none set; -1 set but not usable (ProxyParseUrl).
int ProxyFromEnvironment(bool secure, ProxyServer* proxy);
