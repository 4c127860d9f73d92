#pragma once

#include "proxylist/Result.h"

#include <QByteArray>
#include <QCoreApplication>

// Reads a list whole, checking every step and refusing more than MaxSize bytes. Names are native names (see
// NativeName), so that a file whose name is not UTF-8 opens too.
class ListFileReader
{
    Q_DECLARE_TR_FUNCTIONS(ListFileReader)

public:
    // Reading a whole list at once is what makes a load fast; past this size it would only exhaust the memory.
    static constexpr qint64 MaxSize = qint64(1) << 30;

    enum Sources {
        OrdinaryFiles,      // a pipe would wait for a writer and a device may never end: both refused unopened
        PipesAndDevicesToo, // read to their end, as a Unix tool reads them
    };

    static Result<QByteArray> read(const QString &name, Sources sources = OrdinaryFiles);
    static Result<QByteArray> readStandardInput();

private:
    static Result<QByteArray> readAll(int fd, qint64 expectedSize);
    static Failure failure(int error);
};
