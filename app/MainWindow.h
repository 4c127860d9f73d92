#pragma once

#include "app/ListCommands.h"
#include "app/ListJob.h"
#include "app/SiteAnswer.h"
#include "proxylist/ProxyAddress.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class CheckRun;
struct RunOutcome;
class Desktop;
class ProxyList;
class ProxyTableModel;
class QAction;
class HistoryRecorder;
class QLabel;
class UptimeReader;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;

namespace Ui {
class MainWindow;
}

// The one window of the program. Its controls keep fixed positions and sizes, given in pixels at 96 dpi in
// MainWindow.ui, where they keep the names they have always had (cmdProxy_0 to cmdProxy_5, Sliders_0, …); the
// code reaches each through a member named by what it does. Each control reaches the code through a slot of its own.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    // The controls by what they do, every one given by bindControls() but those the add...() functions make.
    struct Controls // NOLINT(cppcoreguidelines-pro-type-member-init)
    {
        QPushButton *loadButton, *testButton, *filterButton, *saveButton, *abortButton, *exitButton;
        QMenu *loadMenu, *testMenu, *filterMenu, *saveMenu;
        QSlider *probesSlider, *timeoutSlider;
        QLabel *probesLabel, *timeoutLabel;
        QLabel *totalPanel, *workingPanel, *anonymousPanel;
        QAction *actionLoadFileReplace, *actionLoadFileMerge, *actionLoadClipboardReplace, *actionLoadClipboardMerge;
        QAction *actionTestAll, *actionTestUntested, *actionTestSelected;
        QAction *actionKeepWorking, *actionKeepAnonymous, *actionKeepSelected, *actionKeepBySpeed;
        QAction *actionSaveAllToClipboard, *actionSaveAllToFile, *actionSaveSelectedToClipboard,
            *actionSaveSelectedToFile;
        // "Bare Rows As" in the Test menu: the protocol of rows without a scheme, an item for each.
        QMenu *bareRowsMenu = nullptr;
        std::array<QAction *, ProxyAddress::ProtocolCount> bareRowsActions{};
        // "Target Site..." in the Test menu, and the Filter menu's item that keeps the proxies reaching the site.
        QAction *actionTargetSite = nullptr, *actionKeepReachingSite = nullptr;
        // "Keep proxies by country..." in the Filter menu, and the status bar's note on the location database.
        QAction *actionKeepByCountry = nullptr;
        // "Test Failed" beside the other test items, and "Retries" after "Bare Rows As".
        QAction *actionTestFailed = nullptr;
        QMenu *retriesMenu = nullptr;
        // "Keep proxies by uptime..." in the Filter menu, there while a history is kept.
        QAction *actionKeepByUptime = nullptr;
        QLabel *locationPanel = nullptr;
    };

    explicit MainWindow(Desktop &desktop, QWidget *parent = nullptr);
    ~MainWindow() override;

    const Controls &controls() const { return m_controls; }
    ProxyList &list() { return *m_list; }
    ProxyTableModel &model() { return *m_model; }
    CheckRun &checkRun() { return *m_checkRun; }
    // The history of checks the Uptime column reads, written by recorder (which must outlive the window) or by
    // another program when null; the column and its filter are there from then on.
    void setHistory(HistoryRecorder *recorder, const QString &path);
    UptimeReader &uptimes() { return *m_uptimes; }
    // The load or save of the list under way, if any.
    const ListJob &listJob() const { return *m_job; }
    // The lists named on the command line: "Load and merge" of each, in order. Returns "file: reason" for each
    // one that could not be read.
    QStringList mergeFiles(const QStringList &paths);

Q_SIGNALS:
    // The program should end now (Exit was pressed, or the window closed during a run).
    void exitRequested();

private Q_SLOTS:
    void loadFromFileReplace();
    void loadFromFileMerge();
    void loadFromClipboardReplace();
    void loadFromClipboardMerge();
    void testAll();
    void testUntested();
    void testSelected();
    void testFailed();
    void keepWorking();
    void keepAnonymous();
    void keepSelected();
    void keepBySpeed();
    void askSite();
    void keepReachingSite();
    void keepByCountry();
    void keepByUptime();
    void saveAllToClipboard();
    void saveAllToFile();
    void saveSelectedToClipboard();
    void saveSelectedToFile();
    void abortCheck();
    void exitProgram();
    void setProbesAtOnce(int probes);
    void setTimeout(int seconds);
    // section is the column whose header was clicked.
    void sortByColumn(int section);
    void lockCommands();
    void finishCheck(const RunOutcome &outcome);
    void finishJob();
    void showLoaded(bool read, const ListCommands::Counters &counters);
    void showProgress();

protected:
    // Closing the window during a check stops the check and ends the program.
    void closeEvent(QCloseEvent *event) override;

private:
    Controls bindControls() const;
    ListCommands commands();
    void setUpTable();
    void connectControls();
    // A submenu of the Test menu offering one of the choices, told to choose by its place.
    QMenu *addChoiceMenu(const QString &title, const QString &objectName, const QStringList &choices,
                         const std::function<void(int)> &choose);
    void addBareRowsMenu();
    void addRetryItems();
    void addSiteItems();
    // The Site column and the filter by the site are there exactly while a site is set.
    void showSite();
    void addCountryItems();
    // Why no country is known, or that the database is old and how to update it; blank when neither.
    void showLocationNote();
    void popUpMenu(QMenu *menu, const QWidget *button);
    // abortable: Abort is enabled while they are locked.
    void setCommandsLocked(bool locked, bool abortable = true);
    // Runs a load or save on its job's thread, the commands locked meanwhile. A load may be aborted, and ends with
    // the counters refreshed, even when it has no task (the dialog was cancelled).
    void runJob(std::optional<ListJob::Task> task, bool load);
    void loadFromFile(bool merge);
    void loadFromClipboard(bool merge);
    void saveToFile(bool selected);
    void showTotal();
    void refreshCounters();

    Desktop &m_desktop;
    QUrl m_aboutPage;
    ProxyList *m_list;
    ProxyTableModel *m_model;
    UptimeReader *m_uptimes;
    // A member rather than a child: it goes before the list, so a run still under way stops while all it touches
    // exists.
    std::unique_ptr<CheckRun> m_checkRun;
    std::unique_ptr<Ui::MainWindow> m_ui;
    // A member too: a load under way stops, and its thread ends, before the list goes.
    std::unique_ptr<ListJob> m_job;
    // Bytes read of the list's size, for a job longer than half a second: shown in the status bar.
    QProgressBar *m_progress = nullptr;
    QTimer m_progressTick;
    QElapsedTimer m_jobTime;
    qint64 m_jobBytes = -1;
    // A load under way, whose outcome has not shown its counters yet.
    bool m_jobLoads = false;
    Controls m_controls{};
    // The site as last answered, offered when asked again.
    SiteAnswer m_siteAnswer;

    // Sorting of the list by header clicks: the column and the order. Rows move only at a click; rows added
    // later go to the end.
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
