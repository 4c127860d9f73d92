#pragma once

#include "proxylist/ProxyAddress.h"
#include "proxylist/ProxyResult.h"

#include <optional>

// Which of SOCKS 5, SOCKS 4 and HTTP the proxy of a row without a scheme speaks, over as few connections as its
// answers allow, at most three. The first speaks SOCKS 5, with a greeting that proxies of the other protocols answer
// at once: a SOCKS 5 server's choice of method goes on as the probe. Whatever else came tells which protocol the
// next connection tries. A proxy that speaks none of them gets the verdict of its HTTP probe.
class ProtocolSearch
{
public:
    using Protocol = ProxyAddress::Protocol;

    // How one connection went.
    struct Attempt
    {
        ProxyResult verdict;
        // Whether it connected at all: a proxy that cannot be reached is not tried again.
        bool connected = false;
        // Whether the proxy let the probe through to the echo host.
        bool opened = false;
        // The protocol the proxy's answer was written in, if any of these.
        std::optional<Protocol> heard;
    };

    // The protocol of the connection under way.
    Protocol protocol() const { return m_protocol; }
    // The connection under way ended: the protocol the next one speaks, or nothing when verdict() is the row's.
    std::optional<Protocol> next(const Attempt &attempt);
    // The row's verdict, and the protocol found.
    const ProxyResult &verdict() const { return m_verdict; }
    // The row's verdict when its time ran out: what an earlier connection found stands.
    ProxyResult timedOut() const { return m_held.value_or(ProxyResult::failed(ProxyStatus::Timeout)); }

private:
    std::optional<Protocol> tryNext(Protocol protocol);
    std::optional<Protocol> conclude(ProxyResult verdict, FoundProtocol found);
    // The verdict of the HTTP probe, or of a SOCKS 5 proxy that would not connect, that stands unless another
    // protocol does better.
    std::optional<Protocol> concludeWithHeld();

    Protocol m_protocol = Protocol::Socks5;
    bool m_triedHttp = false;
    bool m_triedSocks4 = false;
    std::optional<ProxyResult> m_held;
    ProxyResult m_verdict;
};
