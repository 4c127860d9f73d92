#include "app/MainWindow.h"

#include "app/AboutPage.h"
#include "app/Desktop.h"
#include "app/ListCommands.h"
#include "app/ProxyView.h"
#include "checker/CheckRun.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"

#include "ui_MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>

namespace {
// Control arrays share one object name; each element carries its index.
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

template <typename Element> QVector<Element *> controlArray(const QObject &window, const char *name)
{
    const QList<Element *> elements = window.findChildren<Element *>(QString::fromLatin1(name));
    QVector<Element *> array(elements.size());
    for (Element *element : elements)
        array[element->property(IndexProperty).toInt()] = element;
    return array;
}
} // namespace

MainWindow::MainWindow(Desktop &desktop, QWidget *parent)
    : QWidget(parent), m_desktop(desktop), m_aboutPage(AboutPage::url(QCoreApplication::applicationDirPath())),
      m_table(new ProxyTableModel(this)), m_panels(new StatusPanels(this)), m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    setFont(captionFont(8.25)); // the table has a larger size of its own
    nameArrayElements();
    m_cmdProxy = controlArray<QPushButton>(*this, "cmdProxy");
    m_sliders = controlArray<QSlider>(*this, "Sliders");
    m_lblSliders = controlArray<QLabel>(*this, "lblSliders");
    m_subMenus = controlArray<QMenu>(*this, "mProxies");
    m_panelLabels = {m_ui->sb1Panel1,      m_ui->totalproxies, m_ui->sb1Panel3,
                     m_ui->workingproxies, m_ui->sb1Panel5,    m_ui->anonymousproxies};
    for (int panel = 1; panel <= StatusPanels::PanelCount; ++panel)
        m_panelLabels[panel - 1]->setText(m_panels->text(panel));
    setUpTable();
    connectControls();

    // Start-up reads the sliders; the labels keep the captions they were created with.
    CheckRunHost &host = *this;
    m_checkRun = std::make_unique<CheckRun>(*m_table, *m_panels, host);
    m_checkRun->setSettings({m_sliders[0]->value(), m_sliders[1]->value()});
    m_ui->ListProxies->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() = default;

void MainWindow::nameArrayElements()
{
    // A form needs a name per object; the program addresses array elements by a shared name and their index.
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
    header->setSortIndicator(m_sortKey, sortOrder());
}

void MainWindow::connectControls()
{
    connect(m_ui->ListProxies->header(), &QHeaderView::sectionClicked, this, &MainWindow::headerClicked);
    for (int i = 0; i < m_sliders.size(); ++i) {
        connect(m_sliders[i], &QSlider::valueChanged, this, [this, i] { sliderChanged(i); });
        connect(m_sliders[i], &QSlider::sliderPressed, this, [this, i] { sliderChanged(i); });
    }
    for (int i = 0; i < m_cmdProxy.size(); ++i)
        connect(m_cmdProxy[i], &QPushButton::clicked, this, [this, i] { commandClicked(i); });
    connectMenuItems("mProxyLoad", &MainWindow::loadChosen);
    connectMenuItems("mProxyTest", &MainWindow::testChosen);
    connectMenuItems("mProxyFilter", &MainWindow::filterChosen);
    connectMenuItems("mProxySave", &MainWindow::saveChosen);
    connect(m_panels, &StatusPanels::textChanged, this,
            [this](int panel, const QString &text) { m_panelLabels[panel - 1]->setText(text); });
}

void MainWindow::connectMenuItems(const char *name, void (MainWindow::*handler)(int))
{
    for (QAction *item : findChildren<QAction *>(QString::fromLatin1(name))) {
        const int index = item->property(IndexProperty).toInt();
        connect(item, &QAction::triggered, this, [this, handler, index] { (this->*handler)(index); });
    }
}

void MainWindow::commandClicked(int index)
{
    switch (index) {
    case LoadCommand:
    case TestCommand:
    case FilterCommand:
    case SaveCommand: {
        // The menu opens right under the pressed button, flush with its left edge.
        const QRect button = m_cmdProxy[index]->geometry();
        m_subMenus[index]->popup(mapToGlobal(QPoint(button.left(), button.top() + button.height())));
        break;
    }
    case AbortCommand:
        m_checkRun->abort();
        break;
    case ExitCommand:
        m_desktop.openUrl(m_aboutPage);
        // A run in progress is cut off where it stands, without its completion message.
        m_checkRun->stop();
        Q_EMIT exitRequested();
        break;
    default:
        break;
    }
}

void MainWindow::sliderChanged(int index)
{
    if (index < 0 || index >= m_sliders.size())
        return;
    m_checkRun->setSettings({m_sliders[0]->value(), m_sliders[1]->value()});
    m_lblSliders[index]->setText(QString::number(m_sliders[index]->value()));
}

void MainWindow::headerClicked(int section)
{
    QHeaderView *header = m_ui->ListProxies->header();
    if (m_checkRun->isRunning()) {
        // The header flips its arrow before it reports the click; the rows stay, so the arrow goes back too.
        header->setSortIndicator(m_sortKey, sortOrder());
        m_desktop.warning(tr("Can't sort list"), tr("You can not sort list while testing proxies."));
        return;
    }
    m_sortKey = section;
    m_sortOrder = m_sortOrder != 0 ? 0 : 1;
    header->setSortIndicatorShown(true);
    header->setSortIndicator(m_sortKey, sortOrder());
    m_table->sort(m_sortKey, sortOrder());
}

Qt::SortOrder MainWindow::sortOrder() const
{
    return m_sortOrder == 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
}

QStringList MainWindow::mergeFiles(const QStringList &paths)
{
    return ListCommands(m_desktop, *m_table, *m_panels).mergeFiles(paths);
}

void MainWindow::loadChosen(int index)
{
    ListCommands(m_desktop, *m_table, *m_panels).load(index);
}

void MainWindow::testChosen(int index)
{
    m_checkRun->run(index);
}

void MainWindow::setCommandsLocked(bool locked)
{
    for (int i = LoadCommand; i <= SaveCommand; ++i)
        m_cmdProxy[i]->setEnabled(!locked);
    for (QSlider *slider : std::as_const(m_sliders))
        slider->setEnabled(!locked);
    m_cmdProxy[AbortCommand]->setEnabled(locked);
}

void MainWindow::showCompletionMessage(const QString &shortage)
{
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

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The run pumps events beneath this handler; left alone, it would go on probing for a window nobody sees.
    if (m_checkRun->isRunning()) {
        m_checkRun->stop();
        Q_EMIT exitRequested();
    }
    event->accept();
}

void MainWindow::filterChosen(int index)
{
    ListCommands(m_desktop, *m_table, *m_panels).filter(index);
}

void MainWindow::saveChosen(int index)
{
    ListCommands(m_desktop, *m_table, *m_panels).save(index);
}
