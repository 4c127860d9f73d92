#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class Desktop;
class ProxyTableModel;
class StatusPanels;

// The load, save and filter menu items: they ask the desktop for a file or the clipboard, run the list routine
// and tell the user when a list could not be written. Indexes are those of the items in their menus.
class ListCommands
{
    Q_DECLARE_TR_FUNCTIONS(ListCommands)

public:
    enum LoadItem { LoadReplace, LoadMerge, LoadClipboardReplace, LoadClipboardMerge };
    enum SaveItem {
        SaveAllClipboard,
        SaveAllBox,
        SaveAllFile,
        SaveSelectedClipboard,
        SaveSelectedBox,
        SaveSelectedFile
    };

    ListCommands(Desktop &desktop, ProxyTableModel &table, StatusPanels &panels);

    void load(int index);
    // Loads each file as "Load and merge" does, in order, without asking; returns "file: reason" for each
    // file that could not be read.
    QStringList mergeFiles(const QStringList &paths);
    void save(int index);
    void filter(int index);

private:
    // Runs the load routine of a load item, which ends early on a cancel or an unreadable file.
    void readList(int index);
    void showFileFailure(const QString &title, const QString &what, const QString &reason);

    Desktop &m_desktop;
    ProxyTableModel &m_table;
    StatusPanels &m_panels;
};
