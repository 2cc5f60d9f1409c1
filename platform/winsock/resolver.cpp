// IPv4 lookups through getaddrinfo, with the special-use names answered locally.
#include "resolver.h"

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
bool inDomain(const char* name, size_t length, const char* label) {
    const size_t labelLength = std::strlen(label);
    if (length == labelLength) return strncasecmp(name, label, labelLength) == 0;
    if (length < labelLength + 1) return false;
    const char* tail = name + length - labelLength;
    return tail[-1] == '.' && strncasecmp(tail, label, labelLength) == 0;
}

void copyName(const char* from, HostAddresses& out) {
    const size_t length = std::min(std::strlen(from), kMaxHostNameLength);
    std::memcpy(out.name, from, length);
    out.name[length] = '\0';
}

Lookup fromResolverError(int error) {
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

void addAddress(uint32_t address, HostAddresses& out) {
    for (size_t i = 0; i < out.count; ++i) {
        if (out.addresses[i] == address) return;
    }
    if (out.count < kMaxHostAddresses) out.addresses[out.count++] = address;
}

} // namespace

Lookup lookUpIPv4(const char* name, HostAddresses& out) {
    out = HostAddresses{};
    const size_t length = std::strlen(name);
    if (length > kMaxHostNameLength) return Lookup::NotFound;
    const size_t bareLength = length > 0 && name[length - 1] == '.' ? length - 1 : length;
    if (bareLength == 0 || inDomain(name, bareLength, "invalid")) return Lookup::NotFound;
    if (inDomain(name, bareLength, "localhost")) {
        copyName(name, out);
        addAddress(htonl(INADDR_LOOPBACK), out);
        return Lookup::Found;
    }

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* answers = nullptr;
    const int error = ::getaddrinfo(name, nullptr, &hints, &answers);
    if (error != 0) return fromResolverError(error);
    copyName(answers->ai_canonname != nullptr ? answers->ai_canonname : name, out);
    for (const addrinfo* a = answers; a != nullptr; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
        addAddress(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr, out);
    }
    ::freeaddrinfo(answers);
    return out.count > 0 ? Lookup::Found : Lookup::NoData;
}

bool parseDottedIPv4(const char* text, uint32_t& address) {
    in_addr parsed{};
    if (::inet_aton(text, &parsed) == 0) return false;
    address = parsed.s_addr;
    return true;
}

} // namespace qb::winsock
