#include "app/MainWindow.h"

#include "app/AboutPage.h"
#include "app/Desktop.h"
#include "app/ListCommands.h"
#include "app/ProxyView.h"
#include "checker/CheckRun.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyTableModel.h"

#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QHeaderView>

namespace {
// Elements of a control array share one name and carry their index in this property.
const char IndexProperty[] = "index";

// Every caption of the controls is set in one face and size. The fixed boxes were measured for it: each caption
// fits inside its box, which a wider face such as DejaVu Sans would overrun. The form cannot hold the size: it
// keeps whole points only.
QFont captionFont(qreal pointSize)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}
} // namespace

MainWindow::MainWindow(Desktop &desktop, QWidget *parent)
    : QWidget(parent), m_desktop(desktop), m_aboutPage(AboutPage::url(QCoreApplication::applicationDirPath())),
      m_table(new ProxyTableModel(this)), m_checkRun(std::make_unique<CheckRun>(*m_table)),
      m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    setFont(captionFont(8.25)); // the table has a larger size of its own
    nameArrayElements();
    setUpTable();
    connectControls();
    // Start-up reads the sliders; the labels keep the captions they were created with.
    m_checkRun->setSettings({m_ui->Sliders_0->value(), m_ui->Sliders_1->value()});
    m_ui->ListProxies->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() = default;

void MainWindow::nameArrayElements()
{
    // A form needs a name per object; an element of an array is named "array_index" there.
    for (QObject *object : findChildren<QObject *>()) {
        const QString name = object->objectName();
        if (object->property(IndexProperty).isValid())
            object->setObjectName(name.left(name.lastIndexOf(u'_')));
    }
}

void MainWindow::setUpTable()
{
    ProxyView *view = m_ui->ListProxies;
    view->setFont(captionFont(9.75));

    // The view makes a selection model of its own; the table's, which the commands read, replaces it.
    view->setModel(m_table);
    QItemSelectionModel *viewSelection = view->selectionModel();
    view->setSelectionModel(m_table->selectionModel());
    delete viewSelection;

    QHeaderView *header = view->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[ProxyTableModel::ColumnCount] = {200, 96, 96, 96};
    for (int column = 0; column < ProxyTableModel::ColumnCount; ++column)
        header->resizeSection(column, widths[column]);
    // The indicator stays hidden until the first accepted click; it always shows the last accepted sort.
    header->setSortIndicator(m_sortKey, m_sortOrder);
}

void MainWindow::connectControls()
{
    const std::pair<QAction *, void (MainWindow::*)()> items[] = {
        {m_ui->mProxyLoad_0, &MainWindow::loadFromFileReplace},
        {m_ui->mProxyLoad_1, &MainWindow::loadFromFileMerge},
        {m_ui->mProxyLoad_2, &MainWindow::loadFromClipboardReplace},
        {m_ui->mProxyLoad_3, &MainWindow::loadFromClipboardMerge},
        {m_ui->mProxyTest_0, &MainWindow::testAll},
        {m_ui->mProxyTest_1, &MainWindow::testUntested},
        {m_ui->mProxyTest_2, &MainWindow::testSelected},
        {m_ui->mProxyFilter_0, &MainWindow::keepWorking},
        {m_ui->mProxyFilter_1, &MainWindow::keepAnonymous},
        {m_ui->mProxyFilter_2, &MainWindow::keepSelected},
        {m_ui->mProxyFilter_3, &MainWindow::keepBySpeed},
        {m_ui->mProxySave_0, &MainWindow::saveAllToClipboard},
        {m_ui->mProxySave_2, &MainWindow::saveAllToFile},
        {m_ui->mProxySave_3, &MainWindow::saveSelectedToClipboard},
        {m_ui->mProxySave_5, &MainWindow::saveSelectedToFile},
    };
    for (const auto &[action, slot] : items)
        connect(action, &QAction::triggered, this, slot);

    const std::pair<QPushButton *, QMenu *> menuButtons[] = {{m_ui->cmdProxy_0, m_ui->mProxies_0},
                                                             {m_ui->cmdProxy_1, m_ui->mProxies_1},
                                                             {m_ui->cmdProxy_2, m_ui->mProxies_2},
                                                             {m_ui->cmdProxy_3, m_ui->mProxies_3}};
    for (const auto &menuButton : menuButtons) {
        QMenu *menu = menuButton.second;
        connect(menuButton.first, &QPushButton::clicked, this,
                [this, menu, button = menuButton.first] { popUpMenu(menu, button); });
    }
    connect(m_ui->cmdProxy_4, &QPushButton::clicked, this, &MainWindow::abortCheck);
    connect(m_ui->cmdProxy_5, &QPushButton::clicked, this, &MainWindow::exitProgram);

    // A click on a slider counts as a move too.
    connect(m_ui->Sliders_0, &QSlider::valueChanged, this, &MainWindow::setThreads);
    connect(m_ui->Sliders_0, &QSlider::sliderPressed, this, [this] { setThreads(m_ui->Sliders_0->value()); });
    connect(m_ui->Sliders_1, &QSlider::valueChanged, this, &MainWindow::setTimeout);
    connect(m_ui->Sliders_1, &QSlider::sliderPressed, this, [this] { setTimeout(m_ui->Sliders_1->value()); });
    connect(m_ui->ListProxies->header(), &QHeaderView::sectionClicked, this, &MainWindow::sortByColumn);

    connect(m_checkRun.get(), &CheckRun::started, this, &MainWindow::lockCommands);
    connect(m_checkRun.get(), &CheckRun::finished, this, &MainWindow::finishCheck);
}

void MainWindow::popUpMenu(QMenu *menu, const QWidget *button)
{
    // Right under the pressed button, flush with its left edge.
    const QRect face = button->geometry();
    menu->popup(mapToGlobal(QPoint(face.left(), face.top() + face.height())));
}

void MainWindow::loadFromFileReplace()
{
    if (ListCommands(m_desktop, *m_table).loadFromFile(false))
        showTotal();
    // However the load ended, read, cancelled or unreadable, the counters show the table as it now is.
    refreshCounters();
}

void MainWindow::loadFromFileMerge()
{
    if (ListCommands(m_desktop, *m_table).loadFromFile(true))
        showTotal();
    refreshCounters();
}

void MainWindow::loadFromClipboardReplace()
{
    ListCommands(m_desktop, *m_table).loadFromClipboard(false);
    showTotal();
    refreshCounters();
}

void MainWindow::loadFromClipboardMerge()
{
    ListCommands(m_desktop, *m_table).loadFromClipboard(true);
    showTotal();
    refreshCounters();
}

QStringList MainWindow::mergeFiles(const QStringList &paths)
{
    // The counters stay blank until the first load: no list, no load.
    if (paths.isEmpty())
        return {};
    QStringList failures = ListCommands(m_desktop, *m_table).mergeFiles(paths);
    if (failures.size() < paths.size())
        showTotal();
    refreshCounters();
    return failures;
}

void MainWindow::testAll()
{
    m_checkRun->run(CheckRows::Mode::All);
}

void MainWindow::testUntested()
{
    m_checkRun->run(CheckRows::Mode::Untested);
}

void MainWindow::testSelected()
{
    m_checkRun->run(CheckRows::Mode::Selected);
}

void MainWindow::keepWorking()
{
    ListCommands(m_desktop, *m_table).filter(ProxyFilter::working());
    refreshCounters();
}

void MainWindow::keepAnonymous()
{
    ListCommands(m_desktop, *m_table).filter(ProxyFilter::anonymous());
    refreshCounters();
}

void MainWindow::keepSelected()
{
    ListCommands(m_desktop, *m_table).filter(ProxyFilter::selected());
    refreshCounters();
}

void MainWindow::keepBySpeed()
{
    if (ListCommands(m_desktop, *m_table).keepBySpeed())
        refreshCounters();
}

void MainWindow::saveAllToClipboard()
{
    ListCommands(m_desktop, *m_table).saveToClipboard(ListCommands::Rows::All);
}

void MainWindow::saveAllToFile()
{
    ListCommands(m_desktop, *m_table).saveToFile(ListCommands::Rows::All);
}

void MainWindow::saveSelectedToClipboard()
{
    ListCommands(m_desktop, *m_table).saveToClipboard(ListCommands::Rows::Selected);
}

void MainWindow::saveSelectedToFile()
{
    ListCommands(m_desktop, *m_table).saveToFile(ListCommands::Rows::Selected);
}

void MainWindow::abortCheck()
{
    m_checkRun->abort();
}

void MainWindow::exitProgram()
{
    m_desktop.openUrl(m_aboutPage);
    // A check in progress is cut off where it stands, without its completion message.
    m_checkRun->stop();
    Q_EMIT exitRequested();
}

void MainWindow::setThreads(int threads)
{
    m_checkRun->setSettings({threads, m_checkRun->settings().timeoutSeconds});
    m_ui->lblSliders_0->setText(QString::number(threads));
}

void MainWindow::setTimeout(int seconds)
{
    m_checkRun->setSettings({m_checkRun->settings().slotsPerBatch, seconds});
    m_ui->lblSliders_1->setText(QString::number(seconds));
}

void MainWindow::sortByColumn(int section)
{
    QHeaderView *header = m_ui->ListProxies->header();
    if (m_checkRun->isRunning()) {
        // The header flips its arrow before it reports the click; the rows stay, so the arrow goes back too.
        header->setSortIndicator(m_sortKey, m_sortOrder);
        m_desktop.warning(tr("Can't sort list"), tr("You can not sort list while testing proxies."));
        return;
    }
    m_sortKey = section;
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    header->setSortIndicatorShown(true);
    header->setSortIndicator(m_sortKey, m_sortOrder);
    m_table->sort(m_sortKey, m_sortOrder);
}

void MainWindow::lockCommands()
{
    setCommandsLocked(true);
}

void MainWindow::setCommandsLocked(bool locked)
{
    // A disabled button hands the focus on to the next enabled one, which would be Exit: the focus goes to Abort
    // before the commands are locked, and back to the Test button before Abort is disabled, so that no key press
    // during or after a run can quit.
    QPushButton *abort = m_ui->cmdProxy_4;
    if (locked) {
        abort->setEnabled(true);
        abort->setFocus(Qt::OtherFocusReason);
    }
    for (QWidget *control : std::initializer_list<QWidget *>{m_ui->cmdProxy_0, m_ui->cmdProxy_1, m_ui->cmdProxy_2,
                                                             m_ui->cmdProxy_3, m_ui->Sliders_0, m_ui->Sliders_1})
        control->setEnabled(!locked);
    if (!locked) {
        m_ui->cmdProxy_1->setFocus(Qt::OtherFocusReason);
        abort->setEnabled(false);
    }
}

void MainWindow::finishCheck(const QString &shortage)
{
    setCommandsLocked(false);
    refreshCounters();
    if (shortage.isEmpty()) {
        m_desktop.information(tr("Proxy Checking Completed."), tr("The proxies have been checked."));
        return;
    }
    m_desktop.warning(tr("Proxy Checking Stopped."),
                      tr("This computer could not open another connection (%1), so the check stopped after the "
                         "proxies under way.\n\nThe proxies it did not get to are still untested: \"Test untested "
                         "proxies\" goes on with them.")
                          .arg(shortage));
}

void MainWindow::showTotal()
{
    m_ui->totalproxies->setText(QString::number(m_table->count()));
}

void MainWindow::refreshCounters()
{
    m_ui->workingproxies->setText(QString::number(ProxyFilter::working().count(*m_table)));
    m_ui->anonymousproxies->setText(QString::number(ProxyFilter::anonymous().count(*m_table)));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The run pumps events beneath this handler; left alone, it would go on probing for a window nobody sees.
    if (m_checkRun->isRunning()) {
        m_checkRun->stop();
        Q_EMIT exitRequested();
    }
    event->accept();
}
