#pragma once

#include "app/ListJob.h"
#include "proxylist/ProxyLoader.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class Desktop;
class ProxyFilter;
class ProxyList;
class RowSelection;

// The load, save and filter commands: they ask the desktop for a file or the clipboard, run the list routine and
// tell the user when a list could not be written. The window refreshes its counters after them. Loads and saves to a
// file are handed back as tasks for a ListJob: they ask on the window's thread, read or write on the job's.
class ListCommands
{
    Q_DECLARE_TR_FUNCTIONS(ListCommands)

public:
    enum class Rows { All, Selected };

    ListCommands(Desktop &desktop, ProxyList &list, const RowSelection &selection)
        : m_desktop(desktop), m_list(list), m_selection(selection)
    {}

    // The working and anonymous rows of the list as a load leaves it.
    struct Counters
    {
        qsizetype working;
        qsizetype anonymous;
    };
    // Told on the window's thread once a load has ended: whether it read its list (its rows are in), and the
    // counters, worked out on the job's thread, where a count of millions of rows keeps no window waiting.
    using Loaded = std::function<void(bool read, Counters counters)>;
    // The load of the file chosen. Nothing when the dialog was cancelled; a load that fails ends silently and
    // changes nothing.
    std::optional<ListJob::Task> loadFromFile(bool merge, const Loaded &loaded);
    ListJob::Task loadFromClipboard(bool merge, const Loaded &loaded);
    // Loads each file as "Load and merge" does, in order, without asking; returns "file: reason" for each file that
    // could not be read. Paths are native names (see NativeName).
    QStringList mergeFiles(const QStringList &paths);
    void saveToClipboard(Rows rows);
    // Nothing when the dialog was cancelled.
    std::optional<ListJob::Task> saveToFile(Rows rows);
    void filter(const ProxyFilter &filter);
    void keepSelected();
    // Asks for the slowest time to keep, then keeps the working proxies that answered within it. False when the
    // user cancelled or no proxy has a time (then nothing is asked): nothing changed.
    bool keepBySpeed();

private:
    std::vector<int> rowsOf(Rows rows) const;
    // What a load's outcome does, the read's commit given when it read its list.
    static ListJob::Outcome loadOutcome(const ProxyList &list, bool merge, std::optional<ProxyLoader::Commit> commit,
                                        const Loaded &loaded);
    // Keeps the rows flagged, then says the filter is done.
    void keep(const std::vector<bool> &rows);
    // The median time of the working rows; nothing when none has a time.
    std::optional<int> medianTime() const;

    Desktop &m_desktop;
    ProxyList &m_list;
    const RowSelection &m_selection;
};
