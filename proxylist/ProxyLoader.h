#pragma once

#include "proxylist/ListFileReader.h"
#include "proxylist/Result.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

class ProxyTableModel;
class ProxyValidator;

// Fills the table from list files or the clipboard text, replacing its rows or adding to them. Lines that fail
// the validator are dropped without notice; of rows with equal text only the first, in table order, stays, so in
// a merge an old row keeps its results.
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

    // Removes every row whose text equals that of an earlier row, in one pass.
    static void removeDuplicates(ProxyTableModel &table);

private:
    ProxyTableModel &m_table;
    const ProxyValidator &m_validator;
};
