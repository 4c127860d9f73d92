// The table in a real view on the offscreen platform, set up as the window sets it up, and the window itself.
//
//   bench_view filter [ROWS]    "Keep working proxies" on a shown view of a million rows (default), half of them
//                               working, with three kinds of selection; a repaint before, the filter with the
//                               events it posts, a repaint after. Then "Keep selected proxies" with a block of
//                               half the rows selected, the view attached (target: within 300 ms)
//   bench_view longrow [MB]     repaints of a view whose first row is a proxy followed by MB million characters
//                               (200 by default); for comparison, the same view showing a 4 MB row whole
//   bench_view load FILE [CPU] [--no-country]
//                               the whole window, shown: "Load and replace current list" of FILE (a pipe too), the
//                               open-file dialog answering with it, until the view has laid out and painted the
//                               rows; then, unless --no-country, the countries counted and a sort by them. Targets:
//                               at most CPU seconds of CPU time (every thread of the process; 0.5 by default, none
//                               when 0), at most 100 MB resident once the rows are in (everything the process
//                               holds; only with a CPU target), and at most 50 ms between two passes of the
//                               window's event loop while the list is read, and as it goes in
//
// Each exits with 1 when a target is missed.
#include "app/ColumnViews.h"
#include "app/ListJob.h"
#include "app/MainWindow.h"
#include "app/ProxyTableModel.h"
#include "app/ProxyView.h"
#include "bench/BenchDesktop.h"
#include "bench/BenchStep.h"
#include "bench/ProcessFigures.h"
#include "bench/SelectionCases.h"
#include "proxylist/ProxyFilter.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QScrollBar>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
constexpr double KeepSelectedTargetMs = 300;
constexpr double LoadCpuTargetSeconds = 0.5;
constexpr qint64 LoadResidentTargetBytes = 100'000'000;
constexpr double LoadGapTargetMs = 50;
// How often the event loop is asked for a pass while a load runs; what a pass comes later than this is a gap.
constexpr int TickMs = 5;

double megabytes(qint64 kib)
{
    return double(kib) * 1024 / 1e6;
}

// Shows every cell whole: the view as it was before long cells were cut, to compare against.
class WholeText : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *table = static_cast<const ProxyTableModel *>(sourceModel());
        if (role == Qt::DisplayRole && ProxyList::Column(index.column()) == ProxyList::Column::Proxy)
            return QString(table->list().text(index.row()));
        return QIdentityProxyModel::data(index, role);
    }
};

std::unique_ptr<ProxyView> makeView(QAbstractItemModel *model, QItemSelectionModel *selection)
{
    auto view = std::make_unique<ProxyView>();
    view->resize(513, 521);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setModel(model);
    if (selection) {
        QItemSelectionModel *own = view->selectionModel();
        view->setSelectionModel(selection);
        delete own;
    }
    for (const ColumnView &column : ColumnViews)
        view->header()->resizeSection(int(column.column), column.width);
    view->show();
    QApplication::processEvents();
    return view;
}

double repaintMs(ProxyView &view)
{
    QElapsedTimer timer;
    timer.start();
    view.viewport()->repaint();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The median of five repaints, and the slowest of them.
void reportRepaints(const char *what, ProxyView &view)
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
        SelectionCases::Shown shown;
        ProxyList &table = shown.list;
        SelectionCases::fill(table, rows);
        const std::unique_ptr<ProxyView> view = makeView(&shown.model, shown.model.selectionModel());
        SelectionCases::select(shown.model, SelectionCases::Case(which));
        view->scrollTo(shown.model.selectionModel()->currentIndex(), QAbstractItemView::PositionAtTop);
        QApplication::processEvents();
        const int selectedBefore = SelectionCases::selectedCount(shown.model);
        std::printf("%s\n  repaint before the filter %.1f ms\n", SelectionCases::names[which], repaintMs(*view));
        {
            BenchStep::Step step("  keep working (view attached)");
            ProxyFilter::working().apply(table);
            QApplication::processEvents();
        }
        std::printf("  repaint after the filter %.1f ms\n", repaintMs(*view));
        // Row numbers as the user counts them, from 1.
        std::printf("  rows %d -> %d, selected %d -> %d, current row %d, top row %d\n", rows, table.count(),
                    selectedBefore, SelectionCases::selectedCount(shown.model),
                    shown.model.selectionModel()->currentIndex().row() + 1, view->indexAt(QPoint(1, 1)).row() + 1);
    }

    SelectionCases::Shown shown;
    ProxyList &table = shown.list;
    SelectionCases::fill(table, rows);
    const std::unique_ptr<ProxyView> view = makeView(&shown.model, shown.model.selectionModel());
    SelectionCases::select(shown.model, SelectionCases::Block);
    view->scrollTo(shown.model.selectionModel()->currentIndex(), QAbstractItemView::PositionAtTop);
    QApplication::processEvents();
    const int selectedBefore = SelectionCases::selectedCount(shown.model);
    std::printf("%s\n", SelectionCases::names[SelectionCases::Block]);
    double ms = 0;
    {
        BenchStep::Step step("  keep selected (view attached)");
        table.keepRows(shown.model.selectedRows());
        QApplication::processEvents();
        ms = step.elapsedMs();
    }
    const bool right = table.count() == selectedBefore && SelectionCases::selectedCount(shown.model) == selectedBefore;
    std::printf("  rows %d -> %d, selected %d -> %d%s\n", rows, table.count(), selectedBefore,
                SelectionCases::selectedCount(shown.model),
                right ? "" : "  WRONG: the selected rows should stay, selected");
    const bool met = right && ms <= KeepSelectedTargetMs;
    std::printf("target %s (keep selected, half the rows selected, within %.0f ms)\n", met ? "met" : "MISSED",
                KeepSelectedTargetMs);
    return met ? 0 : 1;
}

// Runs what the event loop has waiting, a few rounds, since handling one event can post the next: the window
// exposed, the view's delayed layout, the paint it asks for.
void settle()
{
    for (int round = 0; round < 3; ++round) {
        QApplication::processEvents();
        QApplication::sendPostedEvents();
    }
}

// The whole list's countries, as the filter by country counts them (the first time each row's is looked up, the
// second from beside the row), then a sort by the Country column.
void countryPasses(MainWindow &window)
{
    for (const char *pass : {"first", "again"}) {
        const double cpuBefore = ProcessFigures::cpuSeconds();
        const qsizetype countries = window.list().countryCounts().size();
        std::printf("countries      %lld, counted over every row (%s) in %.3f s CPU\n",
                    static_cast<long long>(countries), pass, ProcessFigures::cpuSeconds() - cpuBefore);
    }
    const double cpuBefore = ProcessFigures::cpuSeconds();
    window.model().sort(int(ListColumn::Country), Qt::AscendingOrder);
    std::printf("sort           by Country in %.3f s CPU; resident now %.1f MB\n",
                ProcessFigures::cpuSeconds() - cpuBefore, megabytes(ProcessFigures::residentKb()));
}

// Until the window's load under way has ended.
void waitForLoad(MainWindow &window)
{
    QEventLoop loop;
    QObject::connect(&window.listJob(), &ListJob::finished, &loop, &QEventLoop::quit);
    if (window.listJob().isRunning())
        loop.exec();
}

// path loaded by "Load and replace", or by "Load and merge" into the rows of the file into, loaded first.
int load(const QString &path, double cpuTarget, bool withCountry, const QString &into)
{
    for (const QString &file : {path, into}) {
        if (!file.isEmpty() && !QFileInfo::exists(file)) {
            std::fprintf(stderr, "bench_view load: no file %s\n", qPrintable(file));
            return 2;
        }
    }
    BenchDesktop desktop(into.isEmpty() ? path : into);
    MainWindow window(desktop);
    window.findChild<ProxyView *>()->header()->setSectionHidden(int(ListColumn::Country), !withCountry);
    window.show();
    settle();
    std::printf("Country column %s\n", withCountry ? "shown" : "hidden");
    QAction *loadAction = window.controls().actionLoadFileReplace;
    if (!into.isEmpty()) {
        loadAction->trigger();
        waitForLoad(window);
        settle();
        std::printf("merged into    %d rows of %s\n", window.list().count(), qPrintable(into));
        desktop.setPath(path);
        loadAction = window.controls().actionLoadFileMerge;
    }
    std::printf("file %s, %.1f MB\n", qPrintable(path), double(QFileInfo(path).size()) / 1e6);
    const qint64 idleKb = ProcessFigures::residentKb();

    const double cpuBefore = ProcessFigures::cpuSeconds();
    const qint64 faultsBefore = ProcessFigures::threadMajorFaults();
    QElapsedTimer wall;
    wall.start();
    // The window's event loop, asked for a pass every few milliseconds: the longest wait beyond that is how long
    // the window could not repaint or answer.
    qint64 lastTickNs = 0;
    qint64 longestGapNs = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        const qint64 now = wall.nsecsElapsed();
        longestGapNs = std::max(longestGapNs, now - lastTickNs);
        lastTickNs = now;
    });
    tick.start(TickMs);
    loadAction->trigger();
    waitForLoad(window);
    QEventLoop loop;
    // The rows are in: the view lays them out and paints them at the loop's next passes.
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    tick.stop();
    const qint64 faults = ProcessFigures::threadMajorFaults() - faultsBefore;
    settle();
    window.repaint();
    const double cpuSeconds = ProcessFigures::cpuSeconds() - cpuBefore;
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    // The list's former rows are freed on a thread of the pool.
    QThreadPool::globalInstance()->waitForDone();
    const qint64 afterKb = ProcessFigures::residentKb();
    const qint64 peakKb = ProcessFigures::peakResidentKb();
    const int rows = window.list().count();
    // Once the view has laid the rows out, its scroll bar reaches all but the rows on screen.
    const ProxyView *view = window.findChild<ProxyView *>();
    const int scrollEnd = view ? view->verticalScrollBar()->maximum() : -1;

    std::printf("rows loaded    %d (the view's scroll bar ends at %d)\n", rows, scrollEnd);
    std::printf("load           %.3f s CPU, %.3f s wall (the item triggered until the view has painted)\n", cpuSeconds,
                wallSeconds);
    std::printf("memory         window shown and empty %.1f MB, after the load %.1f MB (+%.1f MB), peak of the "
                "process %.1f MB\n",
                megabytes(idleKb), megabytes(afterKb), megabytes(afterKb - idleKb), megabytes(peakKb));
    const double gapMs = double(longestGapNs) / 1e6;
    const bool gapMet = gapMs - TickMs <= LoadGapTargetMs;
    std::printf("event loop     longest gap between passes %.1f ms (asked every %d ms); the window's thread waited "
                "on the disk for %lld pages of its own\n",
                gapMs, TickMs, static_cast<long long>(faults));
    std::printf("target gap     %s (at most %.0f ms beyond the ask)\n", gapMet ? "met" : "MISSED", LoadGapTargetMs);
    const bool cpuMet = cpuTarget <= 0 || cpuSeconds <= cpuTarget;
    const bool memoryMet = cpuTarget <= 0 || afterKb * 1024 <= LoadResidentTargetBytes;
    if (cpuTarget > 0) {
        std::printf("target CPU     %s (at most %.1f s)\n", cpuMet ? "met" : "MISSED", cpuTarget);
        std::printf("target memory  %s (at most %.0f MB resident after the load)\n", memoryMet ? "met" : "MISSED",
                    double(LoadResidentTargetBytes) / 1e6);
    }
    if (withCountry)
        countryPasses(window);
    std::fflush(stdout);
    return rows > 0 && cpuMet && memoryMet && gapMet ? 0 : 1;
}

int longRow(int megabytes)
{
    SelectionCases::Shown shown;
    ProxyList &table = shown.list;
    table.addRows({QStringLiteral("1.2.3.4:80:") + QString(qsizetype(megabytes) << 20, u'x')});
    for (int i = 0; i < 100; ++i)
        table.addRows({QStringLiteral("10.0.0.%1:8080").arg(i)});
    shown.model.selectionModel()->select(shown.model.index(0, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    std::printf("first row: %lld characters\n", qint64(table.text(0).size()));
    {
        const std::unique_ptr<ProxyView> view = makeView(&shown.model, shown.model.selectionModel());
        const QByteArray name = "repaint, " + QByteArray::number(megabytes) + " MB row, cut";
        reportRepaints(name.constData(), *view);
    }

    SelectionCases::Shown small;
    small.list.addRows({QStringLiteral("1.2.3.4:80:") + QString(4 << 20, u'x')});
    WholeText whole;
    whole.setSourceModel(&small.model);
    const std::unique_ptr<ProxyView> view = makeView(&whole, nullptr);
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
    if (args.value(0) == QLatin1String("load") && args.size() > 1) {
        const QStringList options = args.mid(2);
        double cpuTarget = LoadCpuTargetSeconds;
        for (const QString &option : options) {
            bool number = false;
            const double seconds = option.toDouble(&number);
            cpuTarget = number ? seconds : cpuTarget;
        }
        const qsizetype into = options.indexOf(QLatin1String("--into"));
        return load(args[1], cpuTarget, !options.contains(QLatin1String("--no-country")),
                    into >= 0 ? options.value(into + 1) : QString());
    }
    std::fprintf(stderr,
                 "usage: bench_view filter [ROWS] | longrow [MB] | load FILE [CPU] [--no-country] [--into FIRST]\n");
    return 2;
}
