#pragma once

#include <cstddef>
#include <vector>

// Sockets whose connection never got past its start (a proxy that never answered, or refused), disconnected and kept
// for the next probe: with thousands of silent proxies a second, making and destroying a socket for each costs the
// system more than the connection attempt itself. A kept socket is as good as a new one: no state of its former
// connection is left on it. Closes what it still holds when it goes.
class SpareSockets
{
public:
    SpareSockets() = default;
    SpareSockets(const SpareSockets &) = delete;
    SpareSockets &operator=(const SpareSockets &) = delete;
    ~SpareSockets();

    // A kept TCP socket of the address family (AF_INET, AF_INET6), or -1 when there is none.
    int take(int family);
    // Disconnects the socket and keeps it; false when it could not be, and the caller closes it.
    bool keep(int fd, int family);
    // Closes every socket kept: a run that ended leaves no descriptor open behind it.
    void clear();

private:
    // Enough for the probes that end in one pass of the event loop; more are closed.
    static constexpr std::size_t MostKept = 4096;

    std::vector<int> m_ipv4;
    std::vector<int> m_ipv6;
};
