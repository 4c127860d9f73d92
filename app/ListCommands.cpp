#include "app/ListCommands.h"

#include "app/BusyCursor.h"
#include "app/Desktop.h"
#include "checker/CheckSettings.h"
#include "proxylist/ListFileWriter.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyValidator.h"
#include "proxylist/ProxyWriter.h"
#include "proxylist/RowSelection.h"
#include "proxylist/RowText.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

std::optional<ListJob::Task> ListCommands::loadFromFile(bool merge, const Loaded &loaded)
{
    // The list is changed only once a file has been read, so a cancel or a bad file loses no results.
    const std::optional<QString> path = m_desktop.openFileName();
    if (!path)
        return std::nullopt;
    const QFileInfo file(*path);
    return ListJob::Task{[&list = m_list, path = *path, merge, loaded](const ListFileReader::Watch &watch) {
                             const ProxyValidator validator;
                             const Result<ProxyLoader::Commit> read =
                                 ProxyLoader(list, validator).readFile(path, merge, watch);
                             // A file that cannot be read ends the command silently, as every load failure always
                             // has.
                             return loadOutcome(list, merge, read ? std::optional(*read) : std::nullopt, loaded);
                         },
                         file.isFile() ? file.size() : -1};
}

ListJob::Task ListCommands::loadFromClipboard(bool merge, const Loaded &loaded)
{
    return {[&list = m_list, text = m_desktop.clipboardText(), merge, loaded](const ListFileReader::Watch &) {
        const ProxyValidator validator;
        return loadOutcome(list, merge, ProxyLoader(list, validator).readClipboard(text, merge), loaded);
    }};
}

ListJob::Outcome ListCommands::loadOutcome(const ProxyList &list, bool merge, std::optional<ProxyLoader::Commit> commit,
                                           const Loaded &loaded)
{
    // New rows are untested, and a merge keeps every row of the list, which never holds one text twice; a failed
    // load keeps the list as it is.
    const Counters counters = commit && !merge
                                  ? Counters{0, 0}
                                  : Counters{ProxyFilter::working().count(list), ProxyFilter::anonymous().count(list)};
    return [commit = std::move(commit), loaded, counters] {
        if (commit)
            (*commit)();
        loaded(bool(commit), counters);
    };
}

QStringList ListCommands::mergeFiles(const QStringList &paths)
{
    const ProxyValidator validator;
    return ProxyLoader(m_list, validator).mergeLists(paths, ListFileReader::OrdinaryFiles);
}

std::vector<int> ListCommands::rowsOf(Rows rows) const
{
    return rows == Rows::All ? ProxyFilter::everyRow().rows(m_list) : ProxyFilter::rowsOf(m_selection.selectedRows());
}

void ListCommands::saveToClipboard(Rows rows)
{
    // Text, not bytes: a UTF-8 row reads as written.
    m_desktop.setClipboardText(RowText::decode(ProxyWriter::list(m_list, rowsOf(rows))));
}

std::optional<ListJob::Task> ListCommands::saveToFile(Rows rows)
{
    const std::optional<QString> path = m_desktop.saveFileName();
    if (!path)
        return std::nullopt;
    // The selection is the view's, read here; the rows' texts are read on the job's thread.
    return ListJob::Task{
        [&list = m_list, &desktop = m_desktop, path = *path, rows = rowsOf(rows)](const ListFileReader::Watch &) {
            const Result<> saved = ListFileWriter(path).write(ProxyWriter::list(list, rows));
            return saved ? ListJob::Outcome() : ListJob::Outcome([&desktop, path, error = saved.error()] {
                desktop.warning(tr("Can't save proxies"),
                                tr("The proxies could not be saved to \"%1\".").arg(QDir::toNativeSeparators(path)) +
                                    u"\n\n" + error);
            });
        }};
}

std::optional<int> ListCommands::medianTime() const
{
    std::vector<int> times;
    for (int r = 0; r < m_list.count(); ++r) {
        if (const std::optional<int> ms = m_list.result(r).ms)
            times.push_back(*ms);
    }
    if (times.empty())
        return std::nullopt;
    const auto middle = times.begin() + qsizetype(times.size() - 1) / 2;
    std::nth_element(times.begin(), middle, times.end());
    return *middle;
}

bool ListCommands::keepBySpeed()
{
    // Without a time to offer, any answer would only empty the list.
    const std::optional<int> median = medianTime();
    if (!median) {
        m_desktop.information(tr("Keep proxies by speed"), tr("No proxy has a time yet."));
        return false;
    }
    // Up to the longest timeout: no probe waits longer.
    const std::optional<int> slowest =
        m_desktop.askInteger(tr("Keep proxies by speed"), tr("Keep the proxies that answered within (milliseconds):"),
                             *median, 1, int(CheckLimits::LongestAnswer.count()));
    if (!slowest)
        return false;
    filter(ProxyFilter::within(*slowest));
    return true;
}

void ListCommands::filter(const ProxyFilter &filter)
{
    keep(filter.matching(m_list));
}

void ListCommands::keepSelected()
{
    keep(m_selection.selectedRows());
}

void ListCommands::keep(const std::vector<bool> &rows)
{
    {
        const BusyCursor busy;
        m_list.keepRows(rows);
    }
    m_desktop.information(tr("Proxy filter complete"), tr("Proxies filtered successfully."));
}
