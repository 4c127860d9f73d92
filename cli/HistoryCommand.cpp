#include "cli/HistoryCommand.h"

#include "cli/StandardStreams.h"
#include "history/HistoryStore.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyWriter.h"

#include <QDateTime>

#include <numeric>

int HistoryCommand::run()
{
    HistoryStore store(m_options.historyPath.isEmpty() ? HistoryStore::defaultPath() : m_options.historyPath);
    if (const QString why = store.open(true); !why.isEmpty()) {
        printError(why);
        return 1;
    }
    if (m_options.forgetOlderThan) {
        const Result<qint64> forgotten =
            store.forgetBefore(QDateTime::currentMSecsSinceEpoch() - *m_options.forgetOlderThan);
        if (!forgotten) {
            printError(forgotten.error());
            return 1;
        }
        printError(tr("checks forgotten: %1").arg(*forgotten));
        return 0;
    }
    if (m_options.files.isEmpty()) {
        const Result<std::vector<std::pair<QByteArray, RowHistory>>> every = store.everyHistory();
        if (!every) {
            printError(every.error());
            return 1;
        }
        QStringList texts;
        texts.reserve(qsizetype(every.value().size()));
        for (const auto &[text, history] : *every)
            texts.append(QString::fromLatin1(text));
        m_list.addRows(texts);
        for (int row = 0; row < m_list.count(); ++row)
            m_list.setHistory(row, (*every)[size_t(row)].second);
    } else {
        std::vector<QByteArray> texts(size_t(m_list.count()));
        for (int row = 0; row < m_list.count(); ++row)
            texts[size_t(row)] = QByteArray(m_list.text(row).data(), m_list.text(row).size());
        const Result<std::vector<std::optional<RowHistory>>> found = store.histories(texts);
        if (!found) {
            printError(found.error());
            return 1;
        }
        for (int row = 0; row < m_list.count(); ++row) {
            if ((*found)[size_t(row)])
                m_list.setHistory(row, *(*found)[size_t(row)]);
        }
    }
    std::vector<int> rows(size_t(m_list.count()));
    std::iota(rows.begin(), rows.end(), 0);
    QString failure;
    const ProxyWriter::Sink print = [&failure](QByteArrayView block) {
        failure = writeToStandardOutput(block);
        return failure.isEmpty();
    };
    ProxyWriter::Fields fields;
    fields.history = true;
    fields.verdict = false;
    if (!ProxyWriter::write(m_options.format, m_list, rows, print, fields)) {
        printError(tr("cannot write the history: %1").arg(failure));
        return 1;
    }
    return 0;
}
