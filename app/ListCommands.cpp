#include "app/ListCommands.h"

#include "app/BusyCursor.h"
#include "app/Desktop.h"
#include "proxylist/NativeName.h"
#include "proxylist/ProxyExporter.h"
#include "proxylist/ProxyFilter.h"
#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/ProxyValidator.h"
#include "proxylist/StatusPanels.h"

#include <QDir>

ListCommands::ListCommands(Desktop &desktop, ProxyTableModel &table, StatusPanels &panels)
    : m_desktop(desktop), m_table(table), m_panels(panels)
{}

void ListCommands::load(int index)
{
    if (index < LoadReplace || index > LoadClipboardMerge)
        return;
    readList(index);
    // However the load ended, read, cancelled or unreadable, the counters show the table as it now is.
    m_panels.updateCounters(m_table);
}

QStringList ListCommands::mergeFiles(const QStringList &paths)
{
    // The counters stay blank until the first load: no list, no load.
    if (paths.isEmpty())
        return {};
    const ProxyValidator validator;
    ProxyLoader loader(m_table, m_panels, validator);
    QStringList failures;
    for (const QString &path : paths) {
        if (const Result<> result = loader.loadFromFile(path, true); !result)
            failures.append(NativeName::readable(path) + QStringLiteral(": ") + result.error());
    }
    m_panels.updateCounters(m_table);
    return failures;
}

void ListCommands::readList(int index)
{
    const bool merge = index == LoadMerge || index == LoadClipboardMerge;
    const ProxyValidator validator;
    ProxyLoader loader(m_table, m_panels, validator);

    if (index == LoadReplace || index == LoadMerge) {
        // The table is cleared only once a file has been read, so a cancel or a bad file loses no results.
        const std::optional<QString> path = m_desktop.openFileName();
        if (!path)
            return;
        // A file that cannot be read ends the command silently, as every load failure always has.
        const BusyCursor busy;
        loader.loadFromFile(*path, merge);
    } else {
        const QString text = m_desktop.clipboardText();
        const BusyCursor busy;
        loader.loadFromClipboard(text, merge);
    }
}

void ListCommands::save(int index)
{
    if (index < SaveAllClipboard || index > SaveSelectedFile || index == SaveAllBox || index == SaveSelectedBox)
        return;
    const ProxyExporter exporter(m_table, index >= SaveSelectedClipboard);

    if (index == SaveAllClipboard || index == SaveSelectedClipboard) {
        m_desktop.setClipboardText(exporter.text());
        return;
    }
    const std::optional<QString> path = m_desktop.saveFileName();
    if (!path)
        return;
    Result<> result;
    {
        const BusyCursor busy;
        result = exporter.saveToFile(*path);
    }
    if (!result)
        showFileFailure(tr("Can't save proxies"),
                        tr("The proxies could not be saved to \"%1\".").arg(QDir::toNativeSeparators(*path)),
                        result.error());
}

void ListCommands::filter(int index)
{
    if (index < ProxyFilter::KeepWorking || index > ProxyFilter::KeepAll)
        return;
    {
        const BusyCursor busy;
        ProxyFilter(ProxyFilter::Rule(index)).apply(m_table);
    }
    m_desktop.information(tr("Proxy filter complete"), tr("Proxies filtered successfully."));
    m_panels.updateCounters(m_table);
}

void ListCommands::showFileFailure(const QString &title, const QString &what, const QString &reason)
{
    m_desktop.warning(title, what + u"\n\n" + reason);
}
