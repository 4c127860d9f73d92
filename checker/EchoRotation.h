#pragma once

#include "checker/EchoHost.h"

#include <QHostAddress>

#include <optional>
#include <vector>

// The echo hosts of a run, taking the probes in turn, and how each has done: the address it saw of you, the rows
// whose probes through it failed since its last working one, whether it is suspected of no longer answering, or dead.
class EchoRotation
{
public:
    // What a verdict counted against its host means.
    enum class Count {
        Holds,
        // It holds, and the host's failures are now so many that it may have stopped answering: ask it directly.
        HoldsHostSuspected,
        // The host was found dead: the row is untested again instead.
        HostDead,
    };

    // The default host alone unless told otherwise.
    EchoRotation();

    std::vector<EchoHost> &hosts() { return m_hosts; }
    const std::vector<EchoHost> &hosts() const { return m_hosts; }
    void setHosts(std::vector<EchoHost> hosts);
    // The hosts that take the probes in turn, one probe each, by their place in hosts(); all of them unless told
    // otherwise. Every host's failures are forgotten.
    void setInTurn(std::vector<size_t> hosts);
    void useAll();
    const std::vector<size_t> &inTurn() const { return m_inTurn; }
    // The host the next probe asks, by its place; there must be one in turn.
    size_t next();

    // The address a host showed when asked directly: the user's own as that host sees it, which a proxy must hide
    // from it. Hosts not asked have none: a proxy is then anonymous when its page shows the proxy's own address.
    const std::optional<QHostAddress> &yourAddress(size_t host) const { return m_records.at(host).yourAddress; }
    void setYourAddress(size_t host, const QHostAddress &address) { m_records.at(host).yourAddress = address; }
    void forgetYourAddresses();

    // A probe through the host ended in this verdict; reachedProxy: whether its connection was made, since a
    // proxy that could not be reached tells nothing of the echo host behind it.
    Count count(size_t host, int row, bool working, bool reachedProxy);
    // Asked directly, the suspected host still answers.
    void answers(size_t host);
    // It does not: it takes no more probes, and every row it failed since it last gave a page is returned.
    std::vector<int> drop(size_t host);

private:
    struct Record
    {
        std::optional<QHostAddress> yourAddress;
        std::vector<int> failedRows;
        bool suspected = false;
        bool dead = false;
    };

    std::vector<EchoHost> m_hosts;
    std::vector<Record> m_records;
    std::vector<size_t> m_inTurn;
    size_t m_turn = 0;
};
