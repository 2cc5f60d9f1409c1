// Lookups through the system's getaddrinfo, with literals and the special-use names
// answered locally.
#include "platform/winsock/resolver.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace qb::winsock {
namespace {

// True when name (length bytes, any trailing dot removed) is label or ends in "." + label.
bool InDomain(const char* name, size_t length, const char* label) {
    const size_t labelLength = std::strlen(label);
    if (length == labelLength) return strncasecmp(name, label, labelLength) == 0;
    if (length < labelLength + 1) return false;
    const char* tail = name + length - labelLength;
    return tail[-1] == '.' && strncasecmp(tail, label, labelLength) == 0;
}

void CopyName(const char* from, char (&to)[kMaxHostNameLength + 1]) {
    const size_t length = std::min(std::strlen(from), kMaxHostNameLength);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

Lookup FromResolverError(int error) {
    switch (error) {
    case EAI_NONAME:
        return Lookup::NotFound;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return Lookup::NoData;
#endif
    case EAI_AGAIN:
        return Lookup::TryAgain;
    default:
        return Lookup::Failed;
    }
}

// Appends an address unless the list has it or is full.
void AddAddress(int family, const void* bytes, uint32_t scopeId, AddressList& out) {
    FoundAddress found;
    found.family = family;
    std::memcpy(found.bytes, bytes, family == 6 ? 16 : 4);
    found.scopeId = scopeId;
    for (size_t i = 0; i < out.count; ++i) {
        const FoundAddress& a = out.addresses[i];
        if (a.family == family && std::memcmp(a.bytes, found.bytes, 16) == 0) return;
    }
    if (out.count < kMaxFoundAddresses) out.addresses[out.count++] = found;
}

bool Wanted(int family, int asked) {
    return asked == 0 || asked == family;
}

// An address literal: IPv6 text, or IPv4 in the forms inet_aton reads.
bool AddLiteral(const char* name, int family, AddressList& out) {
    in6_addr v6{};
    in_addr v4{};
    if (inet_pton(AF_INET6, name, &v6) == 1) {
        if (Wanted(6, family)) AddAddress(6, &v6, 0, out);
        return true;
    }
    if (inet_aton(name, &v4) != 0) {
        if (Wanted(4, family)) AddAddress(4, &v4, 0, out);
        return true;
    }
    return false;
}

} // namespace

Lookup LookUpAddresses(const char* name, int family, bool numericOnly, AddressList& out) {
    out.count = 0;
    out.name[0] = '\0';
    const size_t length = std::strlen(name);
    if (length > kMaxHostNameLength) return Lookup::NotFound;
    CopyName(name, out.name);
    if (AddLiteral(name, family, out)) return out.count > 0 ? Lookup::Found : Lookup::NoData;
    if (numericOnly) return Lookup::NotFound;
    const size_t bareLength = length > 0 && name[length - 1] == '.' ? length - 1 : length;
    if (bareLength == 0 || InDomain(name, bareLength, "invalid")) return Lookup::NotFound;
    if (InDomain(name, bareLength, "localhost")) {
        const in6_addr loopback6 = IN6ADDR_LOOPBACK_INIT;
        const uint32_t loopback4 = htonl(INADDR_LOOPBACK);
        if (Wanted(6, family)) AddAddress(6, &loopback6, 0, out);
        if (Wanted(4, family)) AddAddress(4, &loopback4, 0, out);
        return Lookup::Found;
    }

    addrinfo hints{};
    hints.ai_family = family == 4 ? AF_INET : family == 6 ? AF_INET6 : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* answers = nullptr;
    const int error = ::getaddrinfo(name, nullptr, &hints, &answers);
    if (error != 0) return FromResolverError(error);
    if (answers->ai_canonname != nullptr) CopyName(answers->ai_canonname, out.name);
    for (const addrinfo* a = answers; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
            AddAddress(4, &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr, 0, out);
        } else if (a->ai_family == AF_INET6 && a->ai_addrlen >= sizeof(sockaddr_in6)) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr);
            AddAddress(6, &v6->sin6_addr, v6->sin6_scope_id, out);
        }
    }
    ::freeaddrinfo(answers);
    return out.count > 0 ? Lookup::Found : Lookup::NoData;
}

Lookup LookUpIPv4(const char* name, HostAddresses& out) {
    out = HostAddresses{};
    AddressList found;
    const Lookup lookup = LookUpAddresses(name, 4, false, found);
    if (lookup != Lookup::Found) return lookup;
    CopyName(found.name, out.name);
    for (size_t i = 0; i < found.count && out.count < kMaxHostAddresses; ++i) {
        std::memcpy(&out.addresses[out.count++], found.addresses[i].bytes, 4);
    }
    return Lookup::Found;
}

bool ParseDottedIPv4(const char* text, uint32_t& address) {
    in_addr parsed{};
    if (::inet_aton(text, &parsed) == 0) return false;
    address = parsed.s_addr;
    return true;
}

} // namespace qb::winsock
