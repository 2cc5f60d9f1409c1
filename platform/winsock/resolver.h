// Name resolution for gethostbyname, getaddrinfo and inet_addr, in plain types (see
// socket_core.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qb::winsock {

inline constexpr size_t kMaxHostNameLength = 255; // the longest name DNS can carry
inline constexpr size_t kMaxHostAddresses = 16;   // gethostbyname's answer
inline constexpr size_t kMaxFoundAddresses = 32;  // getaddrinfo's answer

enum class Lookup { Found, NotFound, NoData, TryAgain, Failed };

struct HostAddresses {
    char name[kMaxHostNameLength + 1] = {};     // the canonical name, else the name asked for
    uint32_t addresses[kMaxHostAddresses] = {}; // network byte order, first answer first
    size_t count = 0;
};

struct FoundAddress {
    int family = 4;         // 4 or 6
    uint8_t bytes[16] = {}; // network byte order; 4 bytes for family 4
    uint32_t scopeId = 0;   // of an IPv6 link-local address
};

struct AddressList {
    char name[kMaxHostNameLength + 1] = {}; // the canonical name, else the name asked for
    FoundAddress addresses[kMaxFoundAddresses];
    size_t count = 0;
};

// The addresses of name in the resolver's order, no address twice; family 0 (both), 4 or
// 6. Address literals are answered here (numericOnly: nothing else is); "localhost" and
// the names under it are ::1 and 127.0.0.1, and names under "invalid" exist nowhere:
// neither is handed to a resolver.
Lookup LookUpAddresses(const char* name, int family, bool numericOnly, AddressList& out);

// gethostbyname's question: the IPv4 addresses of name.
Lookup LookUpIPv4(const char* name, HostAddresses& out);

// "a.b.c.d" and its shorter forms, as inet_aton reads them; address in network byte order.
bool ParseDottedIPv4(const char* text, uint32_t& address);

} // namespace qb::winsock
