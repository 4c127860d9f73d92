#pragma once

#include "proxylist/ProxyAddress.h"
#include "proxylist/RowVerdict.h"

#include <optional>

// What a row's probe does once a connection of it has ended: another connection, in which protocol, or the row's
// verdict.
class AttemptPolicy
{
public:
    using Protocol = ProxyAddress::Protocol;

    // How one connection went.
    struct Attempt
    {
        RowVerdict verdict;
        // Whether it connected at all: a proxy that cannot be reached is not tried again.
        bool connected = false;
        // Whether the proxy let the probe through.
        bool opened = false;
        // The protocol the proxy's answer was written in, if one a probe speaks.
        std::optional<Protocol> heard;
    };

    virtual ~AttemptPolicy() = default;

    // The connection under way ended: the protocol the next one speaks, or nothing when verdict() is the row's.
    virtual std::optional<Protocol> next(const Attempt &attempt) = 0;
    virtual const RowVerdict &verdict() const = 0;
    // The row's verdict when its time ran out.
    virtual RowVerdict timedOut() const = 0;
    // Whether the connection under way opens with a greeting every kind of proxy answers at once.
    virtual bool greetsAny() const { return false; }
};
