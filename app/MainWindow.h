#pragma once

#include "checker/CheckRunHost.h"
#include "checker/RunControl.h"

#include <QUrl>
#include <QVector>
#include <QWidget>

#include <memory>

class Desktop;
class ProxyTableModel;
class StatusPanels;
class CheckRun;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QStatusBar;
class QTreeView;

// The one window of the program. Its controls keep fixed positions and sizes, given in pixels at 96 dpi;
// the handlers below are the program's whole reaction to the user.
class MainWindow : public QWidget, private CheckRunHost
{
    Q_OBJECT

public:
    // Opened by Exit.
    static const QUrl MakerPage;

    enum Command { LoadCommand, TestCommand, FilterCommand, SaveCommand, AbortCommand, ExitCommand, CommandCount };

    explicit MainWindow(Desktop &desktop, QWidget *parent = nullptr);
    ~MainWindow() override;

    ProxyTableModel &table() { return *m_table; }
    StatusPanels &panels() { return *m_panels; }
    RunControl &runControl() { return m_run; }
    CheckRun &checkRun() { return *m_checkRun; }

public Q_SLOTS:
    void cmdProxy_Click(int index);
    void Sliders_Change(int index);
    // section is the 0-based column whose header was clicked.
    void ListProxies_ColumnClick(int section);
    void mProxyLoad_Click(int index);
    void mProxyTest_Click(int index);
    void mProxyFilter_Click(int index);
    void mProxySave_Click(int index);

Q_SIGNALS:
    // The program should end now (Exit was pressed).
    void exitRequested();

protected:
    // Closing the window during a test run stops the run and ends the program.
    void closeEvent(QCloseEvent *event) override;

private:
    void setCommandsLocked(bool locked) override;
    void showCompletionMessage() override;
    void createTable();
    void createSettingsFrame();
    void createButtons();
    void createStatusBar();
    void createMenus();
    void setTabOrder();
    QMenu *createSubMenu(int index, const QString &title, const QStringList &items, const char *itemName,
                         void (MainWindow::*handler)(int));
    QAction *menuItem(QMenu *menu, int index) const;
    Qt::SortOrder sortOrder() const;

    Desktop &m_desktop;
    ProxyTableModel *m_table;
    StatusPanels *m_panels;
    RunControl m_run;
    // A member rather than a child: it goes before the table, so a run still under way stops while all it
    // touches exists.
    std::unique_ptr<CheckRun> m_checkRun;

    QTreeView *m_listProxies = nullptr;
    QGroupBox *m_frame = nullptr;
    QVector<QPushButton *> m_cmdProxy;
    QVector<QSlider *> m_sliders;
    QVector<QLabel *> m_lblSliders;
    QStatusBar *m_statusBar = nullptr;
    QVector<QLabel *> m_panelLabels;
    QMenu *m_proxyMenu = nullptr;
    QVector<QMenu *> m_subMenus;

    // Sorting of the table by header clicks: 0 ascending, 1 descending. Rows move only at a click; rows added
    // later go to the end.
    int m_sortKey = 0;
    int m_sortOrder = 0;
};
