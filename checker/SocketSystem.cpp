#include "checker/SocketSystem.h"

#include <QHostAddress>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>

namespace SocketSystem {

socklen_t socketAddress(const QHostAddress &address, quint16 port, sockaddr_storage &to)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6.sin6_addr, bytes.c, sizeof in6.sin6_addr);
        std::memcpy(&to, &in6, sizeof in6);
        return sizeof in6;
    }
    sockaddr_in in{};
    in.sin_family = address.protocol() == QAbstractSocket::IPv4Protocol ? AF_INET : AF_UNSPEC;
    in.sin_port = htons(port);
    in.sin_addr.s_addr = htonl(address.toIPv4Address());
    std::memcpy(&to, &in, sizeof in);
    return sizeof in;
}

bool isLocalShortage(int error)
{
    // EADDRNOTAVAIL: a connect() found no local port left.
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM || error == EADDRNOTAVAIL;
}

std::optional<rlimit> raiseOpenFileLimit(rlim_t wanted)
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::nullopt;
    if (limit.rlim_cur < wanted && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min(wanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit;
}

} // namespace SocketSystem
