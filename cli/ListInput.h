#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class ProxyTableModel;
class StatusPanels;

// Reads proxy lists into the table one after the other, as "Load and merge" does: the loader's line rules, and of
// equal lines only the first stays.
class ListInput
{
    Q_DECLARE_TR_FUNCTIONS(ListInput)

public:
    ListInput(ProxyTableModel &table, StatusPanels &panels) : m_table(table), m_panels(panels) {}

    // "-", or no file at all, is standard input. Pipes and devices are read to their end, as a Unix tool reads
    // them. Stops at the first list that cannot be read and returns what to tell the user.
    QString readAll(const QStringList &files);
    static bool readsStandardInput(const QStringList &files);

private:
    ProxyTableModel &m_table;
    StatusPanels &m_panels;
};
