// Table benchmark: one million rows added, counted and sorted by every column.
#include "CellText.h"
#include "ProxyTableModel.h"
#include "StatusPanels.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

void report(const char *what, const QElapsedTimer &timer)
{
    std::printf("%-34s %8.1f ms\n", what, double(timer.nsecsElapsed()) / 1e6);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;

    // The texts are made first, so the table's own cost per row can be told from the texts' cost.
    QStringList texts;
    texts.reserve(rows);
    for (int i = 0; i < rows; ++i)
        texts.append(QStringLiteral("%1.%2.%3.%4:%5")
                         .arg((i * 7) % 256)
                         .arg((i / 256) % 256)
                         .arg((i / 65536) % 256)
                         .arg(i % 250)
                         .arg(1000 + i % 60000));
    const long textsKiB = residentKiB();

    ProxyTableModel table;
    QElapsedTimer timer;
    timer.start();
    table.addRows(texts);
    texts.clear();
    report("add rows", timer);
    const long tableKiB = residentKiB();

    const QString statuses[] = {CellText::Working, CellText::Timeout, CellText::Error, CellText::InvalidResponse};
    for (int r = 1; r <= rows; ++r) {
        table.setSubItem(r, ProxyTableModel::Status, statuses[r % 4]);
        table.setSubItem(r, ProxyTableModel::Anonymity, r % 3 ? CellText::Anonymous : CellText::NotAnonymous);
        table.setSubItem(r, ProxyTableModel::Speed, CellText::NoVerdict);
    }

    StatusPanels panels;
    timer.restart();
    panels.UpdateCounters(table);
    report("UpdateCounters", timer);

    const char *columns[] = {"sort by Proxy", "sort by Anonymity", "sort by Speed", "sort by Status"};
    for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
        timer.restart();
        table.sort(column, Qt::DescendingOrder);
        report(columns[column], timer);
    }

    std::printf("rows %d, working %s, anonymous %s\n", table.count(),
                qPrintable(panels.text(StatusPanels::Working)), qPrintable(panels.text(StatusPanels::Anonymous)));
    std::printf("table memory beyond the texts: %.1f bytes per row\n",
                double(tableKiB - textsKiB) * 1024.0 / double(rows));
    return 0;
}
