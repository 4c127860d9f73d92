#include "app/MainWindow.h"

#include "app/CommandButton.h"
#include "app/Desktop.h"
#include "app/ListCommands.h"
#include "app/ProxyView.h"
#include "checker/CheckRun.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>

const QUrl MainWindow::MakerPage(QStringLiteral("https://korvane.example.org/"));

namespace {
constexpr int ClientWidth = 724;
constexpr int ClientHeight = 562;
constexpr int ButtonLeft = 528;
constexpr int ButtonWidth = 193;
constexpr int ButtonHeight = 33;

struct ButtonSetup
{
    const char *caption = nullptr;
    int top = 0;
    QColor fill;
};

const ButtonSetup buttonSetups[MainWindow::CommandCount] = {
    {QT_TRANSLATE_NOOP("MainWindow", "&Load =>"), 168, QColor(255, 192, 128)},
    {QT_TRANSLATE_NOOP("MainWindow", "&Test =>"), 208, QColor(128, 255, 128)},
    {QT_TRANSLATE_NOOP("MainWindow", "&Filter =>"), 248, QColor(255, 255, 128)},
    {QT_TRANSLATE_NOOP("MainWindow", "&Save =>"), 288, QColor(255, 128, 255)},
    {QT_TRANSLATE_NOOP("MainWindow", "&Abort"), 328, QColor(255, 128, 128)},
    {QT_TRANSLATE_NOOP("MainWindow", "&Exit"), 368, QColor(255, 192, 192)},
};

struct SliderSetup
{
    int minimum;
    int maximum;
    int value;
};

const SliderSetup sliderSetups[2] = {{1, 200, 20}, {1, 60, 10}};

// Control arrays share one object name; each element carries its index.
const char IndexProperty[] = "index";

// Every caption of the controls is set in one face and size. The fixed boxes were measured for it: each caption
// fits inside its box, which a wider face such as DejaVu Sans would overrun.
QFont captionFont(qreal pointSize)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}

template <typename Object> Object *named(Object *object, const char *name, int index = -1)
{
    object->setObjectName(QString::fromLatin1(name));
    if (index >= 0)
        object->setProperty(IndexProperty, index);
    return object;
}
} // namespace

MainWindow::MainWindow(Desktop &desktop, QWidget *parent)
    : QWidget(parent), m_desktop(desktop), m_table(new ProxyTableModel(this)), m_panels(new StatusPanels(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(tr("Korvane"));
    setFixedSize(ClientWidth, ClientHeight);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(background);
    setAutoFillBackground(true);
    setFont(captionFont(8.25)); // the table has a larger size of its own

    createTable();
    createSettingsFrame();
    createButtons();
    createStatusBar();
    createMenus();
    setTabOrder();

    // Start-up reads the sliders; the labels keep the captions they were created with.
    for (int i = 0; i < m_sliders.size(); ++i)
        m_run.SliderValues[size_t(i)] = m_sliders[i]->value();
    CheckRunHost &host = *this;
    m_checkRun = std::make_unique<CheckRun>(*m_table, *m_panels, m_run, host);
    m_listProxies->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() = default;

void MainWindow::createTable()
{
    m_listProxies = named(new ProxyView(this), "ListProxies");
    m_listProxies->setGeometry(8, 8, 513, 521);
    m_listProxies->setRootIsDecorated(false);
    m_listProxies->setItemsExpandable(false);
    m_listProxies->setUniformRowHeights(true); // keeps a table of a million rows quick to scroll
    m_listProxies->setAllColumnsShowFocus(true);
    m_listProxies->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listProxies->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listProxies->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listProxies->setFont(captionFont(9.75));

    // The view makes a selection model of its own; the table's, which the commands read, replaces it.
    m_listProxies->setModel(m_table);
    QItemSelectionModel *viewSelection = m_listProxies->selectionModel();
    m_listProxies->setSelectionModel(m_table->selectionModel());
    delete viewSelection;

    QHeaderView *header = m_listProxies->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[ProxyTableModel::ColumnCount] = {200, 96, 96, 96};
    for (int column = 0; column < ProxyTableModel::ColumnCount; ++column)
        header->resizeSection(column, widths[column]);
    // The indicator stays hidden until the first accepted click; it always shows the last accepted sort.
    header->setSortIndicator(m_sortKey, sortOrder());
    connect(header, &QHeaderView::sectionClicked, this, &MainWindow::ListProxies_ColumnClick);
}

void MainWindow::createSettingsFrame()
{
    m_frame = named(new QGroupBox(tr("Connection Settings "), this), "Frame1");
    m_frame->setGeometry(528, 8, 193, 145);

    const QString captions[2] = {tr("No. of Threads:"), tr("Timeout (sec)")};
    const char *captionNames[2] = {"Label3", "Label4"};
    const int tops[2] = {32, 88};
    for (int i = 0; i < 2; ++i) {
        const SliderSetup &setup = sliderSetups[i];
        QLabel *caption = named(new QLabel(captions[i], m_frame), captionNames[i]);
        caption->setGeometry(8, tops[i], 81, 17);

        QLabel *value = named(new QLabel(QString::number(setup.value), m_frame), "lblSliders", i);
        value->setGeometry(152, tops[i], 33, 17);
        m_lblSliders.append(value);

        QSlider *slider = named(new QSlider(Qt::Horizontal, m_frame), "Sliders", i);
        slider->setGeometry(8, tops[i] + 16, 177, 25);
        slider->setRange(setup.minimum, setup.maximum);
        slider->setValue(setup.value);
        slider->setPageStep(10);
        slider->setSingleStep(1);
        slider->setTickPosition(QSlider::NoTicks);
        connect(slider, &QSlider::valueChanged, this, [this, i] { Sliders_Change(i); });
        connect(slider, &QSlider::sliderPressed, this, [this, i] { Sliders_Change(i); });
        m_sliders.append(slider);
    }
}

void MainWindow::createButtons()
{
    for (int i = 0; i < CommandCount; ++i) {
        const ButtonSetup &setup = buttonSetups[i];
        QPushButton *button = named(new CommandButton(tr(setup.caption), this), "cmdProxy", i);
        button->setGeometry(ButtonLeft, setup.top, ButtonWidth, ButtonHeight);
        QPalette fill = button->palette();
        fill.setColor(QPalette::Button, setup.fill);
        button->setPalette(fill);
        connect(button, &QPushButton::clicked, this, [this, i] { cmdProxy_Click(i); });
        m_cmdProxy.append(button);
    }
    m_cmdProxy[AbortCommand]->setEnabled(false);
}

void MainWindow::createStatusBar()
{
    m_statusBar = named(new QStatusBar(this), "sb1");
    m_statusBar->setGeometry(0, 537, ClientWidth, 25);
    m_statusBar->setSizeGripEnabled(false);
    // The panels are placed by hand: the bar's own layout would leave gaps between them and at its left end.
    const int widths[StatusPanels::PanelCount] = {96, 96, 96, 96, 107, 96};
    const char *keys[StatusPanels::PanelCount] = {"", "totalproxies", "", "workingproxies", "", "anonymousproxies"};
    int left = 0;
    for (int panel = 1; panel <= StatusPanels::PanelCount; ++panel) {
        auto *label = new QLabel(m_panels->text(panel), m_statusBar);
        label->setObjectName(keys[panel - 1][0] ? QString::fromLatin1(keys[panel - 1])
                                                : QStringLiteral("sb1Panel%1").arg(panel));
        label->setGeometry(left, 0, widths[panel - 1], m_statusBar->height());
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(2); // the longest caption fits with room to spare
        left += widths[panel - 1];
        m_panelLabels.append(label);
    }
    connect(m_panels, &StatusPanels::textChanged, this,
            [this](int panel, const QString &text) { m_panelLabels[panel - 1]->setText(text); });
}

void MainWindow::createMenus()
{
    // The top-level menu is never shown: there is no menu bar, only the four pop-ups under the buttons.
    m_proxyMenu = named(new QMenu(tr("Proxy Menu"), this), "mProxyMenu");
    m_subMenus = {
        createSubMenu(0, tr("Load Proxies"),
                      {tr("Load and replace current list"), tr("Load and merge current list"),
                       tr("Load from Clipboard and replace current list"),
                       tr("Load from Clipboard and merge current list")},
                      "mProxyLoad", &MainWindow::mProxyLoad_Click),
        createSubMenu(1, tr("Test Proxies"),
                      {tr("Test all proxies"), tr("Test untested proxies"), tr("Test selected proxies")}, "mProxyTest",
                      &MainWindow::mProxyTest_Click),
        createSubMenu(2, tr("Filter Proxies"),
                      {tr("Keep working proxies"), tr("Keep anonymous proxies"), tr("Keep selected proxies"),
                       tr("Keep proxies by speed")},
                      "mProxyFilter", &MainWindow::mProxyFilter_Click),
        createSubMenu(3, tr("Save Proxies"),
                      {tr("Save proxies to clipboard"), tr("Save proxies to proxy box"),
                       tr("Save proxies to a text file"), tr("Save selected to clipboard"),
                       tr("Save selected to proxy box"), tr("Save selected to a text file")},
                      "mProxySave", &MainWindow::mProxySave_Click),
    };
    menuItem(m_subMenus[FilterCommand], 3)->setEnabled(false);
    for (int hidden : {1, 4}) {
        QAction *item = menuItem(m_subMenus[SaveCommand], hidden);
        item->setEnabled(false);
        item->setVisible(false);
    }
}

QMenu *MainWindow::createSubMenu(int index, const QString &title, const QStringList &items, const char *itemName,
                                 void (MainWindow::*handler)(int))
{
    QMenu *menu = named(m_proxyMenu->addMenu(title), "mProxies", index);
    for (int i = 0; i < items.size(); ++i) {
        QAction *item = named(menu->addAction(items[i]), itemName, i);
        connect(item, &QAction::triggered, this, [this, handler, i] { (this->*handler)(i); });
    }
    return menu;
}

QAction *MainWindow::menuItem(QMenu *menu, int index) const
{
    return menu->actions().value(index);
}

void MainWindow::setTabOrder()
{
    QWidget *order[] = {m_listProxies, m_sliders[0],  m_sliders[1],  m_cmdProxy[0], m_cmdProxy[1],
                        m_cmdProxy[2], m_cmdProxy[3], m_cmdProxy[4], m_cmdProxy[5]};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    for (QLabel *label : findChildren<QLabel *>())
        label->setFocusPolicy(Qt::NoFocus);
    m_statusBar->setFocusPolicy(Qt::NoFocus);
}

void MainWindow::cmdProxy_Click(int index)
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
        m_run.AbortTest = true;
        break;
    case ExitCommand:
        m_desktop.openUrl(MakerPage);
        // A run in progress is cut off where it stands, without its completion message.
        m_checkRun->stop();
        Q_EMIT exitRequested();
        break;
    default:
        break;
    }
}

void MainWindow::Sliders_Change(int index)
{
    if (index < 0 || index >= m_sliders.size())
        return;
    m_run.SliderValues[size_t(index)] = m_sliders[index]->value();
    m_lblSliders[index]->setText(QString::number(m_sliders[index]->value()));
}

void MainWindow::ListProxies_ColumnClick(int section)
{
    QHeaderView *header = m_listProxies->header();
    if (m_run.IsTesting) {
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

void MainWindow::mProxyLoad_Click(int index)
{
    ListCommands(m_desktop, *m_table, *m_panels).load(index);
}

void MainWindow::mProxyTest_Click(int index)
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

void MainWindow::showCompletionMessage()
{
    m_desktop.information(tr("Proxy Checking Completed."), tr("The proxies have been checked."));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The run pumps events beneath this handler; left alone, it would go on probing for a window nobody sees.
    if (m_run.IsTesting) {
        m_checkRun->stop();
        Q_EMIT exitRequested();
    }
    event->accept();
}

void MainWindow::mProxyFilter_Click(int index)
{
    ListCommands(m_desktop, *m_table, *m_panels).filter(index);
}

void MainWindow::mProxySave_Click(int index)
{
    ListCommands(m_desktop, *m_table, *m_panels).save(index);
}
