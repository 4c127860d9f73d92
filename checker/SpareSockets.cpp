#include "checker/SpareSockets.h"

#include <sys/socket.h>
#include <unistd.h>

SpareSockets::~SpareSockets()
{
    clear();
}

void SpareSockets::clear()
{
    for (std::vector<int> *kept : {&m_ipv4, &m_ipv6}) {
        for (const int fd : *kept)
            ::close(fd);
        kept->clear();
    }
}

int SpareSockets::take(int family)
{
    std::vector<int> &kept = family == AF_INET6 ? m_ipv6 : m_ipv4;
    if (kept.empty())
        return -1;
    const int fd = kept.back();
    kept.pop_back();
    return fd;
}

bool SpareSockets::keep(int fd, int family)
{
    std::vector<int> &kept = family == AF_INET6 ? m_ipv6 : m_ipv4;
    if (kept.size() >= MostKept || (family != AF_INET && family != AF_INET6))
        return false;
    // Connecting to no address drops the connection under way without a packet, and frees its local port.
    sockaddr none{};
    none.sa_family = AF_UNSPEC;
    if (::connect(fd, &none, sizeof none) != 0)
        return false;
    // Dropping a connection under way leaves ECONNRESET for the socket's next reader: read off here, so that the
    // next probe's connection is not taken for reset.
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return false;
    kept.push_back(fd);
    return true;
}
