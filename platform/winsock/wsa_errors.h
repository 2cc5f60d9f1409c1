// The WSA error codes for what the BSD-socket side reports.
#pragma once

#include "resolver.h"

namespace qb::winsock {

// An errno value, or one of the layer's own codes (socket_core.h), as a WSA code.
int wsaErrorFor(int error);
int wsaErrorFor(Lookup lookup);

} // namespace qb::winsock
