#pragma once

#include "checker/EchoKey.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The keys the judge signs pages with, one per checker that asks, held nowhere: a key's id is its expiry time and
// random bytes, its secret the HMAC of the id under a master secret drawn when the judge starts. However many
// checkers ask, the judge's memory holds that one secret, and a restart ends every key at once.
class JudgeKeys
{
public:
    // A checker takes a key from the direct answer when its run starts: a day outlasts a run of any list, and is as
    // long as a key read off that unencrypted exchange could serve someone else.
    static constexpr qint64 LifetimeSeconds = qint64(24) * 60 * 60;

    JudgeKeys();

    // A new key, valid LifetimeSeconds from now (seconds since the epoch).
    EchoKey fresh(qint64 now) const;
    // The key with the id, when this judge made it and it has not expired; nothing for any other id.
    std::optional<EchoKey> find(QByteArrayView id, qint64 now) const;

private:
    QByteArray secretOf(QByteArrayView id) const;

    QByteArray m_master;
};
