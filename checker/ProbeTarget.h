#pragma once

#include <QString>

#include <optional>

// Where a probe's tunnel leads: a host by its name and, when it is known, its IPv4 address, and a port. A SOCKS 4
// proxy needs the address; without one it is asked to look the name up (SOCKS 4a).
struct ProbeTarget
{
    QString name;
    // In host order: the name's own when it is a dotted address, else one a look-up found.
    std::optional<quint32> address = std::nullopt;
    // Whether the name itself is a dotted IPv4 address: a SOCKS 5 proxy is then asked by address, else by name.
    bool nameIsAddress = false;
    quint16 port = 80;
};
