#pragma once

#include <QString>

// The words the result cells hold. Compared exactly and case-sensitively wherever they are read.
namespace CellText {
inline const QString Untested;
inline const QString Checking = QStringLiteral("Checking...");
inline const QString Working = QStringLiteral("Working");
inline const QString InvalidResponse = QStringLiteral("Invalid Response");
inline const QString Error = QStringLiteral("Error");
inline const QString Timeout = QStringLiteral("Timeout");
inline const QString Anonymous = QStringLiteral("Y");
inline const QString NotAnonymous = QStringLiteral("N");
inline const QString NoVerdict = QStringLiteral("-");

// A Status that a run's probe wrote, as against one not yet tested or under way.
inline bool isVerdict(const QString &status)
{
    return status == Working || status == InvalidResponse || status == Error || status == Timeout;
}
} // namespace CellText
