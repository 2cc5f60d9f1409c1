// HttpClient: the connection of one exchange. Directly, the socket connects to the server
// (secure for https). Through the proxy, an http URL is asked of the proxy itself; an https
// URL goes through a tunnel: "CONNECT host:port" in the clear, then the secure handshake with
// the server inside it, so the proxy sees neither the request nor the certificate check.
#include "http/HttpClient.h"

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/StringUtil.h"
#include "http/HttpResponse.h"
#include "http/HttpStatus.h"

namespace {

constexpr DWORD kFirstTunnelStatus = 200;
constexpr DWORD kLastTunnelStatus = 299;

} // namespace

int HttpClient::ConnectToServer() {
    certificateProblems_ = 0;
    if (parts_.secure) socket_->SetSecure(parts_.hostName, useProxy_);
    if (!useProxy_) {
        const int connected = socket_->Connect(parts_.hostName, parts_.port);
        certificateProblems_ = socket_->CertificateProblems();
        return connected;
    }
    const int connected = socket_->Connect(proxyHost_.GetWide(), proxyPort_);
    if (connected < 0 || !parts_.secure) return connected;
    const int tunnel = OpenTunnel();
    if (tunnel < 0) return tunnel;
    const int secured = socket_->PerformHandshake();
    certificateProblems_ = socket_->CertificateProblems();
    return secured;
}

int HttpClient::OpenTunnel() {
    // The proxy's credentials only: the server's never go to the proxy.
    WCHAR request[kHttpTunnelRequestCapacity];
    const int built = HttpBuildTunnelRequest(
        parts_.hostName, parts_.port, proxyAuthorization_[0] != 0 ? proxyAuthorization_ : nullptr,
        request, kHttpTunnelRequestCapacity);
    if (built < 0) return built;
    WString text;
    text.AssignWide(request);
    BytesFill(request, 0, sizeof request);
    LPCSTR narrow = text.GetNarrow();
    DWORD length = 0;
    StrLength(narrow, &length);
    DWORD sent = 0;
    if (socket_->Send(narrow, length, &sent) < 0 || sent != length) return kResultFail;

    // The answer is read up to its empty line and not a byte further: what follows belongs
    // to the handshake.
    CHAR statusLine[kHttpStatusLineCapacity];
    const int head = ReadResponseHead(statusLine, sizeof statusLine);
    if (head < 0) {
        responseHeaders_.Clear();
        return head;
    }
    DWORD code = 0;
    const int numbers = HttpParseStatusLine(statusLine, &code);
    if (numbers == static_cast<int>(kHttpStatusNumbers)) lastStatus_ = code; // why it refused
    if (numbers >= static_cast<int>(kHttpStatusNumbers) && code == kHttpStatusProxyAuthRequired) {
        // Open asks for credentials with the challenge, still in the header store.
        return kHttpProxyAuthRequired;
    }
    responseHeaders_.Clear();
    if (numbers < static_cast<int>(kHttpStatusNumbers) || code < kFirstTunnelStatus ||
        code > kLastTunnelStatus) {
        return kHttpTunnelRefused;
    }
    return kResultOk;
}
