// Winsock 2 over BSD sockets, implemented in platform/winsock: everything of <winsock.h>
// (included here, unlike on Windows where the two exclude each other) and the Winsock 2
// calls the system uses. The same rule holds: no POSIX socket header in a translation unit
// that includes this one.
#pragma once

#include "winsock.h"

// Error codes added by Winsock 2.
#define WSA_NOT_ENOUGH_MEMORY 8
#define WSATYPE_NOT_FOUND 10109

// WSAIoctl control codes are built as IOC_* | family | code; the families are these.
#define IOC_UNIX 0x00000000
#define IOC_WS2 0x08000000
#define IOC_PROTOCOL 0x10000000
#define IOC_VENDOR 0x18000000

// Overlapped calls are not offered: WSAIoctl refuses an overlapped structure or a
// completion routine (WSAEINVAL).
typedef struct _WSAOVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} WSAOVERLAPPED, *LPWSAOVERLAPPED;

typedef void(CALLBACK* LPWSAOVERLAPPED_COMPLETION_ROUTINE)(DWORD dwError, DWORD cbTransferred,
                                                           LPWSAOVERLAPPED lpOverlapped,
                                                           DWORD dwFlags);

// Room for any address of the families this layer knows (sockaddr_in, sockaddr_in6).
#define _SS_MAXSIZE 128
#define _SS_ALIGNSIZE (sizeof(LONGLONG))
#define _SS_PAD1SIZE (_SS_ALIGNSIZE - sizeof(USHORT))
#define _SS_PAD2SIZE (_SS_MAXSIZE - (sizeof(USHORT) + _SS_PAD1SIZE + _SS_ALIGNSIZE))
typedef struct sockaddr_storage {
    USHORT ss_family;
    CHAR __ss_pad1[_SS_PAD1SIZE];
    LONGLONG __ss_align;
    CHAR __ss_pad2[_SS_PAD2SIZE];
} SOCKADDR_STORAGE, *PSOCKADDR_STORAGE, *LPSOCKADDR_STORAGE;

static_assert(sizeof(struct sockaddr_storage) == _SS_MAXSIZE);

// The control codes this layer answers are the secure-socket ones of <sslsock.h>; any other
// fails with WSAEOPNOTSUPP. lpcbBytesReturned, when given, receives the bytes written to
// lpvOutBuffer (only SO_SSL_GET_FLAGS writes any).
int WSAAPI WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                    LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                    LPWSAOVERLAPPED lpOverlapped,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
