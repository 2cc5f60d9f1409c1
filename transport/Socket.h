// Socket: the owner of one platform socket handle. Every operation is one platform call with
// its result folded into 1 (success) or -1 (failure, or no handle); the platform's error code
// is never read.
//
// Constructing a Socket starts the platform socket library and destroying it cleans the
// library up again; a process-wide count of the live sockets makes the first start and the
// last clean-up the only real calls. The count is updated under a lock, so sockets may be
// made and destroyed on any thread.
//
// Threads: Shutdown and Close may be called while another thread is blocked in Receive or
// Send on the same socket; the blocked call then returns (Receive with 0 bytes or -1). The
// handle itself is read and replaced atomically. Destroying the object while another thread
// is still inside one of its operations is never allowed.
#pragma once

#include <atomic>

#include <windows.h>
#include <winsock.h>

class Socket {
public:
    // Starts the library (counted) and creates a socket of the given type (SOCK_STREAM) in
    // the IPv4 family. A failed creation is not reported here: every later operation fails.
    explicit Socket(int type);
    // Close, then the counted clean-up of the library.
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // True while the socket has a handle (created and not closed).
    bool HasHandle() const { return handle_.load() != INVALID_SOCKET; }

    // Bounds every later wait of this socket: a connect, a send or a receive that waits
    // longer than milliseconds fails (-1). 0 waits forever (the default). 1; -1 no handle or
    // the platform refused the options.
    int SetTimeout(DWORD milliseconds);
    // connect with an IPv4 address record, within the timeout. 1 connected; -1 failure,
    // time out or no handle.
    int Connect(const sockaddr_in* remote);
    // One send of length bytes. 1 and *sent (optional) = the bytes the platform accepted;
    // -1 failure or no handle (*sent 0).
    int Send(const void* data, DWORD length, DWORD* sent);
    // One recv of at most capacity bytes. 1 and *received (0 when the peer has closed);
    // -1 failure or no handle (*received 0); -4 null received.
    int Receive(void* buffer, DWORD capacity, DWORD* received);
    // shutdown in both directions; the handle stays. 1; -1 no handle or refused.
    int Shutdown();
    // shutdown and closesocket, then no handle. Results of both calls are ignored. 1.
    int Close();

    // Number of live Socket objects that have started the library (for tests).
    static LONG StartupCount();

private:
    int ConnectWithin(SOCKET handle, const sockaddr_in* remote);

    std::atomic<SOCKET> handle_;
    DWORD timeoutMs_ = 0; // owner thread only
};
