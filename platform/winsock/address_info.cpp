// getaddrinfo and freeaddrinfo: the resolver's answer as a list in the Windows layout.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include <ws2tcpip.h>

#include "platform/winsock/resolver.h"
#include "platform/winsock/wsa_errors.h"

namespace {

// One entry of the list and the address it points at, freed together.
struct Node {
    addrinfo info{};
    union {
        sockaddr_in v4;
        sockaddr_in6 v6;
    } address{};
};

constexpr int kKnownFlags = AI_PASSIVE | AI_CANONNAME | AI_NUMERICHOST;

int Refuse(int error) {
    WSASetLastError(error);
    return error;
}

// A decimal port 0..65535, or none; false for anything else (service names are not read).
bool ParsePort(const char* service, u_short& port) {
    port = 0;
    if (service == nullptr) return true;
    if (*service == '\0') return false;
    unsigned long value = 0;
    for (const char* c = service; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return false;
        value = value * 10 + unsigned(*c - '0');
        if (value > 65535) return false;
    }
    port = htons(u_short(value));
    return true;
}

Node* MakeNode(const qb::winsock::FoundAddress& found, u_short port, const addrinfo& hints) {
    Node* node = new (std::nothrow) Node;
    if (node == nullptr) return nullptr;
    node->info.ai_socktype = hints.ai_socktype;
    node->info.ai_protocol = hints.ai_protocol;
    node->info.ai_addr = reinterpret_cast<sockaddr*>(&node->address);
    if (found.family == 6) {
        node->info.ai_family = AF_INET6;
        node->info.ai_addrlen = sizeof(sockaddr_in6);
        node->address.v6.sin6_family = AF_INET6;
        node->address.v6.sin6_port = port;
        std::memcpy(&node->address.v6.sin6_addr, found.bytes, 16);
        node->address.v6.sin6_scope_id = found.scopeId;
    } else {
        node->info.ai_family = AF_INET;
        node->info.ai_addrlen = sizeof(sockaddr_in);
        node->address.v4.sin_family = AF_INET;
        node->address.v4.sin_port = port;
        std::memcpy(&node->address.v4.sin_addr, found.bytes, 4);
    }
    return node;
}

} // namespace

int WSAAPI getaddrinfo(const char* pNodeName, const char* pServiceName,
                       const struct addrinfo* pHints, struct addrinfo** ppResult) {
    if (!qb::winsock::Started()) return WSANOTINITIALISED;
    if (ppResult == nullptr) return Refuse(WSAEFAULT);
    *ppResult = nullptr;
    addrinfo hints{};
    if (pHints != nullptr) hints = *pHints;
    if ((hints.ai_flags & ~kKnownFlags) != 0) return Refuse(EAI_BADFLAGS);
    if (hints.ai_family != AF_UNSPEC && hints.ai_family != AF_INET && hints.ai_family != AF_INET6)
        return Refuse(EAI_FAMILY);
    if (hints.ai_socktype != 0 && hints.ai_socktype != SOCK_STREAM &&
        hints.ai_socktype != SOCK_DGRAM)
        return Refuse(EAI_SOCKTYPE);
    if (pNodeName == nullptr && pServiceName == nullptr) return Refuse(EAI_NONAME);
    u_short port = 0;
    if (!ParsePort(pServiceName, port)) return Refuse(EAI_SERVICE);

    // No name: the loopback addresses, or the unspecified address to listen on.
    const int family = hints.ai_family == AF_INET ? 4 : hints.ai_family == AF_INET6 ? 6 : 0;
    const bool numeric = (hints.ai_flags & AI_NUMERICHOST) != 0;
    static thread_local qb::winsock::AddressList found;
    qb::winsock::Lookup lookup;
    if (pNodeName == nullptr && (hints.ai_flags & AI_PASSIVE) != 0) {
        lookup = qb::winsock::LookUpAddresses(family == 4 ? "0.0.0.0" : "::", family, true, found);
    } else {
        lookup = qb::winsock::LookUpAddresses(pNodeName != nullptr ? pNodeName : "localhost",
                                              family, numeric, found);
    }
    if (lookup != qb::winsock::Lookup::Found) {
        const bool none =
            lookup == qb::winsock::Lookup::NotFound || lookup == qb::winsock::Lookup::NoData;
        return Refuse(none ? EAI_NONAME : qb::winsock::WsaErrorFor(lookup));
    }

    addrinfo* head = nullptr;
    addrinfo** tail = &head;
    for (size_t i = 0; i < found.count; ++i) {
        Node* node = MakeNode(found.addresses[i], port, hints);
        if (node == nullptr) {
            freeaddrinfo(head);
            return Refuse(EAI_MEMORY);
        }
        *tail = &node->info;
        tail = &node->info.ai_next;
    }
    if ((hints.ai_flags & AI_CANONNAME) != 0) {
        head->ai_canonname = strdup(found.name);
        if (head->ai_canonname == nullptr) {
            freeaddrinfo(head);
            return Refuse(EAI_MEMORY);
        }
    }
    *ppResult = head;
    return 0;
}

void WSAAPI freeaddrinfo(struct addrinfo* pAddrInfo) {
    while (pAddrInfo != nullptr) {
        addrinfo* next = pAddrInfo->ai_next;
        std::free(pAddrInfo->ai_canonname);
        delete reinterpret_cast<Node*>(pAddrInfo); // info is the node's first member
        pAddrInfo = next;
    }
}
