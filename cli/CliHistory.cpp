#include "cli/CliHistory.h"

#include "cli/CliOptions.h"
#include "cli/StandardStreams.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "proxylist/ProxyList.h"

CliHistory::CliHistory(const CliOptions &options)
    : m_path(options.historyPath.isEmpty() ? HistoryStore::defaultPath() : options.historyPath),
      m_keeps(options.keepsHistory)
{}

CliHistory::~CliHistory()
{
    // Commits what is left; a failure on the way is still said.
    if (m_recorder)
        m_recorder->flush();
    if (m_recorder && !m_recorder->problem().isEmpty())
        tell(m_recorder->problem());
}

void CliHistory::tell(const QString &why)
{
    if (!std::exchange(m_told, true))
        printError(tr("%1; the check goes on without it").arg(why));
}

void CliHistory::start()
{
    if (!m_keeps || m_recorder)
        return;
    m_recorder = std::make_unique<HistoryRecorder>(m_path);
    QObject::connect(m_recorder.get(), &HistoryRecorder::failed, m_recorder.get(),
                     [this](const QString &why) { tell(why); });
    if (const QString why = m_recorder->start(); !why.isEmpty())
        tell(why);
}

void CliHistory::follow(const CheckRun &run, const ProxyList &list)
{
    if (m_recorder)
        m_recorder->follow(run, list);
}

QString CliHistory::readInto(ProxyList &list)
{
    if (!m_reader) {
        m_reader = std::make_unique<HistoryStore>(m_path);
        if (QString why = m_reader->open(); !why.isEmpty()) {
            m_reader.reset();
            return why;
        }
    }
    std::vector<QByteArray> texts(size_t(list.count()));
    for (int row = 0; row < list.count(); ++row)
        texts[size_t(row)] = QByteArray(list.text(row).data(), list.text(row).size());
    const Result<std::vector<std::optional<RowHistory>>> found = m_reader->histories(texts);
    if (!found)
        return found.error();
    for (int row = 0; row < list.count(); ++row) {
        if (const std::optional<RowHistory> &history = (*found)[size_t(row)])
            list.setHistory(row, *history);
    }
    return {};
}

void CliHistory::annotate(ProxyList &list)
{
    if (!m_recorder || !m_recorder->problem().isEmpty())
        return;
    m_recorder->flush();
    if (const QString why = readInto(list); !why.isEmpty())
        tell(why);
}

QString CliHistory::keepFailed(ProxyList &list)
{
    if (QString why = readInto(list); !why.isEmpty())
        return why;
    std::vector<bool> failed(size_t(list.count()));
    for (int row = 0; row < list.count(); ++row) {
        const std::optional<RowHistory> history = list.history(row);
        failed[size_t(row)] = history && kindOf(history->lastStatus).failed;
    }
    list.keepRows(failed);
    return {};
}
