// WSAIoctl with the secure-socket control codes.
#include <cstring>

#include <sslsock.h>

#include "platform/winsock/secure_channel.h"
#include "platform/winsock/socket_core.h"
#include "platform/winsock/wsa_errors.h"

using qb::winsock::Fail;
using qb::winsock::Finish;
using qb::winsock::Outcome;
using qb::winsock::Started;

namespace {

// The layer's problem bits as the device's flags.
constexpr struct {
    uint32_t problem;
    DWORD flag;
} kFlagsForProblems[] = {
    {qb::winsock::kProblemIssuerUnknown, SSL_CERT_FLAG_ISSUER_UNKNOWN},
    {qb::winsock::kProblemNameMismatch, SSL_CERT_FLAG_NAME_MISMATCH},
    {qb::winsock::kProblemExpired, SSL_CERT_FLAG_EXPIRED},
    {qb::winsock::kProblemNotYetValid, SSL_CERT_FLAG_NOT_YET_VALID},
    {qb::winsock::kProblemOther, SSL_CERT_FLAG_OTHER},
};

// Calls the system's hook the device's way; only SSL_ERR_OKAY accepts.
bool Judge(const qb::winsock::CertificateHook& hook, const uint8_t* der, size_t length,
           uint32_t problems) {
    DWORD flags = 0;
    for (const auto& f : kFlagsForProblems) {
        if ((problems & f.problem) != 0) flags |= f.flag;
    }
    BLOB leaf{ULONG(length), const_cast<BYTE*>(der)};
    const auto function = reinterpret_cast<SSLVALIDATECERTFUNC>(hook.function);
    return function(SSL_CERT_X509, hook.argument, 1, &leaf, flags) == SSL_ERR_OKAY;
}

// The peer name in an input buffer: a string ended within cbInBuffer.
bool NameIn(LPVOID buffer, DWORD size) {
    return buffer != nullptr && size > 0 && std::memchr(buffer, '\0', size) != nullptr;
}

} // namespace

int WSAAPI WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                    LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                    LPWSAOVERLAPPED lpOverlapped,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    if (!Started()) return SOCKET_ERROR;
    if (lpOverlapped != nullptr || lpCompletionRoutine != nullptr) return Fail(WSAEINVAL);
    if (lpcbBytesReturned != nullptr) *lpcbBytesReturned = 0;
    switch (dwIoControlCode) {
    case SO_SSL_SET_VALIDATE_CERT_HOOK: {
        if (lpvInBuffer == nullptr || cbInBuffer < sizeof(SSLVALIDATECERTHOOK))
            return Fail(WSAEFAULT);
        SSLVALIDATECERTHOOK given;
        std::memcpy(&given, lpvInBuffer, sizeof given);
        if (given.HookFunc == nullptr) return Fail(WSAEINVAL);
        qb::winsock::CertificateHook hook;
        hook.judge = &Judge;
        hook.function = reinterpret_cast<void (*)()>(given.HookFunc);
        hook.argument = given.pvArg;
        return Finish(qb::winsock::SetCertificateHook(s, hook));
    }
    case SO_SSL_SET_PEERNAME:
        if (!NameIn(lpvInBuffer, cbInBuffer)) return Fail(WSAEFAULT);
        return Finish(qb::winsock::SetPeerName(s, static_cast<const char*>(lpvInBuffer)));
    case SO_SSL_SET_FLAGS: {
        if (lpvInBuffer == nullptr || cbInBuffer < sizeof(DWORD)) return Fail(WSAEFAULT);
        DWORD flags = 0;
        std::memcpy(&flags, lpvInBuffer, sizeof flags);
        if ((flags & ~DWORD(SSL_FLAG_DEFER_HANDSHAKE)) != 0) return Fail(WSAEINVAL);
        return Finish(qb::winsock::SetSecureFlags(s, flags != 0));
    }
    case SO_SSL_GET_FLAGS: {
        if (lpvOutBuffer == nullptr || cbOutBuffer < sizeof(DWORD)) return Fail(WSAEFAULT);
        const Outcome got = qb::winsock::GetSecureFlags(s);
        if (got.error != 0) return Finish(got);
        const DWORD flags = got.value != 0 ? SSL_FLAG_DEFER_HANDSHAKE : 0;
        std::memcpy(lpvOutBuffer, &flags, sizeof flags);
        if (lpcbBytesReturned != nullptr) *lpcbBytesReturned = sizeof flags;
        return 0;
    }
    case SO_SSL_PERFORM_HANDSHAKE:
        if (lpvInBuffer != nullptr && cbInBuffer > 0) {
            if (!NameIn(lpvInBuffer, cbInBuffer)) return Fail(WSAEFAULT);
            const Outcome named =
                qb::winsock::SetPeerName(s, static_cast<const char*>(lpvInBuffer));
            if (named.error != 0) return Finish(named);
        }
        return Finish(qb::winsock::PerformHandshake(s));
    default:
        return Fail(WSAEOPNOTSUPP);
    }
}
