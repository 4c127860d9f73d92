#include "checker/NameCache.h"

#include <QHostInfo>

#include <utility>

NameCache::NameCache() : m_guard(std::make_unique<QObject>()) {}

NameCache::~NameCache() = default;

void NameCache::lookUp(const QString &name, const QObject *receiver, Answer answer)
{
    // Names are the same in any case.
    const QString key = name.toLower();
    const auto [found, added] = m_entries.try_emplace(key);
    found->second.waiting.push_back({receiver, std::move(answer)});
    if (found->second.answered) {
        QMetaObject::invokeMethod(
            m_guard.get(),
            [this, key] {
                if (const auto entry = m_entries.find(key); entry != m_entries.end())
                    deliver(entry->second);
            },
            Qt::QueuedConnection);
        return;
    }
    if (!added)
        return;
    QHostInfo::lookupHost(name, m_guard.get(), [this, key](const QHostInfo &info) {
        Entry &entry = m_entries[key];
        entry.answered = true;
        entry.addresses = info.addresses();
        deliver(entry);
    });
}

void NameCache::deliver(Entry &entry)
{
    // An answer may look up a name in turn, or clear the cache.
    const std::vector<Waiting> waiting = std::exchange(entry.waiting, {});
    const QList<QHostAddress> addresses = entry.addresses;
    const quint64 clears = m_clears;
    for (const Waiting &one : waiting) {
        if (clears != m_clears)
            return;
        if (one.receiver)
            one.answer(addresses);
    }
}

void NameCache::clear()
{
    m_entries.clear();
    m_guard = std::make_unique<QObject>();
    ++m_clears;
}
