#pragma once

#include "SocketSlot.h"

#include <QObject>

#include <map>
#include <memory>

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
    bool Load(int n);
    // Drops slot n and its connection; no event for it follows.
    void Unload(int n);
    void UnloadAll();
    bool exists(int n) const { return m_slots.count(n) != 0; }
    // The slot, or nullptr when n is not loaded.
    SocketSlot *item(int n) const;
    int loadedCount() const { return int(m_slots.size()); }

Q_SIGNALS:
    void Connect(int Index);
    void DataArrival(int Index, qint64 bytesTotal);
    // The peer closed the connection; every byte that came before was announced by DataArrival.
    void Close(int Index);
    // Connecting failed, or the connection was reset or broke.
    void Error(int Index, int Number, const QString &Description);

private:
    // Slot n, when it still holds this socket and has not ended.
    SocketSlot *live(int n, const QTcpSocket *socket) const;
    void onConnected(int n, const QTcpSocket *socket);
    void onReadyRead(int n, const QTcpSocket *socket);
    void onFailed(int n, const QTcpSocket *socket);
    void fail(int n, SocketSlot *slot, int number, const QString &description);

    std::map<int, std::unique_ptr<SocketSlot>> m_slots;
};

// True when slot n is loaded.
inline bool SlotExists(const SocketSlotArray &slots, int n)
{
    return slots.exists(n);
}
