#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// File names and arguments as the system gives them: bytes, usually UTF-8 but not always. A byte that is not part
// of valid UTF-8 is kept as the lone surrogate U+DC80 + (byte - 0x80), so that every name survives the trip
// through QString and opens again, byte for byte.
namespace NativeName {
QString decode(QByteArrayView bytes);
QByteArray encode(QStringView name);
// The name for a message: each byte that was not UTF-8 is written as \xHH.
QString readable(QStringView name);
// The program's arguments, decoded each.
QStringList arguments(int argc, char **argv);
} // namespace NativeName
