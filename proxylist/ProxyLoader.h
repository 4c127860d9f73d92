#pragma once

#include "proxylist/Result.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>

class ProxyTableModel;
class ProxyValidator;
class StatusPanels;

// Fills the table from a list file or the clipboard text, replacing its rows or adding to them. Lines that fail
// the validator are dropped without notice; of rows with equal text only the first, in table order, stays, so
// in a merge an old row keeps its test results. A completed load writes the total to the status panels.
class ProxyLoader
{
    Q_DECLARE_TR_FUNCTIONS(ProxyLoader)

public:
    ProxyLoader(ProxyTableModel &table, StatusPanels &panels, const ProxyValidator &validator);

    // A file is one byte per character. In files and clipboard text alike a line ends at CR LF, a lone CR or a
    // lone LF; lines are not trimmed. path is a native name (see NativeName).
    // A file that cannot be read leaves the table and the panels as they were, even in replace mode.
    Result<> loadFromFile(const QString &path, bool merge);
    // The contents of a file once read.
    void loadFromBytes(QByteArrayView data, bool merge);
    // A clipboard line that is empty once blanks are trimmed is skipped, and so is one that a list file cannot
    // hold (a character beyond U+00FF).
    void loadFromClipboard(QStringView text, bool merge);

    // Removes every row whose text equals that of an earlier row, in one pass.
    static void removeDuplicates(ProxyTableModel &table);

private:
    ProxyTableModel &m_table;
    StatusPanels &m_panels;
    const ProxyValidator &m_validator;
};
