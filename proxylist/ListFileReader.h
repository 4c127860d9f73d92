#pragma once

#include "proxylist/Result.h"

#include <QByteArrayView>
#include <QCoreApplication>

#include <functional>

// Reads a list piece by piece, checking every step and refusing more than MaxSize bytes. Names are native names
// (see NativeName), so that a file whose name is not UTF-8 opens too.
class ListFileReader
{
    Q_DECLARE_TR_FUNCTIONS(ListFileReader)

public:
    // Past this size a list would only exhaust the memory.
    static constexpr qint64 MaxSize = qint64(1) << 30;

    enum Sources {
        OrdinaryFiles,      // a pipe would wait for a writer and a device may never end: both refused unopened
        PipesAndDevicesToo, // read to their end, as a Unix tool reads them
    };
    // Takes each piece in turn, with the size the whole list will have when it is known (an ordinary file), -1
    // when it is not.
    using Consumer = std::function<void(QByteArrayView piece, qint64 expectedSize)>;

    static Result<> read(const QString &name, Sources sources, const Consumer &consume);
    static Result<> readStandardInput(const Consumer &consume);

private:
    static Result<> readAll(int fd, qint64 expectedSize, const Consumer &consume);
};
