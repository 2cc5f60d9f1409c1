// Socket: the owner of one platform socket handle. Every operation is one platform call with
// its result folded into 1 (success) or -1 (failure, or no handle).
//
// Constructing a Socket starts the platform socket library and destroying it cleans the
// library up again; a process-wide count of the live sockets makes the first start and the
// last clean-up the only real calls. The count is updated under a lock, so sockets may be
// made and destroyed on any thread.
//
// The handle is made by Connect, in the family of the address it is given; a Connect that
// fails closes it again, so the next address can be tried with a fresh one. A secure socket
// is set up between the two, as the platform's secure-socket calls require: the mode, the
// certificate hook, the peer name, and the deferred flag for a tunnel.
//
// Given several addresses, Connect races them as RFC 8305 says: the next address is tried
// kSocketNextAttemptDelayMs after the one before it unless that one has connected (at once
// when one fails), the first to connect is kept and the others are closed. Only the TCP
// connections race; the secure handshake runs on the one kept.
//
// Threads: Shutdown and Close may be called while another thread is blocked in Connect,
// Receive or Send on the same socket; the blocked call then returns (Receive with 0 bytes or
// -1), and a Connect that has not made its handle yet makes none. The handle itself is read
// and replaced atomically. Destroying the object while another thread is still inside one of
// its operations is never allowed.
#pragma once

#include <atomic>

#include <windows.h>
#include <winsock2.h>

#include <sslsock.h>

// RFC 8305's connection attempt delay: how long an address has to connect before the next
// one is tried beside it.
constexpr DWORD kSocketNextAttemptDelayMs = 250;
// The most addresses one Connect tries (and connections it has under way).
constexpr size_t kSocketMaxAddresses = 16;

// One address to connect to.
struct SocketAddress {
    const sockaddr* address;
    int length;
};

// How a secure connection is made: the name the certificate must carry (narrow, the
// platform's form), the hook that decides on the certificate, and whether the handshake
// waits for PerformHandshake (a tunnel through a proxy).
struct SecureSetup {
    LPCSTR peerName;
    SSLVALIDATECERTHOOK hook;
    bool deferred;
};

// MoveToFile's results beside 1 and -1.
constexpr int kSocketMoveUnavailable = 0;  // nothing moved: receive through a buffer
constexpr int kSocketMoveFileFailed = -36; // the file refused the bytes

class Socket {
public:
    // Starts the library (counted). type is the socket type of every handle (SOCK_STREAM).
    explicit Socket(int type);
    // Close, then the counted clean-up of the library.
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // True while the socket has a handle (connecting or connected, not closed).
    bool HasHandle() const { return handle_.load() != INVALID_SOCKET; }

    // Bounds every later wait of this socket: a connect, a handshake, a send or a receive
    // that waits longer than milliseconds fails (-1). 0 waits forever (the default). 1; -1
    // the platform refused the options on the current handle.
    int SetTimeout(DWORD milliseconds);
    // Makes a handle of address's family, sets it up as secure when secure is not null, and
    // connects within the timeout (a secure socket also runs its handshake, unless deferred). 1
    // connected; -1 failure (the handle is closed again; *error, optional, the platform's error
    // code); -4 null address. A socket shut down before or during the call fails (WSAESHUTDOWN).
    int Connect(const sockaddr* address, int length, const SecureSetup* secure, int* error);
    // Connect to the first of count addresses (at most kSocketMaxAddresses are tried) that
    // answers, racing them in the order given; the timeout bounds the whole race. 1 and
    // *winner (optional) the index of the address connected; -1 failure (*error as above:
    // the last failure seen, WSAETIMEDOUT when the time ran out) and *winner the index whose
    // handshake failed, else count; -4 null or no addresses.
    int Connect(const SocketAddress* addresses, size_t count, const SecureSetup* secure,
                size_t* winner, int* error);
    // The deferred handshake of a secure socket. 1; -1 failure (*error as for Connect).
    int PerformHandshake(int* error);
    // One send of length bytes. 1 and *sent (optional) = the bytes the platform accepted;
    // -1 failure or no handle (*sent 0).
    int Send(const void* data, DWORD length, DWORD* sent);
    // One recv of at most capacity bytes. 1 and *received (0 when the peer has closed);
    // -1 failure or no handle (*received 0); -4 null received.
    int Receive(void* buffer, DWORD capacity, DWORD* received);
    // Moves up to capacity received bytes straight into file where the platform can
    // (qb/direct_move.h). 1 and *moved (0 when the peer has closed); kSocketMoveUnavailable:
    // nothing moved, Receive them instead; kSocketMoveFileFailed: the file refused them
    // (*moved reached it); -1 failure or no handle; -4 null moved.
    int MoveToFile(HANDLE file, DWORD capacity, DWORD* moved);
    // shutdown in both directions; the handle stays, and no Connect makes a new one after.
    // 1; -1 no handle or refused.
    int Shutdown();
    // shutdown and closesocket, then no handle. Results of both calls are ignored. 1.
    int Close();

    // Number of live Socket objects that have started the library (for tests).
    static LONG StartupCount();

private:
    struct Race;
    int SetUpSecure(SOCKET handle, const SecureSetup& secure);
    int ApplyTimeout(SOCKET handle);
    int StartAttempt(Race& race, const SocketAddress& address, size_t index,
                     const SecureSetup* secure);
    void EndAttempt(Race& race, size_t slot);
    int WaitForAttempts(Race& race, DWORD waitMs, size_t* connected);
    int Keep(Race& race, size_t slot, bool handshake, int* error);
    // With handleLock_ held: shuts down every attempt under way; true when there was one.
    bool ShutDownAttempts();
    int Fail(int* error);

    int type_;
    std::atomic<SOCKET> handle_;
    std::atomic<bool> shutDown_{false};
    // The connections a Connect has under way, so that Shutdown ends them; made and closed by
    // the connecting thread only, INVALID_SOCKET when free. Changed under handleLock_.
    SOCKET attempts_[kSocketMaxAddresses];
    // Held while the handle or an attempt is published, shut down or closed; never across a
    // connect, send or receive.
    CRITICAL_SECTION handleLock_;
    DWORD timeoutMs_ = 0; // owner thread only
};
