// Table benchmark: one million rows added, counted and sorted by every column; then "Keep working proxies" on a
// million rows, half of them working, with three kinds of selection that the filter must keep; then "Keep selected
// proxies" with the same three selections. Targets, for a million rows: the sort by Proxy (as the first click on its
// header sorts, descending) within 500 ms, "Keep selected proxies" with a block of half the rows selected within
// 300 ms and keeping exactly the selected rows. Exits with 1 when one is missed.
//
//   bench_table [ROWS]
#include "app/ColumnViews.h"
#include "app/ProxyTableModel.h"
#include "bench/BenchStep.h"
#include "bench/SelectionCases.h"
#include "proxylist/ProxyFilter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <malloc.h>

namespace {
constexpr double SortTargetMs = 500;
constexpr double KeepSelectedTargetMs = 300;

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Heap bytes that hold the text itself, header and malloc's rounding included.
size_t textBytes(const QString &text)
{
    QString copy = text; // shares the data; data_ptr() needs a non-const string
    void *block = copy.data_ptr().d_ptr();
    return block ? malloc_usable_size(block) : 0;
}

double report(const char *what, const QElapsedTimer &timer)
{
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("%-34s %8.1f ms\n", what, ms);
    return ms;
}

bool judge(const char *what, double ms, double targetMs, bool right = true)
{
    const bool met = right && ms <= targetMs;
    std::printf("  target: %s within %.0f ms: %s\n", what, targetMs, met ? "met" : "MISSED");
    return met;
}

void filterWithSelection(int rows)
{
    for (int which = 0; which < SelectionCases::CaseCount; ++which) {
        SelectionCases::Shown shown;
        ProxyList &list = shown.list;
        SelectionCases::fill(list, rows);
        QElapsedTimer selecting;
        selecting.start();
        SelectionCases::select(shown.model, SelectionCases::Case(which));
        const double selectMs = double(selecting.nsecsElapsed()) / 1e6;
        const int selectedBefore = SelectionCases::selectedCount(shown.model);
        const QString current = list.text(shown.model.selectionModel()->currentIndex().row());
        {
            const QByteArray name = QByteArray("keep working, selected ") + SelectionCases::names[which];
            BenchStep::Step step(name.constData());
            ProxyFilter::working().apply(list);
        }
        const QModelIndex now = shown.model.selectionModel()->currentIndex();
        std::printf("  rows %d -> %d, selected %d -> %d, current row %s; making the selection took %.1f ms\n", rows,
                    list.count(), selectedBefore, SelectionCases::selectedCount(shown.model),
                    now.isValid() && list.text(now.row()) == current ? "kept" : "LOST", selectMs);
    }
}

// "Keep selected proxies" as the window's command does it, on the model alone. Every selected row stays, and stays
// selected; the rest go.
bool keepSelected(int rows)
{
    bool met = true;
    for (int which = 0; which < SelectionCases::CaseCount; ++which) {
        SelectionCases::Shown shown;
        ProxyList &list = shown.list;
        SelectionCases::fill(list, rows);
        SelectionCases::select(shown.model, SelectionCases::Case(which));
        const int selectedBefore = SelectionCases::selectedCount(shown.model);
        double ms = 0;
        {
            const QByteArray name = QByteArray("keep selected, selected ") + SelectionCases::names[which];
            BenchStep::Step step(name.constData());
            list.keepRows(shown.model.selectedRows());
            ms = step.elapsedMs();
        }
        const bool right =
            list.count() == selectedBefore && SelectionCases::selectedCount(shown.model) == selectedBefore;
        std::printf("  rows %d -> %d, selected %d -> %d%s\n", rows, list.count(), selectedBefore,
                    SelectionCases::selectedCount(shown.model),
                    right ? "" : "  WRONG: the selected rows should stay, still selected");
        if (which == SelectionCases::Block)
            met = judge("keep selected, half the rows selected", ms, KeepSelectedTargetMs, right) && met;
        else
            met = right && met;
    }
    return met;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;

    // The texts are made first, so the list's own cost per row can be told from the texts' cost.
    const size_t heapBefore = heapInUse();
    QStringList texts;
    texts.reserve(rows);
    for (int i = 0; i < rows; ++i)
        texts.append(QStringLiteral("%1.%2.%3.%4:%5")
                         .arg((i * 7) % 256)
                         .arg((i / 256) % 256)
                         .arg((i / 65536) % 256)
                         .arg(i % 250)
                         .arg(1000 + i % 60000));
    size_t ownText = 0;
    for (const QString &text : std::as_const(texts))
        ownText += textBytes(text);

    ProxyList list;
    QElapsedTimer timer;
    timer.start();
    list.addRows(texts);
    report("add rows", timer);

    // Counting from 1, row r is working when r % 4 is 0, and then anonymous unless r % 3 is 0.
    const ProxyStatus failures[] = {ProxyStatus::Timeout, ProxyStatus::Error, ProxyStatus::InvalidResponse};
    for (int row = 0; row < rows; ++row) {
        const int r = row + 1;
        list.apply(row, {r % 4 ? ProxyResult::failed(failures[r % 4 - 1]) : ProxyResult::working(r % 3 != 0)});
    }

    const size_t heapAfter = heapInUse();

    // The status bar's two counters, as the window recounts them after a run.
    timer.restart();
    const qsizetype working = ProxyFilter::working().count(list);
    const qsizetype anonymous = ProxyFilter::anonymous().count(list);
    report("updateCounters", timer);

    bool met = true;
    const char *columns[] = {"sort by Proxy", "sort by Anonymity", "sort by Speed", "sort by Status", "sort by Site"};
    for (int column = 0; column < ProxyList::ColumnCount; ++column) {
        timer.restart();
        list.sort(ProxyList::Column(column), Qt::DescendingOrder, ColumnText::wordRanks(ProxyList::Column(column)));
        const double ms = report(columns[column], timer);
        if (ProxyList::Column(column) == ProxyList::Column::Proxy)
            met = judge("sort by Proxy", ms, SortTargetMs);
    }

    std::printf("rows %d, working %lld, anonymous %lld\n", list.count(), qint64(working), qint64(anonymous));
    std::printf("text of a row: %.1f bytes; table memory beyond the text: %.1f bytes per row\n", double(ownText) / rows,
                double(heapAfter - heapBefore - ownText) / double(rows));
    filterWithSelection(rows);
    met = keepSelected(rows) && met;
    std::printf("targets %s (sort by Proxy within %.0f ms; keep selected, half the rows, within %.0f ms)\n",
                met ? "met" : "MISSED", SortTargetMs, KeepSelectedTargetMs);
    return met ? 0 : 1;
}
