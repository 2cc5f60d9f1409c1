// Secure sockets, the device's own TLS interface, implemented in platform/winsock over
// OpenSSL 3. The names, structures and values are the device's (docs/secure_sockets.md
// lists their sources and the few values this layer chose).
//
// What the system calls, in this order:
//     SOCKET s = socket(AF_INET or AF_INET6, SOCK_STREAM, 0);
//     DWORD mode = SO_SEC_SSL;
//     setsockopt(s, SOL_SOCKET, SO_SECURE, (const char*)&mode, sizeof mode);
//     SSLVALIDATECERTHOOK hook = {CheckCertificate, context};
//     WSAIoctl(s, SO_SSL_SET_VALIDATE_CERT_HOOK, &hook, sizeof hook, nullptr, 0, &n, 0, 0);
//     WSAIoctl(s, SO_SSL_SET_PEERNAME, (void*)host, strlen(host) + 1, nullptr, 0, &n, 0, 0);
//     connect(s, ...);   the TCP connection, then the TLS handshake; the hook is called once
//     send / recv        plain bytes, encrypted underneath
// Through a proxy tunnel, before connect:
//     DWORD flags = SSL_FLAG_DEFER_HANDSHAKE;
//     WSAIoctl(s, SO_SSL_SET_FLAGS, &flags, sizeof flags, nullptr, 0, &n, 0, 0);
// then connect runs no handshake and send/recv carry clear bytes (the CONNECT exchange)
// until WSAIoctl(s, SO_SSL_PERFORM_HANDSHAKE, nullptr, 0, nullptr, 0, &n, 0, 0) runs the
// handshake (its input may instead carry the peer name, as SO_SSL_SET_PEERNAME does).
// Bytes the proxy sent after its answer and before the handshake were already taken by the
// system's recv calls: the system must read the CONNECT answer up to its end and no further
// (reads of a few bytes cost no system call: the layer buffers underneath).
//
// The check: OpenSSL verifies the chain against the system's trust store (the default
// paths; SSL_CERT_FILE and SSL_CERT_DIR are honoured), the validity dates, and the peer
// name (a DNS name against the certificate's names, an IP literal against its addresses).
// The name is sent as SNI when it is a DNS name. Only TLS 1.2 and 1.3 are offered. The hook
// then receives dwType SSL_CERT_X509, dwChainLen 1 and pCertChain the leaf certificate as
// DER, and in dwFlags what the check found (0: nothing wrong). The connection is completed
// only when the hook returns SSL_ERR_OKAY. A socket without a hook accepts only a
// certificate with nothing wrong; a secure connect without a peer name fails (WSAEINVAL):
// nothing skips the check.
//
// Failures of connect (or SO_SSL_PERFORM_HANDSHAKE) on a secure socket, as WSAGetLastError:
//     WSAEACCES        the hook refused the certificate (or found problems without a hook)
//     WSAECONNABORTED  the handshake failed (protocol error, no common version or cipher,
//                      the server's alert, the connection closed during the handshake)
//     WSAETIMEDOUT     the handshake waited longer than SO_RCVTIMEO / SO_SNDTIMEO
//     WSAESHUTDOWN     shutdown or closesocket from another thread ended the handshake
// After any of them the socket can only be closed.
#pragma once

#include <winsock2.h>

// setsockopt(SOL_SOCKET, SO_SECURE, DWORD mode), before connect.
#define SO_SECURE 0x2001
#define SO_SEC_SSL 0x2004

// The control-code family of secure sockets.
#define SO_SSL_FAMILY 0x00730000
#define SO_SSL_FAMILY_MASK 0x07ff0000
#define _SO_SSL ((2UL << 27) | SO_SSL_FAMILY)

#define _SO_SSL_FLAGS 0x02
#define _SO_SSL_VALIDATE_CERT_HOOK 0x08
#define _SO_SSL_PERFORM_HANDSHAKE 0x0d
#define _SO_SSL_PEERNAME 0x0f

#define SO_SSL_SET_FLAGS (IOC_IN | _SO_SSL | _SO_SSL_FLAGS)                           // DWORD
#define SO_SSL_GET_FLAGS (IOC_OUT | _SO_SSL | _SO_SSL_FLAGS)                          // DWORD
#define SO_SSL_SET_VALIDATE_CERT_HOOK (IOC_IN | _SO_SSL | _SO_SSL_VALIDATE_CERT_HOOK) // hook
#define SO_SSL_SET_PEERNAME (IOC_IN | _SO_SSL | _SO_SSL_PEERNAME)                     // char[]
#define SO_SSL_PERFORM_HANDSHAKE (_SO_SSL | _SO_SSL_PERFORM_HANDSHAKE) // char[] or none

// SO_SSL_SET_FLAGS: the handshake waits for SO_SSL_PERFORM_HANDSHAKE.
#define SSL_FLAG_DEFER_HANDSHAKE 0x0008

// The hook's results: only SSL_ERR_OKAY accepts.
#define SSL_ERR_OKAY 0
#define SSL_ERR_FAILED 2
#define SSL_ERR_BAD_LEN 3
#define SSL_ERR_BAD_TYPE 4
#define SSL_ERR_BAD_DATA 5
#define SSL_ERR_NO_CERT 6
#define SSL_ERR_BAD_SIG 7
#define SSL_ERR_CERT_EXPIRED 8
#define SSL_ERR_CERT_REVOKED 9
#define SSL_ERR_CERT_UNKNOWN 10
#define SSL_ERR_SIGNATURE 11

// dwType: pCertChain holds X.509 certificates in DER.
#define SSL_CERT_X509 0x0001

// dwFlags: what the layer's check found, one bit per kind of problem, 0 when none.
#define SSL_CERT_FLAG_ISSUER_UNKNOWN 0x0001 // the chain ends at no trusted root
// This layer's own bits (the device folds a name mismatch into ISSUER_UNKNOWN; a hook that
// accepts only dwFlags == 0 behaves alike on both).
#define SSL_CERT_FLAG_NAME_MISMATCH 0x0100 // the certificate names another host or address
#define SSL_CERT_FLAG_EXPIRED 0x0200       // a certificate of the chain has expired
#define SSL_CERT_FLAG_NOT_YET_VALID 0x0400 // a certificate of the chain is not yet valid
#define SSL_CERT_FLAG_OTHER 0x0800         // anything else: bad signature, wrong purpose, malformed

#ifndef _tagBLOB_DEFINED
#define _tagBLOB_DEFINED
typedef struct _BLOB {
    ULONG cbSize;
    BYTE* pBlobData;
} BLOB, *LPBLOB;
#endif

// Called on the thread that runs connect (or SO_SSL_PERFORM_HANDSHAKE), once per handshake;
// it must not call Winsock on the same socket. pCertChain and its bytes are valid only
// during the call.
typedef int(CALLBACK* SSLVALIDATECERTFUNC)(DWORD dwType, LPVOID pvArg, DWORD dwChainLen,
                                           LPBLOB pCertChain, DWORD dwFlags);

typedef struct _SSLVALIDATECERTHOOK {
    SSLVALIDATECERTFUNC HookFunc;
    LPVOID pvArg;
} SSLVALIDATECERTHOOK, *LPSSLVALIDATECERTHOOK;
