#include "app/UptimeReader.h"

#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "proxylist/ProxyList.h"

#include <QPointer>

#include <memory>

UptimeReader::UptimeReader(ProxyList &list, QObject *parent) : QObject(parent), m_list(list)
{
    m_thread.setMaxThreadCount(1);
    connect(&m_list, &ProxyList::replaced, this, &UptimeReader::refresh);
    connect(&m_list, &ProxyList::rowsAppended, this, &UptimeReader::refresh);
}

UptimeReader::~UptimeReader()
{
    m_thread.waitForDone();
}

void UptimeReader::setHistory(HistoryRecorder *recorder, const QString &path)
{
    m_recorder = recorder;
    m_path = path;
    refresh();
}

void UptimeReader::refresh()
{
    if (m_path.isEmpty() || m_list.count() == 0)
        return;
    // The texts and ids as they are now: the list is the window's thread's alone.
    auto texts = std::make_shared<std::vector<QByteArray>>();
    auto ids = std::make_shared<std::vector<RowId>>();
    texts->reserve(size_t(m_list.count()));
    ids->reserve(size_t(m_list.count()));
    for (int r = 0; r < m_list.count(); ++r) {
        const QLatin1StringView text = m_list.text(r);
        texts->emplace_back(text.data(), text.size());
        ids->push_back(m_list.id(r));
    }
    const quint64 reading = ++m_reading;
    m_thread.start([self = QPointer(this), recorder = m_recorder, path = m_path, texts, ids, reading] {
        if (recorder)
            recorder->flush();
        HistoryStore store(path);
        QString problem = store.open(true);
        auto found = problem.isEmpty() ? store.histories(*texts) : Result<std::vector<std::optional<RowHistory>>>();
        if (problem.isEmpty() && !found)
            problem = found.error();
        auto histories = std::make_shared<std::vector<std::pair<RowId, RowHistory>>>();
        for (size_t i = 0; found && i < found.value().size(); ++i) {
            if (const std::optional<RowHistory> &history = (*found)[i])
                histories->emplace_back((*ids)[i], *history);
        }
        QMetaObject::invokeMethod(self, [self, histories, problem, reading] {
            if (!self || reading != self->m_reading)
                return;
            self->m_list.setHistories(*histories);
            Q_EMIT self->read(problem);
        });
    });
}
