// Host and network (big-endian) byte order.
#include <bit>

#include <winsock.h>

namespace {

template <typename T> T toBigEndian(T value) {
    if constexpr (std::endian::native == std::endian::big) {
        return value;
    } else if constexpr (sizeof(T) == 4) {
        return T(__builtin_bswap32(value));
    } else {
        return T(__builtin_bswap16(value));
    }
}

} // namespace

ULONG WSAAPI htonl(ULONG hostlong) {
    return toBigEndian(hostlong);
}

u_short WSAAPI htons(u_short hostshort) {
    return toBigEndian(hostshort);
}

ULONG WSAAPI ntohl(ULONG netlong) {
    return toBigEndian(netlong);
}

u_short WSAAPI ntohs(u_short netshort) {
    return toBigEndian(netshort);
}
