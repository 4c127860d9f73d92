#pragma once

#include "proxylist/ProxyResult.h"

#include <QByteArray>
#include <QString>

// One verdict as the history of checks keeps it: the row's bytes, when it was judged, and what the check found.
struct CheckRecord
{
    QByteArray text;
    // Milliseconds since the epoch, UTC.
    qint64 at = 0;
    ProxyResult result;
    // Empty for none, as each of the texts below.
    QString exitAddress = {};
    QString echoHost = {};
    // The site's verdict in the program's words ("Site OK"), when the site was asked.
    QString site = {};
    QString country = {};
};
