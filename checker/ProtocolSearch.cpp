#include "checker/ProtocolSearch.h"

#include <utility>

std::optional<AttemptPolicy::Protocol> ProtocolSearch::next(const Attempt &attempt)
{
    // Refused, unreachable: so would every other connection be.
    if (!attempt.connected)
        return m_held ? concludeWithHeld() : conclude(attempt.verdict, FoundProtocol::None);
    // Only the three protocols a search tries come here: a protocol the program learns later is not guessed at.
    if (m_protocol == Protocol::Socks5) {
        if (attempt.heard != Protocol::Socks5)
            return tryNext(attempt.heard == Protocol::Socks4 ? Protocol::Socks4 : Protocol::Http);
        if (attempt.opened)
            return conclude(attempt.verdict, FoundProtocol::Socks5);
        // A SOCKS 5 server that would not connect may be one that serves SOCKS 4 alone.
        m_held = attempt.verdict;
        m_held->result.found = FoundProtocol::Socks5;
        return tryNext(Protocol::Socks4);
    }
    if (m_protocol == Protocol::Socks4) {
        // A server that answered in SOCKS 5 stays one, unless SOCKS 4 let the probe through.
        const bool heldSocks5 = m_held && m_held->result.found == FoundProtocol::Socks5;
        if (attempt.heard == Protocol::Socks4 && (!heldSocks5 || attempt.verdict.result.status == ProxyStatus::Working))
            return conclude(attempt.verdict, FoundProtocol::Socks4);
        return heldSocks5 || m_triedHttp ? concludeWithHeld() : tryNext(Protocol::Http);
    }
    if (attempt.heard == Protocol::Http || attempt.verdict.result.status == ProxyStatus::Working)
        return conclude(attempt.verdict, FoundProtocol::Http);
    m_held = attempt.verdict;
    return m_triedSocks4 ? concludeWithHeld() : tryNext(Protocol::Socks4);
}

std::optional<AttemptPolicy::Protocol> ProtocolSearch::tryNext(Protocol protocol)
{
    m_protocol = protocol;
    m_triedHttp |= protocol == Protocol::Http;
    m_triedSocks4 |= protocol == Protocol::Socks4;
    return protocol;
}

std::optional<AttemptPolicy::Protocol> ProtocolSearch::conclude(RowVerdict verdict, FoundProtocol found)
{
    m_verdict = std::move(verdict);
    m_verdict.result.found = found;
    return std::nullopt;
}

std::optional<AttemptPolicy::Protocol> ProtocolSearch::concludeWithHeld()
{
    m_verdict = *m_held;
    return std::nullopt;
}
