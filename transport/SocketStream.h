// SocketStream: the Stream over one TCP connection. It adds host-name resolution and the
// connection to an IPv4 address and port to a Socket, and exposes receiving and sending as
// the stream's read and write. Every operation blocks as long as the platform call does,
// within the timeout when one is set.
//
// One stream carries one connection: after Close it cannot connect again, so its owner
// destroys it and makes a new one for the next connection. Used in this order: construct,
// Resolve (unless the address is known), Connect, Send, any number of reads, Close, destroy.
//
// Threads: Shutdown (and Close) may be called from another thread while a Receive, Send, Read
// or Write is blocked on this stream: the blocked call returns at once (a receive with count
// 0 or -1). The stream must not be destroyed until that call has returned; the owner makes
// sure of it (the HTTP client shuts down, waits for the reading thread, then destroys).
#pragma once

#include <windows.h>
#include <winsock.h>

#include "transport/Socket.h"
#include "transport/Stream.h"

class SocketStream final : public Stream {
public:
    // type: SOCK_STREAM. The socket is created at once; a failure shows as -1 from every
    // later operation.
    explicit SocketStream(int type);
    // Close, then the counted clean-up of the socket library.
    ~SocketStream() = default;

    // Resolves host (UTF-16, converted to the default ANSI code page) with gethostbyname.
    // 1 and *entry (the platform's per-thread entry: copy the address out at once);
    // -1 no socket handle or name not found; -4 null entry.
    int Resolve(LPCWSTR host, hostent** entry);
    // Bounds the connect and every wait for bytes (Socket::SetTimeout); 0 waits forever.
    int SetTimeout(DWORD milliseconds);
    // Connects to address:port, both in host byte order (the address's first octet in its
    // top byte). 1 connected; -1 failure, time out or no socket handle.
    int Connect(DWORD address, WORD port);
    // One send of length bytes. 1 and *sent (optional) = the bytes accepted; -1 failure or
    // no socket handle (*sent 0). A partial send is not retried.
    int Send(const void* data, DWORD length, DWORD* sent);
    // One receive of at most capacity bytes. 1 and *received (0 once the peer has closed);
    // -1 failure or no socket handle (*received 0); -4 null received.
    int Receive(void* buffer, DWORD capacity, DWORD* received);
    // Ends the connection in both directions but keeps the handle, so a call blocked on
    // another thread returns and nothing is released under it. 1; -1 no socket handle or
    // refused. Safe from any thread while the stream exists.
    int Shutdown();

    // Name, size and seek are not supported: -1.
    int GetName(LPWSTR buffer, DWORD capacity) override;
    int GetSize(uint64_t* size) override;
    int Seek(const int64_t* offset, uint64_t* position, DWORD origin) override;
    // Receive with capacity *count; *count becomes the bytes received. -4 null count.
    int Read(void* buffer, DWORD* count) override;
    // Send of *count bytes; *count is left as passed in, whatever the platform accepted.
    // -4 null count.
    int Write(const void* data, DWORD* count) override;
    // -4 null record; else the shared accessor record (no check of the connection).
    int GetAccessor(StreamAccessor* record) override;
    // Shuts down and closes the socket (once), clears the remote address. Always 1.
    int Close() override;

    // The address record of the last connect (cleared by Close), for tests.
    const sockaddr_in& Remote() const { return remote_; }

private:
    void ClearRemote();

    Socket socket_;
    sockaddr_in remote_;
};
