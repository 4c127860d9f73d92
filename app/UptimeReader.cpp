#include "app/UptimeReader.h"

#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "proxylist/ProxyList.h"

#include <QPointer>

#include <memory>
#include <vector>

namespace {
// The rows' texts, one after another, where each ends, and their ids.
struct TakenRows
{
    QByteArray bytes;
    std::vector<qsizetype> ends;
    std::vector<RowId> ids;
};

// What the history says of the rows it holds, by id; or why it could not be read.
struct Reading
{
    std::vector<std::pair<RowId, RowHistory>> histories;
    QString problem;
};

Reading readHistories(const QString &path, const TakenRows &rows)
{
    std::vector<QByteArray> texts;
    texts.reserve(rows.ends.size());
    qsizetype start = 0;
    for (const qsizetype end : rows.ends) {
        texts.push_back(QByteArray::fromRawData(rows.bytes.constData() + start, end - start));
        start = end;
    }
    HistoryStore store(path);
    if (QString problem = store.open(true); !problem.isEmpty())
        return {{}, problem};
    const auto found = store.histories(texts);
    if (!found)
        return {{}, found.error()};
    Reading reading;
    for (size_t i = 0; i < found.value().size(); ++i) {
        if (const std::optional<RowHistory> &history = found.value()[i])
            reading.histories.emplace_back(rows.ids[i], *history);
    }
    return reading;
}
} // namespace

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
    // The texts and ids as they are now, the list being the window's thread's alone: the texts in one block, which
    // costs the window a copy of its bytes rather than an allocation a row.
    auto taken = std::make_shared<TakenRows>();
    taken->ends.reserve(size_t(m_list.count()));
    taken->ids.reserve(size_t(m_list.count()));
    for (int r = 0; r < m_list.count(); ++r) {
        const QLatin1StringView text = m_list.text(r);
        taken->bytes.append(text.data(), text.size());
        taken->ends.push_back(taken->bytes.size());
        taken->ids.push_back(m_list.id(r));
    }
    const quint64 reading = ++m_reading;
    m_thread.start([self = QPointer(this), recorder = m_recorder, path = m_path, taken, reading] {
        if (recorder)
            recorder->flush();
        auto found = std::make_shared<Reading>(readHistories(path, *taken));
        QMetaObject::invokeMethod(self, [self, found, reading] {
            if (!self || reading != self->m_reading)
                return;
            self->m_list.setHistories(found->histories);
            Q_EMIT self->read(found->problem);
        });
    });
}
