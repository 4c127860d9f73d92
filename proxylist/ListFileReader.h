#pragma once

#include "proxylist/Result.h"

#include <QByteArrayView>
#include <QCoreApplication>

#include <functional>
#include <limits>

// Reads a list piece by piece, checking every step and refusing more bytes than a cap. Names are native names
// (see NativeName), so that a file whose name is not UTF-8 opens too. A list is handed on as its bytes, without a
// UTF-8 byte-order mark; one that starts with a UTF-16 mark (either byte order) is handed on as the UTF-8 of its
// text.
class ListFileReader
{
    Q_DECLARE_TR_FUNCTIONS(ListFileReader)

public:
    // The window's cap: it holds a list's rows in memory beside all it shows.
    static constexpr qint64 WindowCap = qint64(1) << 30;
    static constexpr qint64 NoCap = std::numeric_limits<qint64>::max();

    enum Sources {
        OrdinaryFiles,      // the window's at start-up: a pipe would wait for a writer and a device may never end
        FilesAndPipes,      // the window's loads, read on a thread of their own: a pipe is waited on, with Abort at
                            // hand; a device is refused
        PipesAndDevicesToo, // korvane-cli's: read to their end, as a Unix tool reads them
    };
    // The window's cap for its files; none for the command line, which holds only the rows it keeps.
    static qint64 capOf(Sources sources) { return sources == PipesAndDevicesToo ? NoCap : WindowCap; }

    // Takes each piece in turn, with the size the whole list will have when it is known (an ordinary file), -1
    // when it is not.
    using Consumer = std::function<void(QByteArrayView piece, qint64 expectedSize)>;
    // What a read on a thread of its own is asked as it goes: whether to stop, between pieces and at least every
    // 100 ms while a pipe has nothing to give; and what it tells: the bytes read so far.
    struct Watch
    {
        std::function<bool()> stopped;
        std::function<void(qint64 bytesRead)> progress;
    };

    // A list longer than cap bytes fails once its first cap bytes have been handed on.
    static Result<> read(const QString &name, Sources sources, qint64 cap, const Consumer &consume,
                         const Watch &watch = {});
    static Result<> readStandardInput(qint64 cap, const Consumer &consume);

private:
    // pipe: the descriptor does not block, and is waited on until it has bytes or its writer has gone.
    static Result<> readAll(int fd, qint64 expectedSize, qint64 cap, const Consumer &consume, const Watch &watch,
                            bool pipe);
};
