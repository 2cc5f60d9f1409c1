// Winsock 1.1 over BSD sockets, implemented in platform/winsock: the names, structures,
// constants and results of the Windows header, for TCP clients. <winsock2.h>, <ws2tcpip.h>
// and <sslsock.h> add the Winsock 2 calls, IPv6 and name lookup, and secure sockets.
//
// The structures are the Windows ones, declared here so that no POSIX socket header is
// needed (those declare the same names with other types). A translation unit that includes
// this header must not include <sys/socket.h>, <netinet/in.h>, <arpa/inet.h> or <netdb.h>.
// u_long is not declared: on LP64 Linux <sys/types.h> makes it 64 bits wide, so 32-bit
// values are ULONG here.
// fd_set, timeval and the FD_ZERO/FD_SET/FD_CLR/FD_ISSET macros are the C library's
// (<sys/select.h>, which the C++ library brings in anyway): they are used as on Windows
// (tv_sec, tv_usec; the macros take a SOCKET). select is this layer's: the name is a macro
// for its own function, so a call never reaches the C library's select.
//
// Behaviour beyond the Windows documentation, as this layer guarantees it:
// - Every function but the byte-order ones fails with WSANOTINITIALISED outside a
//   WSAStartup/WSACleanup pair; the WSACleanup that ends the last pair closes the sockets
//   still open, as Windows does.
// - shutdown or closesocket from another thread ends a send or recv blocked on the same
//   socket at once; the woken recv returns 0. A socket's descriptor is released only when
//   no call on it is still running, so a late call on a closed SOCKET fails with
//   WSAENOTSOCK instead of reaching whatever reused the number.
// - send never raises SIGPIPE: a reset peer gives SOCKET_ERROR (WSAECONNRESET).
// - gethostbyname answers "localhost" and names under it with 127.0.0.1 and refuses names
//   under "invalid" (WSAHOST_NOT_FOUND) without asking any resolver; a null name fails with
//   WSAEFAULT and an empty one with WSAHOST_NOT_FOUND.
#pragma once

#include <sys/select.h>

#include "win/types.h"

// ---- Types ------------------------------------------------------------------------------
typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;

// The socket descriptor: an unsigned type as on Windows; INVALID_SOCKET has all bits set.
typedef UINT_PTR SOCKET;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define WSAAPI

// ---- Constants --------------------------------------------------------------------------
#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23 // the Windows number (Linux uses 10); the layer translates it
#define PF_INET AF_INET
#define PF_INET6 AF_INET6
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_IP 0
#define IPPROTO_TCP 6

// recv flags
#define MSG_PEEK 0x2

// shutdown directions
#define SD_RECEIVE 0x00
#define SD_SEND 0x01
#define SD_BOTH 0x02

// IPv4 addresses in network byte order.
#define INADDR_ANY ((ULONG)0x00000000)
#define INADDR_LOOPBACK 0x7f000001
#define INADDR_NONE 0xffffffff

// setsockopt and getsockopt levels and options.
#define SOL_SOCKET 0xffff
#define SO_SNDTIMEO 0x1005 // DWORD milliseconds; 0 waits forever
#define SO_RCVTIMEO 0x1006 // DWORD milliseconds; 0 waits forever
#define SO_ERROR 0x1007    // int: the pending error of a non-blocking connect, then cleared

// ioctlsocket commands, built as the Windows header builds them.
#define IOCPARM_MASK 0x7f
#define IOC_VOID 0x20000000
#define IOC_OUT 0x40000000
#define IOC_IN 0x80000000
#define IOC_INOUT (IOC_IN | IOC_OUT)
#define _IOR(x, y, t) (IOC_OUT | (((LONG)sizeof(t) & IOCPARM_MASK) << 16) | ((x) << 8) | (y))
#define _IOW(x, y, t) (IOC_IN | (((LONG)sizeof(t) & IOCPARM_MASK) << 16) | ((x) << 8) | (y))
#define FIONBIO _IOW('f', 126, ULONG) // ULONG: non-zero makes the socket non-blocking

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

// ---- Structures -------------------------------------------------------------------------
typedef struct in_addr {
    union {
        struct {
            u_char s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct {
            u_short s_w1, s_w2;
        } S_un_w;
        ULONG S_addr;
    } S_un;
} IN_ADDR, *PIN_ADDR, *LPIN_ADDR;

#define s_addr S_un.S_addr

typedef struct sockaddr {
    u_short sa_family;
    CHAR sa_data[14];
} SOCKADDR, *PSOCKADDR, *LPSOCKADDR;

typedef struct sockaddr_in {
    SHORT sin_family;
    u_short sin_port; // network byte order
    struct in_addr sin_addr;
    CHAR sin_zero[8];
} SOCKADDR_IN, *PSOCKADDR_IN, *LPSOCKADDR_IN;

// The resolver's answer; h_addr_list holds h_length-byte addresses in network byte order,
// ended by a null pointer.
typedef struct hostent {
    CHAR* h_name;
    CHAR** h_aliases;
    SHORT h_addrtype;
    SHORT h_length;
    CHAR** h_addr_list;
} HOSTENT, *PHOSTENT, *LPHOSTENT;

#define h_addr h_addr_list[0]

// The layout of the 64-bit Windows WSADATA.
typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    CHAR* lpVendorInfo;
    CHAR szDescription[WSADESCRIPTION_LEN + 1];
    CHAR szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

static_assert(sizeof(struct in_addr) == 4 && sizeof(struct sockaddr_in) == 16 &&
              sizeof(struct sockaddr) == 16);

// ---- Error codes (WSAGetLastError, and WSAStartup's result) -----------------------------
#define WSABASEERR 10000
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAEPROTOTYPE 10041
#define WSAENOPROTOOPT 10042
#define WSAEPROTONOSUPPORT 10043
#define WSAESOCKTNOSUPPORT 10044
#define WSAEOPNOTSUPP 10045
#define WSAEPFNOSUPPORT 10046
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAENETRESET 10052
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTDOWN 10064
#define WSAEHOSTUNREACH 10065
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
#define WSAHOST_NOT_FOUND 11001
#define WSATRY_AGAIN 11002
#define WSANO_RECOVERY 11003
#define WSANO_DATA 11004

// ---- Functions --------------------------------------------------------------------------
// Returns 0 or an error code (WSAEFAULT for a null lpWSAData, WSAVERNOTSUPPORTED below 1.0);
// a request above 1.1 is granted 1.1 (wVersion), as Windows grants its highest version.
int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WSAAPI WSACleanup(void);
int WSAAPI WSAGetLastError(void);
void WSAAPI WSASetLastError(int iError);

SOCKET WSAAPI socket(int af, int type, int protocol);
int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen);
int WSAAPI send(SOCKET s, const char* buf, int len, int flags);
int WSAAPI recv(SOCKET s, char* buf, int len, int flags);
int WSAAPI shutdown(SOCKET s, int how);
int WSAAPI closesocket(SOCKET s);

// Options: SOL_SOCKET with SO_SNDTIMEO / SO_RCVTIMEO (a DWORD of milliseconds) and
// SO_SECURE (<sslsock.h>); getsockopt also answers SO_ERROR. Others fail with WSAENOPROTOOPT.
//
// Timeouts: a send, a recv or a TLS handshake (inside connect or SO_SSL_PERFORM_HANDSHAKE)
// that waits longer than the socket's timeout fails with WSAETIMEDOUT; the socket is then
// in an unknown state and should be closed (as on Windows). shutdown and closesocket from
// another thread still end the wait at once.
int WSAAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int WSAAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int WSAAPI ioctlsocket(SOCKET s, LONG cmd, ULONG* argp);

// A bounded connect, the Win32 way (what the system calls):
//     ULONG on = 1;  ioctlsocket(s, FIONBIO, &on);
//     connect(s, ...)  -> SOCKET_ERROR with WSAEWOULDBLOCK while the connection is under way
//     fd_set writable, failed;  FD_ZERO(&writable); FD_SET(s, &writable);
//     FD_ZERO(&failed); FD_SET(s, &failed);
//     timeval limit = {seconds, 0};
//     select(0, nullptr, &writable, &failed, &limit)
//         -> 0: the time ran out (treat as WSAETIMEDOUT and close the socket);
//            1 with s in writable: connected; 1 with s in failed: refused, and
//            getsockopt(s, SOL_SOCKET, SO_ERROR, ...) gives the reason (WSAECONNREFUSED ...)
//     ULONG off = 0; ioctlsocket(s, FIONBIO, &off);   back to blocking for send/recv
// A null timeout waits forever. shutdown or closesocket from another thread ends the wait:
// a connect under way is then reported in failed (SO_ERROR WSAESHUTDOWN), a socket waited
// on for reading as readable (its recv returns 0). nfds is ignored, as on
// Windows. Only sockets of this layer may be in the sets; a set holds at most FD_SETSIZE.
// On a secure socket a non-blocking connect does not run the handshake: the system then
// calls WSAIoctl(SO_SSL_PERFORM_HANDSHAKE) (<sslsock.h>) once connected and blocking again;
// until then send and recv fail with WSAENOTCONN.
int WSAAPI WinsockSelect(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                         const struct timeval* timeout);
#define select WinsockSelect

// The calling thread's own entry, valid until its next gethostbyname; null on failure.
struct hostent* WSAAPI gethostbyname(const char* name);
// A dotted IPv4 address ("a.b.c.d" and the shorter forms) in network byte order;
// INADDR_NONE when the text is not one.
ULONG WSAAPI inet_addr(const char* cp);

ULONG WSAAPI htonl(ULONG hostlong);
u_short WSAAPI htons(u_short hostshort);
ULONG WSAAPI ntohl(ULONG netlong);
u_short WSAAPI ntohs(u_short netshort);
