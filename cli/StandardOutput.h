#pragma once

#include <QByteArrayView>
#include <QString>

// Writes everything to standard output; on failure (a full disk, a closed reader) returns the reason.
QString writeToStandardOutput(QByteArrayView data);
