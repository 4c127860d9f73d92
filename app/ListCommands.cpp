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

#include <algorithm>

bool ListCommands::loadFromFile(bool merge)
{
    // The list is cleared only once a file has been read, so a cancel or a bad file loses no results.
    const std::optional<QString> path = m_desktop.openFileName();
    if (!path)
        return false;
    const BusyCursor busy;
    const ProxyValidator validator;
    // A file that cannot be read ends the command silently, as every load failure always has.
    return bool(ProxyLoader(m_list, validator).loadFromFile(*path, merge));
}

void ListCommands::loadFromClipboard(bool merge)
{
    const QString text = m_desktop.clipboardText();
    const BusyCursor busy;
    const ProxyValidator validator;
    ProxyLoader(m_list, validator).loadFromClipboard(text, merge);
}

QStringList ListCommands::mergeFiles(const QStringList &paths)
{
    const ProxyValidator validator;
    return ProxyLoader(m_list, validator).mergeLists(paths, ListFileReader::OrdinaryFiles);
}

QByteArray ListCommands::listOf(Rows rows) const
{
    return ProxyWriter::list(m_list, rows == Rows::All ? ProxyFilter::everyRow().rows(m_list)
                                                       : ProxyFilter::rowsOf(m_selection.selectedRows()));
}

void ListCommands::saveToClipboard(Rows rows)
{
    // Text, not bytes: a UTF-8 row reads as written.
    m_desktop.setClipboardText(RowText::decode(listOf(rows)));
}

void ListCommands::saveToFile(Rows rows)
{
    const std::optional<QString> path = m_desktop.saveFileName();
    if (!path)
        return;
    Result<> saved;
    {
        const BusyCursor busy;
        saved = ListFileWriter(*path).write(listOf(rows));
    }
    if (!saved)
        m_desktop.warning(tr("Can't save proxies"),
                          tr("The proxies could not be saved to \"%1\".").arg(QDir::toNativeSeparators(*path)) +
                              u"\n\n" + saved.error());
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
