#pragma once

#include "checker/AttemptPolicy.h"

// Which of SOCKS 5, SOCKS 4 and HTTP the proxy of a row without a scheme speaks, over as few connections as its
// answers allow, at most three. The first speaks SOCKS 5, with a greeting that proxies of the other protocols answer
// at once: a SOCKS 5 server's choice of method goes on as the probe. Whatever else came tells which protocol the
// next connection tries. A proxy that speaks none of them gets the verdict of its HTTP probe.
class ProtocolSearch final : public AttemptPolicy
{
public:
    std::optional<Protocol> next(const Attempt &attempt) override;
    // The row's verdict, and the protocol found.
    const RowVerdict &verdict() const override { return m_verdict; }
    // What an earlier connection found stands.
    RowVerdict timedOut() const override
    {
        return m_held.value_or(RowVerdict{ProxyResult::failed(ProxyStatus::Timeout)});
    }
    bool greetsAny() const override { return m_protocol == Protocol::Socks5; }

private:
    std::optional<Protocol> tryNext(Protocol protocol);
    std::optional<Protocol> conclude(RowVerdict verdict, FoundProtocol found);
    // The verdict of the HTTP probe, or of a SOCKS 5 proxy that would not connect, that stands unless another
    // protocol does better.
    std::optional<Protocol> concludeWithHeld();

    Protocol m_protocol = Protocol::Socks5;
    bool m_triedHttp = false;
    bool m_triedSocks4 = false;
    std::optional<RowVerdict> m_held;
    RowVerdict m_verdict;
};
