// HttpClient: fetches one resource over HTTP/1.0 and streams its body. Open sends a GET with
// a byte range to the server named by an "http://" or "https://" URL (directly, or through a
// proxy: the whole URL for http, a CONNECT tunnel for https), follows Location redirections
// (also from one scheme to the other), answers a 401 with Basic credentials from a callback,
// and accepts a status of 200 to 206; the body is then read through the Stream operations.
// The proxy is chosen again for every URL (ProxyChoice: a redirection may leave it); the
// proxy resolves the server's name, so only the proxy's own name is looked up here. A proxy
// is given its own credentials (Proxy-Authorization, on every request through it and on
// CONNECT), the server its own (Authorization, never on CONNECT).
// Seek asks the server again from another position (resuming a download).
//
// Results of Open (the status output holds the status code whenever a status line was
// parsed, except for a redirecting response):
//   kHttpAccepted (1)         accepted: the client is open and the body can be read
//   kHttpRefused (3)          a status was parsed but not accepted: outside 200..206, a 401
//                             without credentials, or a 206 whose Content-Range does not
//                             start at 0 (the caller treats it as a failure)
//   kHttpBadStatusLine        the status line did not match "HTTP/%u.%u %u": no answer to
//                             use (the client is not open)
//   -1                        a URL or Location value that is not an absolute "http://" or
//                             "https://" URL, has a control character, is too long for the
//                             buffers or names a bad port; no address of the server took
//                             the connection; an empty status line; header or credential
//                             texts that do not fit; a short send
//   -2                        no socket, or no memory for a new one
//   -4                        null URL or null status output
//   kHttpTooManyRedirects     more than kHttpMaxRedirects Location redirections
//   kHttpTunnelRefused        the proxy answered CONNECT with a status outside 200..299
//                             (other than 407)
//   kHttpProxyAuthRequired    the proxy answered 407 (to a request or to CONNECT) and no
//                             credentials were given for it, or the prompt was declined;
//                             LastStatus() and the status output are 407
//   kHttpInvalidHostName      the URL's (or a Location's) host name has no ASCII form
//   kSocketNameNotFound       the server's (or the proxy's) name is not known
//   kSocketCertificateRefused the server's certificate has a problem (CertificateProblems)
//   kSocketHandshakeFailed    the secure handshake failed
//   kSocketSecureUnsupported  https on a platform without secure sockets
//   0 or less                 the credentials callback's own result when the user declined
//
// Threads. Open, Seek, Close, SetProxy and the other set-up calls belong to one owner thread;
// Read (and Write) may run on another thread while the client is open, and so may Reopen
// while the owner leaves the client to that thread. Abort is the one call that is safe from
// any thread at any time: it shuts the current connection down, so a Read blocked on the
// network returns at once (with what it had), but it frees nothing; until the next Open or
// Close, every new connection (a Seek, a Reopen) is shut down as soon as it is made. Close,
// Seek, Open and the destructor replace the connection; each first waits until no Read or
// Write is in progress (the read and write locks), so the socket is never destroyed under a
// reader. To stop a transfer from the interface thread: Abort, wait for the reading thread,
// then Close. (Close itself also aborts before it waits, so it never waits on the network.)
#pragma once

#include <atomic>
#include <cstdint>

#include <windows.h>

#include "base/WString.h"
#include "http/HttpRequest.h"
#include "http/HttpResponse.h"
#include "http/HttpUrl.h"
#include "http/PropertyList.h"
#include "http/ProxyChoice.h"
#include "transport/SocketStream.h"
#include "transport/Stream.h"

// Open's (Seek's, Reopen's) result for an accepted response: the body can be read.
constexpr int kHttpAccepted = 1;
// Open's result for a parsed status line whose status was not accepted.
constexpr int kHttpRefused = 3;
// Open's (Seek's, Reopen's) result for a status line that does not match "HTTP/%u.%u %u". Its
// own number, below 0: a count of the numbers that matched would say 1, which is "accepted".
constexpr int kHttpBadStatusLine = -25;
// Open's result when the server keeps redirecting.
constexpr int kHttpTooManyRedirects = -21;
// Open's result when the proxy refuses to open a tunnel to an https server.
constexpr int kHttpTunnelRefused = -22;
// Open's result when the proxy wants credentials (407) that it was not given.
constexpr int kHttpProxyAuthRequired = -23;
constexpr DWORD kHttpMaxRedirects = 20;
// How often one Open asks for credentials before it gives up on a server that keeps
// answering 401 (result kHttpRefused).
constexpr DWORD kHttpMaxCredentialPrompts = 10;

// Called on a 401 (or, with forProxy TRUE, a proxy's 407) with a Basic challenge: realm is
// the challenge from the opening double quote of the realm on (quotes included); origin is
// who the credentials will be sent to, "scheme://host:port" (an IPv6 literal in brackets,
// the port always written; for a proxy "http://" and the proxy's host and port); userId and
// password are buffers of kHttpCredentialCapacity units, empty at each call. Return a value
// above 0 when the user gave credentials, 0 or less when the user declined.
typedef int (*HttpCredentialsCallback)(LPCWSTR realm, LPCWSTR origin, BOOL forProxy, LPWSTR userId,
                                       LPWSTR password, DWORD_PTR data);

class HttpClient final : public Stream {
public:
    HttpClient();
    // Close, then releases the connection and the stores.
    ~HttpClient();

    // Routes the next opens through the proxy host:port (an address, or a name that must
    // resolve now), for both schemes, giving it userId and password when userId is neither
    // null nor empty. 1; -4 null host; -2 no socket to resolve with; -1 a host or
    // credentials too long; kSocketNameNotFound (the proxy stays cleared).
    int SetProxy(LPCWSTR host, WORD port, LPCWSTR userId = nullptr, LPCWSTR password = nullptr);
    // Routes each URL of the next opens as choice says (copied; nothing is resolved now).
    // 1.
    int SetProxyChoice(const ProxyChoice& choice);
    // Connects directly from now on. 1 when a proxy was set, 0 otherwise.
    int ClearProxy();

    // 1; -4 null callback.
    int SetCredentialsCallback(HttpCredentialsCallback callback, DWORD_PTR data);
    // 1; 0 when none was set.
    int ClearCredentialsCallback();

    // Bounds the connect and every wait for response bytes of the connections made from now
    // on: a wait longer than milliseconds fails as the network does. 0 waits forever.
    void SetTimeout(DWORD milliseconds) { timeoutMs_ = milliseconds; }

    // Requests url from position 0 with the header lines of headers (null: those of the
    // previous open) and handles the response: see the results above. An exchange left from
    // an earlier open is closed first.
    int Open(LPCWSTR url, WORD* status, PropertyList* headers);

    // The server's name for the resource: the last path component of the final URL.
    // 1 (an empty name when the path ends in "/"); -1 no path yet, or a name that is not one
    // plain file name, or that does not fit capacity; -4 null buffer or capacity 0.
    int GetFileName(LPWSTR buffer, DWORD capacity);
    // The URL finally fetched (after redirections). 1; 0 when it does not fit capacity
    // (buffer left empty); -1 not open; -4 null buffer or capacity 0.
    int GetFinalUrl(LPWSTR buffer, DWORD capacity);

    // Shuts the current connection down; safe from any thread (see above). 1; -1 no socket.
    int Abort();

    // Asks again for the resource of the last open from position, also after a failed read
    // or a failed Seek or Reopen (a retry). Results as Seek from kSeekBegin; -1 when nothing
    // was opened since the last Close, or after Abort.
    int Reopen(uint64_t position);
    // The status of the last response whose status line was parsed (0 before any).
    DWORD LastStatus() const { return lastStatus_; }
    // The reason phrase of the last status line read, fit to be shown (HttpParseReasonPhrase).
    LPCWSTR LastReason() const { return lastReason_; }

    // Slot 0: GetFileName.
    int GetName(LPWSTR buffer, DWORD capacity) override;
    // 1 and the size of the whole resource; -1 not open or size unknown; -4 null size.
    int GetSize(uint64_t* size) override;
    // Moves to offset from origin (0 begin, 1 current, 2 end: size + offset - 1) and asks the
    // server again from there; position is not written. Results: 1 the response continues at
    // the new position with a known size; -1 for a null offset (-4), not open, a target
    // below 0, an unknown size, or a 200 that carries the whole resource instead (the client
    // is then open on that body at position 0); kHttpRefused a refused status (also 201..205
    // or a 206 of another range at a position above 0); kHttpBadStatusLine; other
    // negative results as for Open. Except for the 200 case the client is closed on failure.
    int Seek(const int64_t* offset, uint64_t* position, DWORD origin) override;
    // Reads what the connection has of the body, up to *count bytes, waiting only until the
    // first bytes arrive (one socket read); the position advances by *count. 1 (count 0 at
    // the end); -1 the read failed; -4 null count or null buffer; -1 not open.
    int Read(void* buffer, DWORD* count) override;
    // As Read, but the bytes go straight from the connection into file where the platform
    // can (SocketStream::MoveToFile); -36 (kSocketMoveFileFailed) when the file refused
    // them. kSocketMoveUnavailable (nothing moved): Read this piece instead, as for bytes
    // the client already holds past the head, or a secure connection.
    int ReadToFile(HANDLE file, DWORD* count);
    // One socket write of *count bytes; the position advances by them. -4 null count; -1 not
    // open.
    int Write(const void* data, DWORD* count) override;
    // 1 closed (connection replaced, headers cleared, size unknown, position 0); 0 not open.
    int Close() override;

    // Observers for the download worker and tests.
    bool IsOpen() const { return open_.load(std::memory_order_acquire) != FALSE; }
    uint64_t Position() const {
        return position_.load(std::memory_order_relaxed) + written_.load(std::memory_order_relaxed);
    }
    // The complete text of the last request sent; an Authorization line's credentials are
    // not kept (shown as "(not kept)").
    LPCWSTR LastRequest() const { return lastRequest_.GetWide(); }
    // True while the current URL goes through a proxy.
    bool UsesProxy() const { return useProxy_; }
    // What the certificate check found on the last secure connection tried (SSL_CERT_FLAG_*
    // bits; 0 none or not secure), and the server's name (as written) it was checked against.
    DWORD CertificateProblems() const { return certificateProblems_; }
    LPCWSTR ServerHostName() const { return hostName_.GetWide(); }
    // The headers of the last response (owner thread only).
    PropertyList* ResponseHeaders() { return &responseHeaders_; }

private:
    // Credentials given during the last Open (or carried by its URL): sent again with every
    // re-request while scheme, host and port stay those they were given for.
    struct Credentials {
        bool given = false;
        bool secure = false;
        WCHAR hostName[kHttpAuthorityCapacity] = {};
        WORD port = 0;
        WCHAR userId[kHttpCredentialCapacity] = {};
        WCHAR password[kHttpCredentialCapacity] = {};
        WCHAR encoded[kHttpBasicEncodedCapacity] = {};
        ~Credentials();
        void Forget();
    };

    // HttpClient.cpp: connections and requests.
    int ShutdownSocket();
    int ReplaceSocket();
    int RetireConnection();
    void SetOpenState(bool open, uint64_t position, int64_t size);
    int TakeUrl(PropertyList* headers);
    int SendRequest(LPCWSTR authorization);
    int SendLastRequest();
    bool AtGivenOrigin() const;
    int ReadResponseHead(LPSTR statusLine, DWORD capacity);
    int TakeStatus(LPCSTR statusLine, DWORD* code);
    int ResponseLength(uint64_t* length);
    bool RangeStartsAt(uint64_t position);

    // HttpClientConnect.cpp: the connection to the server, directly or through the proxy
    // (in a tunnel for https).
    int ConnectToServer();
    int OpenTunnel();

    // HttpClientOpen.cpp: redirection and authentication.
    int FollowLocation(LPCWSTR location, PropertyList* headers, Credentials* credentials);
    int AskForCredentials(Credentials* credentials);
    int TakeUrlCredentials(Credentials* credentials);
    int KeepCredentials(Credentials* credentials);
    int AcceptOpened(DWORD status);
    int AnswerProxy(DWORD* prompts, PropertyList* headers);
    int TakeProxyRoute();

    // HttpClientStream.cpp: asking again from the current position.
    int Rerequest(uint64_t target);
    LPCWSTR CredentialsForServer();

    SocketStream* socket_ = nullptr; // replaced under socketLock_
    bool socketUsed_ = false;        // the current socket has been connected
    ProxyChoice proxies_;
    bool useProxy_ = false; // the current URL goes through proxyHost_:proxyPort_
    WString proxyHost_;
    WORD proxyPort_ = 0;
    // The Proxy-Authorization value for the current proxy; empty: none.
    WCHAR proxyAuthorization_[kHttpBasicEncodedCapacity] = {};
    // Credentials typed at the prompt for a proxy (hostName and port), kept across opens.
    Credentials proxyCredentials_;
    WString proxyRealm_;            // the last 407's realm
    std::atomic<BOOL> open_{FALSE}; // changed under the read lock
    DWORD certificateProblems_ = 0; // of the last secure connection tried
    WString host_;                  // the Host line's value
    WString hostName_;              // the server's name as written, to be shown
    WString target_;                // the path, or the whole URL while a proxy is used
    WString lastRequest_;
    // The scheme, host and port of the URL Open was given: the Referer goes back there only.
    bool givenSecure_ = false;
    WORD givenPort_ = 0;
    WString givenHostName_;
    WString extraHeaders_;
    HttpCredentialsCallback callback_ = nullptr;
    DWORD_PTR callbackData_ = 0;
    PropertyList responseHeaders_;
    Credentials credentials_;
    DWORD timeoutMs_ = 0;
    DWORD lastStatus_ = 0;
    WCHAR lastReason_[kHttpReasonCapacity] = {};
    bool requested_ = false;           // an Open has set host and target since the last Close
    std::atomic<bool> aborted_{false}; // Abort was called since the last Open or Close
    std::atomic<int64_t> size_{-1};
    // The stream's position: bytes read, changed only under readLock_ (a plain store, as
    // every piece moves it), plus bytes written, changed under writeLock_.
    std::atomic<uint64_t> position_{0};
    std::atomic<uint64_t> written_{0};
    CRITICAL_SECTION readLock_;
    CRITICAL_SECTION writeLock_;
    CRITICAL_SECTION socketLock_;

    // Work buffers of one exchange (owner thread only).
    HttpUrlParts parts_;
    WCHAR url_[kHttpUrlCapacity];
    WCHAR request_[kHttpRequestCapacity];
    WCHAR headerLines_[kHttpExtraHeadersCapacity];
};
