#pragma once

#include "proxylist/ListFileReader.h"
#include "proxylist/Result.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>

class ProxyTableModel;
class ProxyValidator;

// Fills the table from list files or the clipboard text, replacing its rows or adding to them. Lines that fail
// the validator are dropped without notice; of rows with equal text only the first, in table order, stays, so in
// a merge an old row keeps its results. A list is read, tested and sorted out in one pass, piece by piece, and
// only the lines that stay are kept.
class ProxyLoader
{
    Q_DECLARE_TR_FUNCTIONS(ProxyLoader)

public:
    ProxyLoader(ProxyTableModel &table, const ProxyValidator &validator) : m_table(table), m_validator(validator) {}

    // A file is one byte per character. In files and clipboard text alike a line ends at CR LF, a lone CR or a
    // lone LF; lines are not trimmed. path is a native name (see NativeName).
    // A file that cannot be read leaves the table as it was, even in replace mode.
    Result<> loadFromFile(const QString &path, bool merge);
    // The contents of a list once read.
    void loadFromBytes(QByteArrayView data, bool merge);
    // A clipboard line that is empty once blanks are trimmed is skipped, and so is one that a list file cannot
    // hold (a character beyond U+00FF).
    void loadFromClipboard(QStringView text, bool merge);
    // Each list merged in order, as "Load and merge" loads it; with sources that take streams, "-" is standard
    // input. Returns "name: reason" for each list that could not be read.
    QStringList mergeLists(const QStringList &names, ListFileReader::Sources sources);

private:
    // Runs a read, handing it where to put each piece.
    using Reader = std::function<Result<>(const ListFileReader::Consumer &)>;
    // Loads what the read hands over; when it fails, the table stays as it was.
    Result<> load(const Reader &read, bool merge);

    ProxyTableModel &m_table;
    const ProxyValidator &m_validator;
};
