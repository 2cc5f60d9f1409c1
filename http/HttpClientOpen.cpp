// HttpClient::Open: one request and whatever it leads to: redirections, a retry with Basic
// credentials, and the acceptance of the final response.
#include "http/HttpClient.h"

#include <initializer_list>
#include <iterator>

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/StringUtil.h"
#include "http/HttpResponse.h"
#include "http/HttpStatus.h"

namespace {

constexpr WCHAR kServerChallenge[] = TEXT("WWW-Authenticate");
constexpr WCHAR kProxyChallenge[] = TEXT("Proxy-Authenticate");
constexpr WCHAR kBasicChallenge[] = TEXT("Basic realm=\"");
// The realm handed to the callback begins at the challenge's opening quote, the last unit
// of kBasicChallenge.
constexpr DWORD kRealmStart = std::size(kBasicChallenge) - 2;
constexpr DWORD kPortTextCapacity = 8;                         // ":65535" and the terminator
constexpr DWORD kOriginCapacity = kHttpAuthorityCapacity + 16; // scheme, brackets and port

// Who credentials are sent to: "scheme://host:port", an IPv6 literal in brackets.
int OriginText(bool secure, LPCWSTR hostName, WORD port, LPWSTR buffer, DWORD capacity) {
    const bool literal = StrFindUnit(hostName, u':', nullptr) == kResultOk;
    WCHAR portText[kPortTextCapacity];
    wsprintfW(portText, TEXT(":%u"), static_cast<unsigned>(port));
    buffer[0] = 0;
    for (LPCWSTR piece :
         {secure ? TEXT("https://") : TEXT("http://"), literal ? TEXT("[") : TEXT(""), hostName,
          literal ? TEXT("]") : TEXT(""), static_cast<LPCWSTR>(portText)}) {
        if (StrAppend(buffer, capacity, piece) != kResultOk) return kResultFail;
    }
    return kResultOk;
}

// The scheme and the parameter's name have no case: "basic realm=" is a Basic challenge.
bool IsBasicChallenge(LPCWSTR value) {
    WCHAR head[std::size(kBasicChallenge)] = {};
    for (DWORD i = 0; i + 1 < std::size(kBasicChallenge) && value[i] != 0; ++i) head[i] = value[i];
    return StrEqualNoCase(head, kBasicChallenge) == kResultOk;
}

// The realm of a Basic challenge in the header store under name, from its opening quote;
// null when there is none.
LPCWSTR BasicRealm(PropertyList* headers, LPCWSTR name) {
    PropertyRecord challenge = {};
    challenge.key = name;
    challenge.type = kPropertyWide;
    if (headers->Get(&challenge) != kResultOk || challenge.type != kPropertyWide ||
        !IsBasicChallenge(challenge.wideText)) {
        return nullptr;
    }
    return challenge.wideText + kRealmStart;
}

} // namespace

int HttpClient::Open(LPCWSTR url, WORD* status, PropertyList* headers) {
    if (url == nullptr || status == nullptr) return kResultNullArgument;
    // Every open is a new exchange on a fresh connection: one left open by an earlier
    // exchange is closed, and a socket already connected (a refused answer) is replaced.
    if (IsOpen()) {
        Close();
    } else if ((socketUsed_ || socket_ == nullptr) && ReplaceSocket() < 0) {
        return kResultNoMemory;
    }
    SetOpenState(false, 0, -1);
    responseHeaders_.Clear();
    aborted_.store(false);
    credentials_.Forget();
    requested_ = false;
    if (StrCopy(url_, kHttpUrlCapacity, url) != kResultOk) return kResultFail;

    Credentials& credentials = credentials_;
    DWORD redirects = 0;
    DWORD prompts = 0;
    int result = TakeUrl(headers);
    requested_ = result >= 0;
    givenSecure_ = parts_.secure;
    givenPort_ = parts_.port;
    givenHostName_.AssignWide(parts_.hostName);
    if (result >= 0) result = TakeUrlCredentials(&credentials);
    for (;;) {
        if (result < 0) return result;
        result = SendRequest(credentials.given ? credentials.encoded : nullptr);
        if (result == kHttpProxyAuthRequired) { // the answer to CONNECT
            *status = static_cast<WORD>(kHttpStatusProxyAuthRequired);
            result = AnswerProxy(&prompts, headers);
            continue;
        }
        if (result < 0) return result;
        CHAR statusLine[kHttpStatusLineCapacity];
        result = ReadResponseHead(statusLine, sizeof statusLine);
        if (result < 0) return result;

        PropertyRecord location = {};
        location.key = TEXT("Location");
        location.type = kPropertyWide;
        if (responseHeaders_.Get(&location) == kResultOk && location.type == kPropertyWide) {
            if (++redirects > kHttpMaxRedirects) return kHttpTooManyRedirects;
            result = FollowLocation(location.wideText, headers, &credentials);
            continue;
        }

        DWORD code = 0;
        result = TakeStatus(statusLine, &code);
        if (result < 0) return result;
        *status = static_cast<WORD>(code);
        if (code == kHttpStatusUnauthorized) {
            if (prompts == kHttpMaxCredentialPrompts) return kHttpRefused;
            ++prompts;
            result = AskForCredentials(&credentials);
            if (result != kResultOk) return result;
            // The same URL again, on a new connection, now with the Authorization line.
            result = RetireConnection();
            if (result < 0) return result;
            responseHeaders_.Clear();
            result = TakeUrl(headers);
            continue;
        }
        if (code == kHttpStatusProxyAuthRequired && useProxy_ && !parts_.secure) {
            result = AnswerProxy(&prompts, headers);
            continue;
        }
        if (HttpStatusAccepted(code)) return AcceptOpened(code);
        return kHttpRefused;
    }
}

int HttpClient::FollowLocation(LPCWSTR location, PropertyList* headers, Credentials* credentials) {
    // The value lives in the header store, which is cleared next: copy it first. A value too
    // long for the work buffer is refused rather than cut.
    if (StrCopy(url_, kHttpUrlCapacity, location) != kResultOk) return kResultFail;
    const int replaced = RetireConnection();
    if (replaced < 0) return replaced;
    responseHeaders_.Clear();
    const int taken = TakeUrl(headers);
    if (taken < 0) return taken;
    // Credentials belong to the server they were given for: same scheme, host and port.
    if (credentials->given && (credentials->secure != parts_.secure ||
                               !HttpSameHostName(credentials->hostName, parts_.hostName) ||
                               credentials->port != parts_.port)) {
        credentials->Forget();
    }
    return TakeUrlCredentials(credentials);
}

int HttpClient::AskForCredentials(Credentials* credentials) {
    if (callback_ == nullptr) return kHttpRefused;
    LPCWSTR realm = BasicRealm(&responseHeaders_, kServerChallenge);
    WCHAR origin[kOriginCapacity];
    if (realm == nullptr || OriginText(parts_.secure, parts_.hostName, parts_.port, origin,
                                       kOriginCapacity) != kResultOk) {
        return kHttpRefused;
    }
    // Nothing typed for another server is offered back.
    credentials->Forget();
    const int answer =
        callback_(realm, origin, FALSE, credentials->userId, credentials->password, callbackData_);
    // The callback may have filled the buffers to the brim.
    credentials->userId[kHttpCredentialCapacity - 1] = 0;
    credentials->password[kHttpCredentialCapacity - 1] = 0;
    if (answer <= 0) return answer;
    return KeepCredentials(credentials);
}

int HttpClient::TakeUrlCredentials(Credentials* credentials) {
    // Credentials the URL carries stand for the server it names, as if given at a prompt.
    WCHAR userId[kHttpCredentialCapacity];
    WCHAR password[kHttpCredentialCapacity];
    const int found = HttpUrlCredentials(&parts_, userId, password, kHttpCredentialCapacity);
    if (found == kResultOk) {
        StrCopy(credentials->userId, kHttpCredentialCapacity, userId);
        StrCopy(credentials->password, kHttpCredentialCapacity, password);
    }
    BytesFill(userId, 0, sizeof userId);
    BytesFill(password, 0, sizeof password);
    if (found != kResultOk) return found < 0 ? found : kResultOk;
    return KeepCredentials(credentials);
}

int HttpClient::KeepCredentials(Credentials* credentials) {
    const int encoded = HttpEncodeBasicCredentials(credentials->userId, credentials->password,
                                                   credentials->encoded, kHttpBasicEncodedCapacity);
    if (encoded != kResultOk) return encoded < 0 ? encoded : kResultFail;
    credentials->given = true;
    credentials->secure = parts_.secure;
    StrCopy(credentials->hostName, kHttpAuthorityCapacity, parts_.hostName);
    credentials->port = parts_.port;
    return kResultOk;
}

int HttpClient::AnswerProxy(DWORD* prompts, PropertyList* headers) {
    // Hidden, without a prompt, or with a prompt declined, the proxy's 407 ends the open.
    lastStatus_ = kHttpStatusProxyAuthRequired;
    LPCWSTR realm = BasicRealm(&responseHeaders_, kProxyChallenge);
    WCHAR origin[kOriginCapacity];
    if (callback_ == nullptr || *prompts == kHttpMaxCredentialPrompts || realm == nullptr ||
        OriginText(false, proxyHost_.GetWide(), proxyPort_, origin, kOriginCapacity) != kResultOk) {
        return kHttpProxyAuthRequired;
    }
    ++*prompts;
    Credentials& typed = proxyCredentials_;
    typed.Forget();
    const int answer = callback_(realm, origin, TRUE, typed.userId, typed.password, callbackData_);
    typed.userId[kHttpCredentialCapacity - 1] = 0;
    typed.password[kHttpCredentialCapacity - 1] = 0;
    if (answer <= 0) {
        typed.Forget();
        return kHttpProxyAuthRequired;
    }
    if (HttpEncodeBasicCredentials(typed.userId, typed.password, typed.encoded,
                                   kHttpBasicEncodedCapacity) != kResultOk) {
        typed.Forget();
        return kResultFail;
    }
    typed.given = true;
    StrCopy(typed.hostName, kHttpAuthorityCapacity, proxyHost_.GetWide());
    typed.port = proxyPort_;
    // The same URL again on a new connection; the route takes the typed credentials.
    const int replaced = RetireConnection();
    if (replaced < 0) return replaced;
    responseHeaders_.Clear();
    return TakeUrl(headers);
}

int HttpClient::AcceptOpened(DWORD status) {
    // Open asks from position 0: a partial answer must be the resource's start.
    if (status == kHttpStatusPartialContent && !RangeStartsAt(0)) return kHttpRefused;
    uint64_t length = 0;
    const bool known = ResponseLength(&length) == kResultOk;
    SetOpenState(true, 0, known ? static_cast<int64_t>(length) : -1);
    return kHttpAccepted;
}
