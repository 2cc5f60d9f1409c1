// gethostbyname's per-thread host entry, and inet_addr.
#include <cstring>

#include <winsock.h>

#include "platform/winsock/resolver.h"
#include "platform/winsock/socket_core.h"
#include "platform/winsock/wsa_errors.h"

namespace {

using qb::winsock::kMaxHostAddresses;

// One thread's answer: the entry and everything it points into.
struct HostEntryStore {
    qb::winsock::HostAddresses found;
    CHAR* aliases[1] = {nullptr};
    CHAR* addressList[kMaxHostAddresses + 1] = {};
    hostent entry{};
};

thread_local HostEntryStore tStore;

} // namespace

struct hostent* WSAAPI gethostbyname(const char* name) {
    if (!qb::winsock::Initialised()) {
        WSASetLastError(WSANOTINITIALISED);
        return nullptr;
    }
    if (name == nullptr) {
        WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    HostEntryStore& store = tStore;
    const qb::winsock::Lookup lookup = qb::winsock::LookUpIPv4(name, store.found);
    if (lookup != qb::winsock::Lookup::Found) {
        WSASetLastError(qb::winsock::WsaErrorFor(lookup));
        return nullptr;
    }
    for (size_t i = 0; i <= kMaxHostAddresses; ++i) {
        store.addressList[i] =
            i < store.found.count ? reinterpret_cast<CHAR*>(&store.found.addresses[i]) : nullptr;
    }
    store.entry.h_name = store.found.name;
    store.entry.h_aliases = store.aliases;
    store.entry.h_addrtype = AF_INET;
    store.entry.h_length = sizeof(ULONG);
    store.entry.h_addr_list = store.addressList;
    return &store.entry;
}

ULONG WSAAPI inet_addr(const char* cp) {
    ULONG address = 0;
    if (cp == nullptr || !qb::winsock::ParseDottedIPv4(cp, address)) return INADDR_NONE;
    return address;
}
