#include "checker/EchoRotation.h"

#include <numeric>
#include <utility>

namespace {
// So many probes through an echo host fail in a row, their proxies reached, and the host is asked whether it still
// answers.
constexpr size_t SuspectFailures = 20;
} // namespace

EchoRotation::EchoRotation()
{
    setHosts({*EchoHost::parse(EchoHost::Default)});
}

void EchoRotation::setHosts(std::vector<EchoHost> hosts)
{
    m_hosts = std::move(hosts);
    m_records.assign(m_hosts.size(), Record());
    useAll();
}

void EchoRotation::useAll()
{
    std::vector<size_t> all(m_hosts.size());
    std::iota(all.begin(), all.end(), size_t(0));
    setInTurn(std::move(all));
}

void EchoRotation::setInTurn(std::vector<size_t> hosts)
{
    m_inTurn = std::move(hosts);
    m_turn = 0;
    for (Record &record : m_records)
        record = {record.yourAddress, {}, false, false};
}

size_t EchoRotation::next()
{
    Q_ASSERT(!m_inTurn.empty());
    return m_inTurn[m_turn++ % m_inTurn.size()];
}

void EchoRotation::forgetYourAddresses()
{
    for (Record &record : m_records)
        record.yourAddress.reset();
}

EchoRotation::Count EchoRotation::count(size_t host, int row, bool working, bool reachedProxy)
{
    Record &record = m_records[host];
    if (working) {
        record.failedRows.clear();
        return Count::Holds;
    }
    if (!reachedProxy)
        return Count::Holds;
    if (record.dead)
        return Count::HostDead;
    record.failedRows.push_back(row);
    if (record.failedRows.size() >= SuspectFailures && !std::exchange(record.suspected, true))
        return Count::HoldsHostSuspected;
    return Count::Holds;
}

void EchoRotation::answers(size_t host)
{
    Record &record = m_records.at(host);
    record.failedRows.clear();
    record.suspected = false;
}

std::vector<int> EchoRotation::drop(size_t host)
{
    Record &record = m_records.at(host);
    record.dead = true;
    std::erase(m_inTurn, host);
    return std::exchange(record.failedRows, {});
}
