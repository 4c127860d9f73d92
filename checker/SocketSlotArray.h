#pragma once

#include "checker/SocketSlot.h"

#include <QObject>
#include <QPointer>

#include <map>
#include <vector>

// The socket slots that probes run on (sockProxy): TCP client connections created and removed by number, each
// reporting Connect, DataArrival, Close and Error with its number first. Numbers start at 1.
//
// Events are delivered through the event loop, one at a time and only while it runs: never from inside Connect()
// or another handler, and never for a slot that has been unloaded, even when its number has been loaded again.
class SocketSlotArray : public QObject
{
    Q_OBJECT

public:
    explicit SocketSlotArray(QObject *parent = nullptr);
    ~SocketSlotArray() override;

    // Creates slot n; false when it exists already.
    bool load(int n);
    // Drops slot n, its connection and its answer; no event for it follows. Safe from inside the slot's own event.
    void unload(int n);
    void unloadAll();
    // Deletes the slots unloaded so far. Only between batches: none of their events may be under way.
    void dropUnloaded();
    bool exists(int n) const { return m_slots.count(n) != 0; }
    // The slot, or nullptr when n is not loaded.
    SocketSlot *item(int n) const;
    // Slots that still hold a connection or an answer.
    int loadedCount() const { return int(m_slots.size()); }

Q_SIGNALS:
    void connected(int index);
    // bytes: what came in with this notification; the slot keeps the first SocketSlot::MaxAnswerBytes.
    void dataArrived(int index, qint64 bytes);
    // The peer closed the connection; every byte that came before was announced by dataArrived.
    void closed(int index);
    // Connecting failed, or the connection was reset or broke. error: the system's error number.
    void failed(int index, int error, const QString &description);

private:
    std::map<int, SocketSlot *> m_slots;
    // Unloaded from inside their own events, so not deleted at once.
    std::vector<QPointer<SocketSlot>> m_unloaded;
};
