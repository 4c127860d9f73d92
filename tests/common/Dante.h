#pragma once

#include "tests/common/ServerProcess.h"

// A real dante-server (danted) of the test's own: SOCKS 4 and SOCKS 5 without authentication, to loopback
// destinations only, with its configuration and pid file written into folder. external: the address it connects
// out from. It runs as an ordinary user too; as root it drops to nobody.
class Dante : public ServerProcess
{
public:
    Dante(const QString &folder, const QHostAddress &listen, const QByteArray &external);
};
