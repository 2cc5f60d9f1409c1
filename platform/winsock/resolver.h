// IPv4 name resolution for gethostbyname and inet_addr, in plain types (see socket_core.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qb::winsock {

inline constexpr size_t kMaxHostNameLength = 255; // the longest name DNS can carry
inline constexpr size_t kMaxHostAddresses = 16;

enum class Lookup { Found, NotFound, NoData, TryAgain, Failed };

struct HostAddresses {
    char name[kMaxHostNameLength + 1] = {};     // the canonical name, else the name asked for
    uint32_t addresses[kMaxHostAddresses] = {}; // network byte order, first answer first
    size_t count = 0;
};

// "localhost" and the names under it are the loopback address and names under "invalid"
// exist nowhere: neither is handed to a resolver.
Lookup lookUpIPv4(const char* name, HostAddresses& out);

// "a.b.c.d" and its shorter forms, as inet_aton reads them; address in network byte order.
bool parseDottedIPv4(const char* text, uint32_t& address);

} // namespace qb::winsock
