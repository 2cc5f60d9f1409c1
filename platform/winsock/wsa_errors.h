// The WSA error codes for what the BSD-socket side reports, and the Winsock results the
// Windows-side files return.
#pragma once

#include "platform/winsock/resolver.h"
#include "platform/winsock/socket_core.h"

namespace qb::winsock {

// An errno value, or one of the layer's own codes (socket_core.h), as a WSA code.
int WsaErrorFor(int error);
int WsaErrorFor(Lookup lookup);

// Sets the calling thread's last error; returns SOCKET_ERROR.
int Fail(int wsaError);
// The outcome as a Winsock result: its value, or SOCKET_ERROR with the last error set.
int Finish(const Outcome& outcome);
// Calls that need the library fail first for that, as on Windows (WSANOTINITIALISED).
bool Started();

} // namespace qb::winsock
