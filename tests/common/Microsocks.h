#pragma once

#include "tests/common/ServerProcess.h"

// A real microsocks of the test's own: SOCKS 5 only. bind: the address it connects out from, else the one the
// system picks; with user, it takes only these credentials.
class Microsocks : public ServerProcess
{
public:
    explicit Microsocks(const QHostAddress &listen, const QByteArray &bind = {}, const QByteArray &user = {},
                        const QByteArray &password = {});

    bool ready() const override;

private:
    mutable bool m_ready = false;
};
