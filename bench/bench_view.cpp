// The table in a real view on the offscreen platform, set up as the window sets it up.
//
//   bench_view filter [ROWS]    "Keep working proxies" on a shown view of a million rows (default), half of them
//                               working, with three kinds of selection; a repaint before, the filter with the
//                               events it posts, a repaint after
//   bench_view longrow [MB]     repaints of a view whose first row is a proxy followed by MB million characters
//                               (200 by default); for comparison, the same view showing a 4 MB row whole
#include "bench/BenchStep.h"
#include "bench/SelectionCases.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyTableModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
// Shows every cell whole: the view as it was before long cells were cut, to compare against.
class WholeText : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *table = static_cast<const ProxyTableModel *>(sourceModel());
        if (role == Qt::DisplayRole && index.column() == ProxyTableModel::ProxyColumn)
            return table->text(index.row());
        return QIdentityProxyModel::data(index, role);
    }
};

std::unique_ptr<QTreeView> makeView(QAbstractItemModel *model, QItemSelectionModel *selection)
{
    auto view = std::make_unique<QTreeView>();
    view->resize(513, 521);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setModel(model);
    if (selection) {
        QItemSelectionModel *own = view->selectionModel();
        view->setSelectionModel(selection);
        delete own;
    }
    const int widths[ProxyTableModel::ColumnCount] = {200, 96, 96, 96};
    for (int column = 0; column < ProxyTableModel::ColumnCount; ++column)
        view->header()->resizeSection(column, widths[column]);
    view->show();
    QApplication::processEvents();
    return view;
}

double repaintMs(QTreeView &view)
{
    QElapsedTimer timer;
    timer.start();
    view.viewport()->repaint();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The median of five repaints, and the slowest of them.
void reportRepaints(const char *what, QTreeView &view)
{
    std::vector<double> ms(5);
    for (double &one : ms)
        one = repaintMs(view);
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %8.2f ms   slowest %8.2f ms\n", what, ms[2], ms.back());
    std::fflush(stdout);
}

int filter(int rows)
{
    for (int which = 0; which < SelectionCases::CaseCount; ++which) {
        ProxyTableModel table;
        SelectionCases::fill(table, rows);
        const std::unique_ptr<QTreeView> view = makeView(&table, table.selectionModel());
        SelectionCases::select(table, SelectionCases::Case(which));
        view->scrollTo(table.selectionModel()->currentIndex(), QAbstractItemView::PositionAtTop);
        QApplication::processEvents();
        const int selectedBefore = SelectionCases::selectedCount(table);
        std::printf("%s\n  repaint before the filter %.1f ms\n", SelectionCases::names[which], repaintMs(*view));
        {
            BenchStep::Step step("  keep working (view attached)");
            ProxyFilter::working().apply(table);
            QApplication::processEvents();
        }
        std::printf("  repaint after the filter %.1f ms\n", repaintMs(*view));
        // Row numbers as the user counts them, from 1.
        std::printf("  rows %d -> %d, selected %d -> %d, current row %d, top row %d\n", rows, table.count(),
                    selectedBefore, SelectionCases::selectedCount(table),
                    table.selectionModel()->currentIndex().row() + 1, view->indexAt(QPoint(1, 1)).row() + 1);
    }
    return 0;
}

int longRow(int megabytes)
{
    ProxyTableModel table;
    table.addRows({QStringLiteral("1.2.3.4:80:") + QString(qsizetype(megabytes) << 20, u'x')});
    for (int i = 0; i < 100; ++i)
        table.addRows({QStringLiteral("10.0.0.%1:8080").arg(i)});
    table.selectionModel()->select(table.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    std::printf("first row: %lld characters\n", qint64(table.text(0).size()));
    {
        const std::unique_ptr<QTreeView> view = makeView(&table, table.selectionModel());
        const QByteArray name = "repaint, " + QByteArray::number(megabytes) + " MB row, cut";
        reportRepaints(name.constData(), *view);
    }

    ProxyTableModel small;
    small.addRows({QStringLiteral("1.2.3.4:80:") + QString(4 << 20, u'x')});
    WholeText whole;
    whole.setSourceModel(&small);
    const std::unique_ptr<QTreeView> view = makeView(&whole, nullptr);
    reportRepaints("repaint, 4 MB row shown whole (before)", *view);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("filter"))
        return filter(args.size() > 1 ? args[1].toInt() : 1000000);
    if (args.value(0) == QLatin1String("longrow"))
        return longRow(args.size() > 1 ? args[1].toInt() : 200);
    std::fprintf(stderr, "usage: bench_view filter [ROWS] | longrow [MB]\n");
    return 2;
}
