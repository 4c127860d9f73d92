#pragma once

#include "proxylist/ListFileReader.h"
#include "proxylist/Result.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ProxyList;
class ProxyValidator;

// Fills the list from list files or the clipboard text, replacing its rows or adding to them. Lines that fail
// the validator are dropped without notice; of rows with equal text only the first, in list order, stays, so in
// a merge an old row keeps its results. A list is read, tested and sorted out in one pass, piece by piece, and
// only the lines that stay are kept.
class ProxyLoader
{
    Q_DECLARE_TR_FUNCTIONS(ProxyLoader)

public:
    ProxyLoader(ProxyList &list, const ProxyValidator &validator) : m_list(list), m_validator(validator) {}

    // A file is one byte per character (a UTF-16 one the UTF-8 of its text; see ListFileReader). In files and
    // clipboard text alike a line ends at CR LF, a lone CR or a lone LF; lines are not trimmed, but a UTF-8
    // byte-order mark at the start of any line is no part of it (lists joined by cat keep each file's). path is a
    // native name (see NativeName). A file that cannot be read, or is larger than the window's cap, leaves the list as
    // it was, even in replace mode.
    Result<> loadFromFile(const QString &path, bool merge);
    // The contents of a list once read.
    void loadFromBytes(QByteArrayView data, bool merge);
    // Clipboard text is taken as its UTF-8 bytes, any character included, so a byte-order mark (U+FEFF) at the
    // start of a line is dropped as in a file. A line that is empty once blanks are trimmed is skipped.
    void loadFromClipboard(QStringView text, bool merge);
    // Each list merged in order, as "Load and merge" loads it; with sources that take streams, "-" is standard
    // input. Each is read up to the cap of its sources, unless one is given. Returns "name: reason" for each list
    // that could not be read: the rows it gave before it failed are taken out again.
    QStringList mergeLists(const QStringList &names, ListFileReader::Sources sources,
                           std::optional<qint64> cap = std::nullopt);

    // A load in two halves, for the window, which reads on a thread of its own: the first reads the list's rows
    // (for a merge) and the file or text, and may run on another thread while nothing changes the list; it returns
    // the second, which puts the rows in, on the list's thread.
    using Commit = std::function<void()>;
    // A file as loadFromFile() reads it, pipes too (see ListFileReader::FilesAndPipes).
    Result<Commit> readFile(const QString &path, bool merge, const ListFileReader::Watch &watch) const;
    // Clipboard text as loadFromClipboard() reads it.
    Commit readClipboard(QStringView text, bool merge) const;

private:
    // Runs a read, handing it where to put each piece.
    using Reader = std::function<Result<>(const ListFileReader::Consumer &)>;
    // Loads what the read hands over; when it fails, the list stays as it was.
    Result<> load(const Reader &read, bool merge);
    Result<Commit> read(const Reader &read, bool merge) const;

    ProxyList &m_list;
    const ProxyValidator &m_validator;
};
