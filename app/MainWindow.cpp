#include "app/MainWindow.h"

#include "app/AboutPage.h"
#include "app/BusyCursor.h"
#include "app/ColumnViews.h"
#include "app/Desktop.h"
#include "app/ListCommands.h"
#include "app/ProxyTableModel.h"
#include "app/ProxyView.h"
#include "app/UptimeReader.h"
#include "checker/CheckRun.h"
#include "checker/CheckSettings.h"
#include "location/GeoDatabase.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyList.h"

#include "ui_MainWindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <QStandardPaths>

#include <chrono>

namespace {
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

void setLimit(QSlider *slider, const CheckLimit &limit)
{
    slider->setRange(limit.lowest, limit.highest);
    slider->setValue(limit.start);
}
} // namespace

MainWindow::MainWindow(Desktop &desktop, QWidget *parent)
    : QWidget(parent), m_desktop(desktop), m_aboutPage(AboutPage::url(QCoreApplication::applicationDirPath())),
      m_list(new ProxyList(this)), m_model(new ProxyTableModel(*m_list, this)),
      m_uptimes(new UptimeReader(*m_list, this)), m_checkRun(std::make_unique<CheckRun>(*m_list)),
      m_ui(std::make_unique<Ui::MainWindow>()), m_job(std::make_unique<ListJob>())
{
    m_ui->setupUi(this);
    // Right of the counters' panels, over the location's panel while a long load runs.
    m_progress = new QProgressBar(m_ui->sb1);
    m_progress->setObjectName(QStringLiteral("loadProgress"));
    m_progress->setGeometry(591, 4, 112, 17);
    m_progress->setTextVisible(false);
    m_progress->hide();
    m_progressTick.setInterval(50);
    m_controls = bindControls();
    addBareRowsMenu();
    addSiteItems();
    addCountryItems();
    addRetryItems();
    setFont(captionFont(8.25)); // the table has a larger size of its own
    setUpTable();
    connectControls();
    m_checkRun->setSelection(m_model);
    // The sliders' ranges and starts are the checker's limits, not the form's; their labels and the run follow.
    setLimit(m_controls.probesSlider, CheckLimits::WindowProbesAtOnce);
    setLimit(m_controls.timeoutSlider, CheckLimits::TimeoutSeconds);
    setProbesAtOnce(m_controls.probesSlider->value());
    setTimeout(m_controls.timeoutSlider->value());
    m_ui->ListProxies->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() = default;

MainWindow::Controls MainWindow::bindControls() const
{
    const Ui::MainWindow &ui = *m_ui;
    return {ui.cmdProxy_0,     ui.cmdProxy_1,       ui.cmdProxy_2,     ui.cmdProxy_3,   ui.cmdProxy_4,
            ui.cmdProxy_5,     ui.mProxies_0,       ui.mProxies_1,     ui.mProxies_2,   ui.mProxies_3,
            ui.Sliders_0,      ui.Sliders_1,        ui.lblSliders_0,   ui.lblSliders_1, ui.totalproxies,
            ui.workingproxies, ui.anonymousproxies, ui.mProxyLoad_0,   ui.mProxyLoad_1, ui.mProxyLoad_2,
            ui.mProxyLoad_3,   ui.mProxyTest_0,     ui.mProxyTest_1,   ui.mProxyTest_2, ui.mProxyFilter_0,
            ui.mProxyFilter_1, ui.mProxyFilter_2,   ui.mProxyFilter_3, ui.mProxySave_0, ui.mProxySave_2,
            ui.mProxySave_3,   ui.mProxySave_5};
}

ListCommands MainWindow::commands()
{
    return ListCommands(m_desktop, *m_list, *m_model);
}

void MainWindow::setUpTable()
{
    ProxyView *view = m_ui->ListProxies;
    view->setFont(captionFont(9.75));

    // The view makes a selection model of its own; the model's, which the commands read, replaces it.
    view->setModel(m_model);
    QItemSelectionModel *viewSelection = view->selectionModel();
    view->setSelectionModel(m_model->selectionModel());
    delete viewSelection;

    QHeaderView *header = view->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (const ColumnView &column : ColumnViews)
        header->resizeSection(int(column.column), column.width);
    // The indicator stays hidden until the first accepted click; it always shows the last accepted sort.
    header->setSortIndicator(m_sortKey, m_sortOrder);
    header->setSectionHidden(int(ListColumn::Site), true);
    header->setSectionHidden(int(ListColumn::Uptime), true);
}

QMenu *MainWindow::addChoiceMenu(const QString &title, const QString &objectName, const QStringList &choices,
                                 const std::function<void(int)> &choose)
{
    QMenu *menu = m_controls.testMenu->addMenu(title);
    menu->setObjectName(objectName);
    auto *group = new QActionGroup(menu);
    for (int i = 0; i < choices.size(); ++i) {
        QAction *action = menu->addAction(choices[i]);
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [choose, i] { choose(i); });
    }
    return menu;
}

void MainWindow::addBareRowsMenu()
{
    Controls &c = m_controls;
    c.testMenu->addSeparator();
    QStringList protocols;
    for (const ProxyAddress::Protocol protocol : ProxyAddress::Protocols)
        protocols.append(QCoreApplication::translate("ProxyAddress", ProxyAddress::words(protocol)));
    c.bareRowsMenu = addChoiceMenu(tr("Bare Rows As"), QStringLiteral("mBareRowsAs"), protocols, [this](int protocol) {
        m_checkRun->setBareProtocol(ProxyAddress::Protocols[size_t(protocol)]);
    });
    for (const ProxyAddress::Protocol protocol : ProxyAddress::Protocols)
        c.bareRowsActions[size_t(protocol)] = c.bareRowsMenu->actions().at(int(protocol));
    // The rows' protocol until a check is told otherwise.
    c.bareRowsActions[size_t(ProxyAddress::Protocol::Http)]->setChecked(true);
}

void MainWindow::addRetryItems()
{
    Controls &c = m_controls;
    c.actionTestFailed = new QAction(tr("Test Failed"), c.testMenu);
    c.actionTestFailed->setObjectName(QStringLiteral("mTestFailed"));
    c.testMenu->insertAction(c.testMenu->actions().value(c.testMenu->actions().indexOf(c.actionTestSelected) + 1),
                             c.actionTestFailed);
    QStringList counts;
    for (int retries = CheckLimits::Retries.lowest; retries <= CheckLimits::Retries.highest; ++retries)
        counts.append(QString::number(retries));
    c.retriesMenu = addChoiceMenu(tr("Retries"), QStringLiteral("mRetries"), counts, [this](int choice) {
        CheckSettings settings = m_checkRun->settings();
        settings.retries = CheckLimits::Retries.lowest + choice;
        m_checkRun->setSettings(settings);
    });
    // Kept until changed: a run takes the settings as they are when it starts.
    c.retriesMenu->actions().at(CheckLimits::Retries.start - CheckLimits::Retries.lowest)->setChecked(true);
}

void MainWindow::addSiteItems()
{
    Controls &c = m_controls;
    // Beside the run's other choices, before "Bare Rows As".
    c.actionTargetSite = new QAction(tr("Target Site..."), c.testMenu);
    c.actionTargetSite->setObjectName(QStringLiteral("mTargetSite"));
    c.testMenu->insertAction(c.bareRowsMenu->menuAction(), c.actionTargetSite);
    c.actionKeepReachingSite = c.filterMenu->addAction(tr("Keep proxies that reach the site"));
    c.actionKeepReachingSite->setObjectName(QStringLiteral("mKeepReachingSite"));
    c.actionKeepReachingSite->setEnabled(false);
}

void MainWindow::connectControls()
{
    const Controls &c = m_controls;
    const std::pair<QAction *, void (MainWindow::*)()> items[] = {
        {c.actionLoadFileReplace, &MainWindow::loadFromFileReplace},
        {c.actionLoadFileMerge, &MainWindow::loadFromFileMerge},
        {c.actionLoadClipboardReplace, &MainWindow::loadFromClipboardReplace},
        {c.actionLoadClipboardMerge, &MainWindow::loadFromClipboardMerge},
        {c.actionTestAll, &MainWindow::testAll},
        {c.actionTestUntested, &MainWindow::testUntested},
        {c.actionTestSelected, &MainWindow::testSelected},
        {c.actionTestFailed, &MainWindow::testFailed},
        {c.actionKeepWorking, &MainWindow::keepWorking},
        {c.actionKeepAnonymous, &MainWindow::keepAnonymous},
        {c.actionKeepSelected, &MainWindow::keepSelected},
        {c.actionKeepBySpeed, &MainWindow::keepBySpeed},
        {c.actionTargetSite, &MainWindow::askSite},
        {c.actionKeepReachingSite, &MainWindow::keepReachingSite},
        {c.actionKeepByCountry, &MainWindow::keepByCountry},
        {c.actionKeepByUptime, &MainWindow::keepByUptime},
        {c.actionSaveAllToClipboard, &MainWindow::saveAllToClipboard},
        {c.actionSaveAllToFile, &MainWindow::saveAllToFile},
        {c.actionSaveSelectedToClipboard, &MainWindow::saveSelectedToClipboard},
        {c.actionSaveSelectedToFile, &MainWindow::saveSelectedToFile},
    };
    for (const auto &[action, slot] : items)
        connect(action, &QAction::triggered, this, slot);

    const std::pair<QPushButton *, QMenu *> menuButtons[] = {{c.loadButton, c.loadMenu},
                                                             {c.testButton, c.testMenu},
                                                             {c.filterButton, c.filterMenu},
                                                             {c.saveButton, c.saveMenu}};
    for (const auto &[button, menu] : menuButtons)
        connect(button, &QPushButton::clicked, this, [this, menu = menu, button = button] { popUpMenu(menu, button); });
    connect(c.abortButton, &QPushButton::clicked, this, &MainWindow::abortCheck);
    connect(c.exitButton, &QPushButton::clicked, this, &MainWindow::exitProgram);

    // A click on a slider counts as a move too.
    connect(c.probesSlider, &QSlider::valueChanged, this, &MainWindow::setProbesAtOnce);
    connect(c.probesSlider, &QSlider::sliderPressed, this,
            [this] { setProbesAtOnce(m_controls.probesSlider->value()); });
    connect(c.timeoutSlider, &QSlider::valueChanged, this, &MainWindow::setTimeout);
    connect(c.timeoutSlider, &QSlider::sliderPressed, this, [this] { setTimeout(m_controls.timeoutSlider->value()); });
    connect(m_ui->ListProxies->header(), &QHeaderView::sectionClicked, this, &MainWindow::sortByColumn);

    connect(m_checkRun.get(), &CheckRun::started, this, &MainWindow::lockCommands);
    connect(m_checkRun.get(), &CheckRun::finished, this, &MainWindow::finishCheck);
    connect(m_job.get(), &ListJob::finished, this, &MainWindow::finishJob);
    connect(&m_progressTick, &QTimer::timeout, this, &MainWindow::showProgress);
}

void MainWindow::popUpMenu(QMenu *menu, const QWidget *button)
{
    // Right under the pressed button, flush with its left edge.
    const QRect face = button->geometry();
    menu->popup(mapToGlobal(QPoint(face.left(), face.top() + face.height())));
}

void MainWindow::loadFromFileReplace()
{
    loadFromFile(false);
}

void MainWindow::loadFromFileMerge()
{
    loadFromFile(true);
}

void MainWindow::loadFromClipboardReplace()
{
    loadFromClipboard(false);
}

void MainWindow::loadFromClipboardMerge()
{
    loadFromClipboard(true);
}

void MainWindow::loadFromFile(bool merge)
{
    // However the load ends, read, cancelled or unreadable, the counters show the list as it then is.
    runJob(commands().loadFromFile(merge,
                                   [this](bool read, ListCommands::Counters counters) { showLoaded(read, counters); }),
           true);
}

void MainWindow::loadFromClipboard(bool merge)
{
    runJob(commands().loadFromClipboard(
               merge, [this](bool read, ListCommands::Counters counters) { showLoaded(read, counters); }),
           true);
}

void MainWindow::runJob(std::optional<ListJob::Task> task, bool load)
{
    if (!task)
        return load ? refreshCounters() : void();
    m_jobLoads = load;
    setCommandsLocked(true, load);
    m_jobBytes = task->bytes;
    m_jobTime.start();
    m_progressTick.start();
    m_job->start(std::move(task->work));
}

void MainWindow::showProgress()
{
    if (m_jobTime.elapsed() < 500)
        return;
    // Of an unknown size, the bar only says that the job goes on.
    const int permille = m_jobBytes > 0 ? int(std::min<qint64>(m_job->bytesRead() * 1000 / m_jobBytes, 1000)) : 0;
    m_progress->setRange(0, m_jobBytes > 0 ? 1000 : 0);
    m_progress->setValue(permille);
    m_progress->raise();
    m_progress->show();
}

void MainWindow::showLoaded(bool read, const ListCommands::Counters &counters)
{
    if (read)
        showTotal();
    m_controls.workingPanel->setText(QString::number(counters.working));
    m_controls.anonymousPanel->setText(QString::number(counters.anonymous));
    m_jobLoads = false;
}

void MainWindow::finishJob()
{
    m_progressTick.stop();
    m_progress->hide();
    setCommandsLocked(false);
    // An aborted load showed nothing of its own: the list is as it was, and so are the counters, but for the first.
    if (std::exchange(m_jobLoads, false))
        refreshCounters();
}

QStringList MainWindow::mergeFiles(const QStringList &paths)
{
    // The counters stay blank until the first load: no list, no load.
    if (paths.isEmpty())
        return {};
    QStringList failures = commands().mergeFiles(paths);
    if (failures.size() < paths.size())
        showTotal();
    refreshCounters();
    return failures;
}

void MainWindow::testAll()
{
    m_checkRun->start(CheckRows::Mode::All);
}

void MainWindow::testUntested()
{
    m_checkRun->start(CheckRows::Mode::Untested);
}

void MainWindow::testSelected()
{
    m_checkRun->start(CheckRows::Mode::Selected);
}

void MainWindow::testFailed()
{
    m_checkRun->start(CheckRows::Mode::Failed);
}

void MainWindow::keepWorking()
{
    commands().filter(ProxyFilter::working());
    refreshCounters();
}

void MainWindow::keepAnonymous()
{
    commands().filter(ProxyFilter::anonymous());
    refreshCounters();
}

void MainWindow::keepSelected()
{
    commands().keepSelected();
    refreshCounters();
}

void MainWindow::keepBySpeed()
{
    if (commands().keepBySpeed())
        refreshCounters();
}

void MainWindow::askSite()
{
    const std::optional<SiteAnswer> answer = m_desktop.askSite(m_siteAnswer);
    if (!answer)
        return;
    const auto site = answer->siteCheck();
    // The box checks what it hands back; a desktop that does not still changes nothing.
    QString problem = std::holds_alternative<QString>(site) ? std::get<QString>(site) : QString();
    if (problem.isEmpty())
        problem = m_checkRun->setSite(std::get<std::optional<SiteCheck>>(site));
    if (!problem.isEmpty()) {
        m_desktop.warning(tr("Can't set the site"), problem);
        return;
    }
    m_siteAnswer = *answer;
    showSite();
}

void MainWindow::showSite()
{
    const bool set = m_checkRun->site().has_value();
    m_ui->ListProxies->header()->setSectionHidden(int(ListColumn::Site), !set);
    m_controls.actionKeepReachingSite->setEnabled(set);
}

void MainWindow::keepReachingSite()
{
    commands().filter(ProxyFilter::reachesSite());
    refreshCounters();
}

void MainWindow::addCountryItems()
{
    Controls &c = m_controls;
    c.actionKeepByCountry = c.filterMenu->addAction(tr("Keep proxies by country..."));
    c.actionKeepByCountry->setObjectName(QStringLiteral("mKeepByCountry"));
    c.actionKeepByUptime = c.filterMenu->addAction(tr("Keep proxies by uptime..."));
    c.actionKeepByUptime->setObjectName(QStringLiteral("mKeepByUptime"));
    c.actionKeepByUptime->setVisible(false);
    // After the counters, in the room the status bar has left.
    const QWidget *last = c.anonymousPanel;
    c.locationPanel = new QLabel(last->parentWidget());
    c.locationPanel->setObjectName(QStringLiteral("sb1Location"));
    c.locationPanel->setGeometry(last->geometry().right() + 1, last->y(),
                                 last->parentWidget()->width() - last->geometry().right() - 1, last->height());
    c.locationPanel->setIndent(4);
    showLocationNote();
}

void MainWindow::showLocationNote()
{
    const GeoDatabase &database = GeoDatabase::forThisThread();
    const QString note = database.isOpen() ? database.outdatedNote() : database.problem();
    QLabel *panel = m_controls.locationPanel;
    panel->setToolTip(note);
    panel->setText(panel->fontMetrics().elidedText(note, Qt::ElideRight, panel->contentsRect().width() - 8));
}

void MainWindow::keepByCountry()
{
    CountryChoices offered;
    {
        const BusyCursor busy;
        const GeoDatabase &database = GeoDatabase::forThisThread();
        for (const ProxyList::CountryCount &count : m_list->countryCounts()) {
            if (!count.code.isEmpty())
                offered.append({count.code, database.countryName(count.code), count.rows});
        }
    }
    if (offered.isEmpty()) {
        const QString problem = GeoDatabase::forThisThread().problem();
        m_desktop.information(tr("Keep proxies by country"),
                              problem.isEmpty() ? tr("No proxy in the list has a known country.") : problem);
        return;
    }
    const std::optional<QStringList> chosen = m_desktop.askCountries(offered);
    if (!chosen)
        return;
    commands().filter(ProxyFilter::inCountries(*chosen));
    refreshCounters();
}

void MainWindow::setHistory(HistoryRecorder *recorder, const QString &path)
{
    m_ui->ListProxies->header()->setSectionHidden(int(ListColumn::Uptime), false);
    m_controls.actionKeepByUptime->setVisible(true);
    m_uptimes->setHistory(recorder, path);
}

void MainWindow::keepByUptime()
{
    const std::optional<int> percent = m_desktop.askInteger(
        tr("Keep proxies by uptime"), tr("Keep the proxies working in at least (percent):"), 90, 0, 100);
    if (!percent)
        return;
    commands().filter(ProxyFilter::upAtLeast(*percent));
    refreshCounters();
}

void MainWindow::saveAllToClipboard()
{
    commands().saveToClipboard(ListCommands::Rows::All);
}

void MainWindow::saveAllToFile()
{
    saveToFile(false);
}

void MainWindow::saveToFile(bool selected)
{
    // A save runs to its end: a file half replaced is worse than one a moment late.
    runJob(commands().saveToFile(selected ? ListCommands::Rows::Selected : ListCommands::Rows::All), false);
}

void MainWindow::saveSelectedToClipboard()
{
    commands().saveToClipboard(ListCommands::Rows::Selected);
}

void MainWindow::saveSelectedToFile()
{
    saveToFile(true);
}

void MainWindow::abortCheck()
{
    // A load's table stays as it was.
    if (m_job->isRunning())
        return m_job->cancel();
    m_checkRun->abort();
}

void MainWindow::exitProgram()
{
    m_desktop.openUrl(AboutPage::withDatabaseLine(m_aboutPage, GeoDatabase::forThisThread().summary(),
                                                  QStandardPaths::writableLocation(QStandardPaths::CacheLocation)));
    // A check in progress is cut off where it stands, without its completion message; so is a load.
    m_checkRun->stop();
    m_job->cancel();
    Q_EMIT exitRequested();
}

void MainWindow::setProbesAtOnce(int probes)
{
    CheckSettings settings = m_checkRun->settings();
    settings.probesAtOnce = probes;
    m_checkRun->setSettings(settings);
    m_controls.probesLabel->setText(QString::number(probes));
}

void MainWindow::setTimeout(int seconds)
{
    CheckSettings settings = m_checkRun->settings();
    settings.timeout = std::chrono::seconds(seconds);
    m_checkRun->setSettings(settings);
    m_controls.timeoutLabel->setText(QString::number(seconds));
}

void MainWindow::sortByColumn(int section)
{
    QHeaderView *header = m_ui->ListProxies->header();
    // A load under way reads the rows where they are.
    if (m_checkRun->isRunning() || m_job->isRunning()) {
        // The header flips its arrow before it reports the click; the rows stay, so the arrow goes back too.
        header->setSortIndicator(m_sortKey, m_sortOrder);
        m_desktop.warning(tr("Can't sort list"), tr("You can not sort list while testing proxies."));
        return;
    }
    m_sortKey = section;
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    header->setSortIndicatorShown(true);
    header->setSortIndicator(m_sortKey, m_sortOrder);
    m_model->sort(m_sortKey, m_sortOrder);
}

void MainWindow::lockCommands()
{
    setCommandsLocked(true);
}

void MainWindow::setCommandsLocked(bool locked, bool abortable)
{
    const Controls &c = m_controls;
    // A disabled button hands the focus on to the next enabled one, which would be Exit: the focus goes to Abort
    // before the commands are locked, and back to the Test button before Abort is disabled, so that no key press
    // during or after a run can quit.
    if (locked) {
        c.abortButton->setEnabled(abortable);
        (abortable ? c.abortButton : static_cast<QWidget *>(m_ui->ListProxies))->setFocus(Qt::OtherFocusReason);
    }
    for (QWidget *control : std::initializer_list<QWidget *>{c.loadButton, c.testButton, c.filterButton, c.saveButton,
                                                             c.probesSlider, c.timeoutSlider})
        control->setEnabled(!locked);
    if (!locked) {
        c.testButton->setFocus(Qt::OtherFocusReason);
        c.abortButton->setEnabled(false);
    }
}

void MainWindow::finishCheck(const RunOutcome &outcome)
{
    setCommandsLocked(false);
    refreshCounters();
    // The run looked for a newer database before it began; its verdicts are in the history now.
    showLocationNote();
    m_uptimes->refresh();
    QString silentHosts;
    for (const RunOutcome::SilentHost &host : outcome.silentHosts)
        silentHosts += QStringLiteral("\n%1: %2").arg(host.host, host.reason);
    if (!outcome.probed) {
        // Abort while the echo hosts were asked: nothing was tested, and the user knows why.
        if (!outcome.aborted)
            m_desktop.warning(tr("Proxy Checking Not Started."),
                              tr("No echo host answered:%1\n\nNo proxy was tested.").arg(silentHosts));
        return;
    }
    if (!outcome.shortage.isEmpty()) {
        m_desktop.warning(tr("Proxy Checking Stopped."),
                          tr("This computer could not open another connection (%1), so the check stopped after the "
                             "proxies under way.\n\nThe proxies it did not get to are still untested: \"Test "
                             "untested proxies\" goes on with them.")
                              .arg(outcome.shortage));
        return;
    }
    QString text = tr("The proxies have been checked.");
    if (!silentHosts.isEmpty())
        text += QStringLiteral("\n\n") +
                tr("These echo hosts did not answer, and the proxies were tested without them:%1").arg(silentHosts);
    QString frontedHosts;
    for (const RunOutcome::SilentHost &host : outcome.frontedHosts)
        frontedHosts += QStringLiteral("\n%1: %2").arg(host.host, host.reason);
    if (!frontedHosts.isEmpty())
        text += QStringLiteral("\n\n") +
                tr("These echo hosts returned origin headers when asked directly: something between this computer and "
                   "them adds those, so the grades of the proxies checked through them cannot be trusted:%1")
                    .arg(frontedHosts);
    QString lostHosts;
    for (const RunOutcome::SilentHost &host : outcome.lostHosts)
        lostHosts += QStringLiteral("\n%1: %2").arg(host.host, host.reason);
    if (!lostHosts.isEmpty() && outcome.echoLost) {
        text += QStringLiteral("\n\n") +
                tr("Every echo host stopped answering during the check:%1\n\nThe proxies they failed since they last "
                   "answered, and those not reached, are still untested: \"Test untested proxies\" goes on with them "
                   "once an echo host answers.")
                    .arg(lostHosts);
        m_desktop.warning(tr("Proxy Checking Completed."), text);
        return;
    }
    if (!lostHosts.isEmpty())
        text += QStringLiteral("\n\n") +
                tr("These echo hosts stopped answering during the check, and the proxies they had failed since they "
                   "last answered were tested again through the others:%1")
                    .arg(lostHosts);
    if (outcome.echoLost) {
        text += QStringLiteral("\n\n") +
                tr("The echo host stopped answering during the check: no proxy was found working, and "
                   "these verdicts are not to be trusted. Test again once the echo host answers.");
        m_desktop.warning(tr("Proxy Checking Completed."), text);
        return;
    }
    m_desktop.information(tr("Proxy Checking Completed."), text);
}

void MainWindow::showTotal()
{
    m_controls.totalPanel->setText(QString::number(m_list->count()));
}

void MainWindow::refreshCounters()
{
    m_controls.workingPanel->setText(QString::number(ProxyFilter::working().count(*m_list)));
    m_controls.anonymousPanel->setText(QString::number(ProxyFilter::anonymous().count(*m_list)));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Left alone, the run would go on probing for a window nobody sees.
    if (m_checkRun->isRunning()) {
        m_checkRun->stop();
        Q_EMIT exitRequested();
    }
    m_job->cancel();
    event->accept();
}
