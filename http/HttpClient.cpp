// HttpClient: construction, the proxy, the derived texts, and the connection and request
// steps that Open and Seek share.
#include "http/HttpClient.h"

#include <new>

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/StringUtil.h"
#include "http/HttpResponse.h"
#include "http/LineReader.h"

namespace {

// The header reader takes one byte per socket read, so no body byte leaves the socket.
constexpr DWORD kHeadReaderBufferSize = 1;
// What the remembered request shows in place of the credentials it carried.
constexpr WCHAR kWipedCredentials[] = TEXT("(not kept)");

// The request target of parts into target: the path and query, or (absolute, for a proxy)
// the whole URL without user information; escaped, never with the fragment.
int AssignTarget(const HttpUrlParts& parts, bool absolute, WString* target) {
    WCHAR text[kHttpRequestCapacity];
    const int made = HttpRequestTarget(&parts, absolute, text, kHttpRequestCapacity);
    if (made == kResultOk) target->AssignWide(text);
    return made;
}

} // namespace

HttpClient::HttpClient()
    : socket_(new (std::nothrow) SocketStream(SOCK_STREAM)),
      responseHeaders_(nullptr, PropertyKeys::kAnyCase) {
    InitializeCriticalSection(&readLock_);
    InitializeCriticalSection(&writeLock_);
    InitializeCriticalSection(&socketLock_);
    url_[0] = 0;
    request_[0] = 0;
    headerLines_[0] = 0;
}

HttpClient::~HttpClient() {
    Close();
    ClearCredentialsCallback();
    EnterCriticalSection(&socketLock_);
    SocketStream* last = socket_;
    socket_ = nullptr;
    LeaveCriticalSection(&socketLock_);
    delete last;
    DeleteCriticalSection(&socketLock_);
    DeleteCriticalSection(&writeLock_);
    DeleteCriticalSection(&readLock_);
}

int HttpClient::SetProxy(LPCWSTR host, WORD port, LPCWSTR userId, LPCWSTR password) {
    if (host == nullptr) return kResultNullArgument;
    ClearProxy();
    if (socket_ == nullptr) return kResultNoMemory;
    const int resolved = socket_->Resolve(host);
    if (resolved < 0) return resolved;
    ProxyChoice choice;
    const int set = choice.SetProxy(host, port, userId, password);
    if (set < 0) return set;
    return SetProxyChoice(choice);
}

int HttpClient::SetProxyChoice(const ProxyChoice& choice) {
    proxies_ = choice;
    return kResultOk;
}

int HttpClient::ClearProxy() {
    const bool had = proxies_.HasProxy();
    proxies_.Clear();
    proxyCredentials_.Forget();
    if (!had) return kResultNo;
    if (useProxy_) {
        useProxy_ = false;
        BytesFill(proxyAuthorization_, 0, sizeof proxyAuthorization_);
        if (IsOpen()) AssignTarget(parts_, false, &target_);
    }
    return kResultOk;
}

int HttpClient::SetCredentialsCallback(HttpCredentialsCallback callback, DWORD_PTR data) {
    if (callback == nullptr) return kResultNullArgument;
    callback_ = callback;
    callbackData_ = data;
    return kResultOk;
}

int HttpClient::ClearCredentialsCallback() {
    if (callback_ == nullptr) return kResultNo;
    callback_ = nullptr;
    callbackData_ = 0;
    return kResultOk;
}

int HttpClient::GetFileName(LPWSTR buffer, DWORD capacity) {
    return HttpFileNameFromTarget(target_.GetWide(), buffer, capacity);
}

int HttpClient::GetName(LPWSTR buffer, DWORD capacity) {
    return GetFileName(buffer, capacity);
}

int HttpClient::GetFinalUrl(LPWSTR buffer, DWORD capacity) {
    if (buffer == nullptr || capacity == 0) return kResultNullArgument;
    buffer[0] = 0;
    if (!IsOpen()) return kResultFail;
    // Credentials the URL carried are not handed on to be shown.
    const int copied = HttpUrlWithoutCredentials(parts_.url, buffer, capacity);
    if (copied != kResultOk) {
        buffer[0] = 0;
        return kResultTruncated;
    }
    return kResultOk;
}

int HttpClient::Abort() {
    aborted_.store(true, std::memory_order_seq_cst);
    return ShutdownSocket();
}

int HttpClient::ShutdownSocket() {
    EnterCriticalSection(&socketLock_);
    const int result = socket_ != nullptr ? socket_->Shutdown() : kResultFail;
    LeaveCriticalSection(&socketLock_);
    return result;
}

int HttpClient::ReplaceSocket() {
    // Abort may look at the socket from another thread: it is taken away under the lock.
    EnterCriticalSection(&socketLock_);
    SocketStream* old = socket_;
    socket_ = nullptr;
    LeaveCriticalSection(&socketLock_);
    delete old;
    SocketStream* fresh = new (std::nothrow) SocketStream(SOCK_STREAM);
    EnterCriticalSection(&socketLock_);
    socket_ = fresh;
    LeaveCriticalSection(&socketLock_);
    socketUsed_ = false;
    return fresh != nullptr ? kResultOk : kResultNoMemory;
}

int HttpClient::RetireConnection() {
    // Wake a read or write blocked on the network, then wait until none is inside before the
    // socket goes: the locks are taken one after the other, never one inside the other.
    ShutdownSocket();
    EnterCriticalSection(&readLock_);
    open_.store(FALSE, std::memory_order_release);
    LeaveCriticalSection(&readLock_);
    EnterCriticalSection(&writeLock_);
    LeaveCriticalSection(&writeLock_);
    return ReplaceSocket();
}

void HttpClient::SetOpenState(bool open, uint64_t position, int64_t size) {
    EnterCriticalSection(&readLock_);
    position_.store(position, std::memory_order_relaxed);
    written_.store(0, std::memory_order_relaxed);
    size_.store(size, std::memory_order_relaxed);
    open_.store(open ? TRUE : FALSE, std::memory_order_release);
    LeaveCriticalSection(&readLock_);
}

int HttpClient::Close() {
    requested_ = false;
    aborted_.store(false);
    if (!IsOpen()) return kResultNo;
    RetireConnection();
    SetOpenState(false, 0, -1);
    responseHeaders_.Clear();
    return kResultOk;
}

int HttpClient::TakeUrl(PropertyList* headers) {
    const int split = HttpSplitUrl(url_, &parts_);
    if (split < 0) return split;
    host_.AssignWide(parts_.hostLine);
    hostName_.AssignWide(parts_.shownHostName);
    const int routed = TakeProxyRoute();
    if (routed < 0) return routed;
    // A proxy is asked for an http URL by the whole URL; an https one goes through a tunnel
    // to the origin, which is asked for the path.
    const int targeted = AssignTarget(parts_, useProxy_ && !parts_.secure, &target_);
    if (targeted < 0) return targeted;
    // Through a proxy the server's name is the proxy's to resolve: it is not looked up here.
    if (headers != nullptr) {
        const int built = HttpBuildExtraHeaders(headers, headerLines_, kHttpExtraHeadersCapacity);
        if (built < 0) return built;
        extraHeaders_.AssignWide(headerLines_);
    }
    return kResultOk;
}

bool HttpClient::AtGivenOrigin() const {
    return parts_.secure == givenSecure_ && parts_.port == givenPort_ &&
           HttpSameHostName(parts_.hostName, givenHostName_.GetWide());
}

int HttpClient::TakeProxyRoute() {
    BytesFill(proxyAuthorization_, 0, sizeof proxyAuthorization_);
    const ProxyServer* proxy = proxies_.Choose(parts_.secure, parts_.hostName);
    useProxy_ = proxy != nullptr;
    if (!useProxy_) return kResultOk;
    proxyHost_.AssignWide(proxy->host);
    proxyPort_ = proxy->port;
    // What was typed at the prompt for this proxy stands before what it was set up with.
    if (proxyCredentials_.given && proxyCredentials_.port == proxy->port &&
        HttpSameHostName(proxyCredentials_.hostName, proxy->host)) {
        return StrCopy(proxyAuthorization_, kHttpBasicEncodedCapacity, proxyCredentials_.encoded);
    }
    if (proxy->userId[0] == 0) return kResultOk;
    const int encoded = HttpEncodeBasicCredentials(proxy->userId, proxy->password,
                                                   proxyAuthorization_, kHttpBasicEncodedCapacity);
    return encoded == kResultOk ? kResultOk : kResultFail;
}

int HttpClient::SendRequest(LPCWSTR authorization) {
    if (socket_ == nullptr) return kResultNoMemory;
    // The page the user came from is no business of another server (nor of plain http
    // after https).
    LPCWSTR extra = extraHeaders_.GetWide();
    if (!AtGivenOrigin()) {
        const int kept =
            HttpWithoutHeaderLine(extra, TEXT("Referer"), headerLines_, kHttpExtraHeadersCapacity);
        if (kept < 0) return kept;
        extra = headerLines_;
    }
    // A request through the proxy carries the proxy's credentials; one inside a tunnel goes
    // to the server alone.
    LPCWSTR proxyAuthorization =
        useProxy_ && !parts_.secure && proxyAuthorization_[0] != 0 ? proxyAuthorization_ : nullptr;
    const uint64_t position = Position();
    const int built =
        HttpBuildRequest(target_.GetWide(), host_.GetWide(), position, extra, authorization,
                         proxyAuthorization, request_, kHttpRequestCapacity);
    if (built < 0) return built;
    lastRequest_.AssignWide(request_);
    // Credentials leave no copy in the work buffer.
    const bool secret = authorization != nullptr || proxyAuthorization != nullptr;
    if (secret) BytesFill(request_, 0, sizeof request_);
    const int sent = SendLastRequest();
    if (secret) {
        // Nor in the memory of the last request, once it has gone: it keeps the lines with
        // the credentials left out.
        lastRequest_.Wipe();
        HttpBuildRequest(target_.GetWide(), host_.GetWide(), position, extra,
                         authorization != nullptr ? kWipedCredentials : nullptr,
                         proxyAuthorization != nullptr ? kWipedCredentials : nullptr, request_,
                         kHttpRequestCapacity);
        lastRequest_.AssignWide(request_);
    }
    return sent;
}

int HttpClient::SendLastRequest() {
    socketUsed_ = true;
    if (timeoutMs_ != 0) socket_->SetTimeout(timeoutMs_);
    const int connected = ConnectToServer();
    if (connected < 0) return connected;
    // An Abort that came before this connection existed did not reach it: this one ends the
    // exchange, and an Abort from now on shuts this connection down.
    if (aborted_.load(std::memory_order_seq_cst)) return kResultFail;
    LPCSTR text = lastRequest_.GetNarrow();
    DWORD length = 0;
    StrLength(text, &length);
    DWORD sent = 0;
    const int result = socket_->Send(text, length, &sent);
    if (result < 0) return result;
    return sent == length ? kResultOk : kResultFail;
}

int HttpClient::ReadResponseHead(LPSTR statusLine, DWORD capacity) {
    statusLine[0] = 0;
    if (socket_ == nullptr) return kResultNoMemory;
    LineReader reader(nullptr, kHeadReaderBufferSize);
    if (reader.Attach(socket_) != kResultOk) return kResultNoMemory;
    DWORD length = 0;
    HttpReadLine(&reader, statusLine, capacity, &length, nullptr);
    HttpParseReasonPhrase(statusLine, lastReason_, kHttpReasonCapacity);
    if (length == 0) {
        reader.Detach();
        return kResultFail;
    }
    HttpReadHeaderBlock(&reader, &responseHeaders_);
    reader.Detach();
    return kResultOk;
}

int HttpClient::TakeStatus(LPCSTR statusLine, DWORD* code) {
    if (HttpParseStatusLine(statusLine, code) != static_cast<int>(kHttpStatusNumbers)) {
        return kHttpBadStatusLine;
    }
    lastStatus_ = *code;
    return kResultOk;
}

int HttpClient::ResponseLength(uint64_t* length) {
    PropertyRecord record = {};
    record.key = TEXT("Content-Length");
    record.type = kPropertyWide;
    if (responseHeaders_.Get(&record) != kResultOk || record.type != kPropertyWide) {
        return kResultFail;
    }
    return HttpParseLength(record.wideText, length) ? kResultOk : kResultFail;
}

bool HttpClient::RangeStartsAt(uint64_t position) {
    PropertyRecord record = {};
    record.key = TEXT("Content-Range");
    record.type = kPropertyWide;
    if (responseHeaders_.Get(&record) != kResultOk) return true;
    uint64_t first = 0;
    return record.type == kPropertyWide && HttpParseRangeStart(record.wideText, &first) &&
           first == position;
}

HttpClient::Credentials::~Credentials() {
    Forget();
}

void HttpClient::Credentials::Forget() {
    given = false;
    BytesFill(userId, 0, sizeof userId);
    BytesFill(password, 0, sizeof password);
    BytesFill(encoded, 0, sizeof encoded);
}
