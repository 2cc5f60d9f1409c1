// IPv6 addresses and name lookup (Winsock 2, as on the device since its 4.1 release),
// implemented in platform/winsock over the system's resolver.
//
// socket accepts AF_INET6 (the Windows number, 23) and connect takes a sockaddr_in6.
// getaddrinfo answers with the addresses in the resolver's order, IPv6 and IPv4 mixed as the
// system's resolver configuration orders them; a caller tries each until one connects.
// Numeric literals ("127.0.0.1", "::1", without brackets) are answered without a resolver;
// "localhost" and the names under it give ::1 then 127.0.0.1; names under "invalid" are
// never found. Failures are returned (and not only set as the last error), as on Windows:
// EAI_NONAME for a name that does not exist, EAI_AGAIN for a resolver that did not answer,
// EAI_FAMILY, EAI_SOCKTYPE, EAI_BADFLAGS, EAI_MEMORY, EAI_FAIL.
#pragma once

#include "winsock2.h"

typedef struct in6_addr {
    union {
        u_char Byte[16];
        USHORT Word[8];
    } u;
} IN6_ADDR, *PIN6_ADDR, *LPIN6_ADDR;

#define s6_addr u.Byte

typedef struct sockaddr_in6 {
    USHORT sin6_family; // AF_INET6
    USHORT sin6_port;   // network byte order
    ULONG sin6_flowinfo;
    struct in6_addr sin6_addr;
    ULONG sin6_scope_id;
} SOCKADDR_IN6, *PSOCKADDR_IN6, *LPSOCKADDR_IN6;

static_assert(sizeof(struct in6_addr) == 16 && sizeof(struct sockaddr_in6) == 28);

// The layout is the Windows one (ai_canonname before ai_addr, unlike POSIX).
typedef struct addrinfo {
    int ai_flags;
    int ai_family;   // AF_UNSPEC, AF_INET or AF_INET6
    int ai_socktype; // SOCK_STREAM, SOCK_DGRAM or 0 (both)
    int ai_protocol;
    size_t ai_addrlen;
    char* ai_canonname;
    struct sockaddr* ai_addr; // a sockaddr_in or a sockaddr_in6
    struct addrinfo* ai_next;
} ADDRINFOA, *PADDRINFOA;

// ai_flags
#define AI_PASSIVE 0x01
#define AI_CANONNAME 0x02
#define AI_NUMERICHOST 0x04

// getaddrinfo's results: Winsock error codes under their Winsock 2 names.
#define EAI_AGAIN WSATRY_AGAIN
#define EAI_BADFLAGS WSAEINVAL
#define EAI_FAIL WSANO_RECOVERY
#define EAI_FAMILY WSAEAFNOSUPPORT
#define EAI_MEMORY WSA_NOT_ENOUGH_MEMORY
#define EAI_NONAME WSAHOST_NOT_FOUND
#define EAI_NODATA EAI_NONAME
#define EAI_SERVICE WSATYPE_NOT_FOUND
#define EAI_SOCKTYPE WSAESOCKTNOSUPPORT

// 0 and *ppResult a list freed by freeaddrinfo, else an EAI_ code (also the last error).
// pServiceName is a decimal port or null (port 0); service names are not looked up
// (EAI_SERVICE). pHints may be null (any family). The list holds one entry per address, with
// the hints' ai_socktype and ai_protocol; ai_canonname is set on the first with AI_CANONNAME.
int WSAAPI getaddrinfo(const char* pNodeName, const char* pServiceName,
                       const struct addrinfo* pHints, struct addrinfo** ppResult);
void WSAAPI freeaddrinfo(struct addrinfo* pAddrInfo);
