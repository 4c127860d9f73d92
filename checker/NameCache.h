#pragma once

#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

// The addresses that names lead to, each name looked up once until the cache is cleared: a check run clears it as it
// starts. Every answer is delivered from the event loop, never from inside lookUp(); one that comes after clear(), or
// after its receiver has gone, is dropped.
class NameCache
{
public:
    // The addresses found, in the order the system gave them; none when the name was not found.
    using Answer = std::function<void(const QList<QHostAddress> &addresses)>;

    NameCache();
    ~NameCache();
    NameCache(const NameCache &) = delete;
    NameCache &operator=(const NameCache &) = delete;

    void lookUp(const QString &name, const QObject *receiver, Answer answer);
    void clear();

private:
    struct Waiting
    {
        QPointer<const QObject> receiver;
        Answer answer;
    };
    struct Entry
    {
        bool answered = false;
        QList<QHostAddress> addresses;
        std::vector<Waiting> waiting;
    };

    void deliver(Entry &entry);

    std::unordered_map<QString, Entry> m_entries;
    // The receiver of the system's answers and of the deliveries posted: gone with it, whatever comes later is
    // dropped.
    std::unique_ptr<QObject> m_guard;
    quint64 m_clears = 0;
};
