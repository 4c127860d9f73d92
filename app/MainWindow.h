#pragma once

#include "checker/CheckRunHost.h"

#include <QUrl>
#include <QVector>
#include <QWidget>

#include <memory>

class Desktop;
class ProxyTableModel;
class StatusPanels;
class CheckRun;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;

namespace Ui {
class MainWindow;
}

// The one window of the program. Its controls keep fixed positions and sizes, given in pixels at 96 dpi in
// MainWindow.ui; the handlers below are the program's whole reaction to the user.
class MainWindow : public QWidget, private CheckRunHost
{
    Q_OBJECT

public:
    enum Command { LoadCommand, TestCommand, FilterCommand, SaveCommand, AbortCommand, ExitCommand, CommandCount };

    explicit MainWindow(Desktop &desktop, QWidget *parent = nullptr);
    ~MainWindow() override;

    ProxyTableModel &table() { return *m_table; }
    StatusPanels &panels() { return *m_panels; }
    CheckRun &checkRun() { return *m_checkRun; }
    // The page about the program that Exit opens: a local file shipped with it.
    const QUrl &aboutPage() const { return m_aboutPage; }
    // The lists named on the command line: "Load and merge" of each, in order. Returns "file: reason" for each
    // one that could not be read.
    QStringList mergeFiles(const QStringList &paths);

public Q_SLOTS:
    void commandClicked(int index);
    void sliderChanged(int index);
    // section is the 0-based column whose header was clicked.
    void headerClicked(int section);
    void loadChosen(int index);
    void testChosen(int index);
    void filterChosen(int index);
    void saveChosen(int index);

Q_SIGNALS:
    // The program should end now (Exit was pressed).
    void exitRequested();

protected:
    // Closing the window during a test run stops the run and ends the program.
    void closeEvent(QCloseEvent *event) override;

private:
    void setCommandsLocked(bool locked) override;
    void showCompletionMessage(const QString &shortage) override;
    void nameArrayElements();
    void setUpTable();
    void connectControls();
    void connectMenuItems(const char *name, void (MainWindow::*handler)(int));
    Qt::SortOrder sortOrder() const;

    Desktop &m_desktop;
    QUrl m_aboutPage;
    ProxyTableModel *m_table;
    StatusPanels *m_panels;
    // A member rather than a child: it goes before the table, so a run still under way stops while all it
    // touches exists.
    std::unique_ptr<CheckRun> m_checkRun;

    std::unique_ptr<Ui::MainWindow> m_ui;
    // The control arrays, in index order.
    QVector<QPushButton *> m_cmdProxy;
    QVector<QSlider *> m_sliders;
    QVector<QLabel *> m_lblSliders;
    QVector<QMenu *> m_subMenus;
    QVector<QLabel *> m_panelLabels;

    // Sorting of the table by header clicks: 0 ascending, 1 descending. Rows move only at a click; rows added
    // later go to the end.
    int m_sortKey = 0;
    int m_sortOrder = 0;
};
