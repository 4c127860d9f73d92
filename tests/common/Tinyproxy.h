#pragma once

#include "tests/common/ServerProcess.h"

// A real tinyproxy of the test's own, with its configuration written into folder. bind: the address it connects out
// from. With user, it asks for these credentials (407 without any, 401 for wrong ones); with connectPorts, it
// tunnels only to these ports (403 for others), else to any.
class Tinyproxy : public ServerProcess
{
public:
    Tinyproxy(const QString &folder, const QHostAddress &listen, const QByteArray &bind, const QByteArray &user = {},
              const QByteArray &password = {}, const QList<quint16> &connectPorts = {});

    const QString &row() const { return m_row; }

private:
    QString m_row; // the table row that points at this proxy
};
