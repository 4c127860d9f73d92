#include "SocketSlotArray.h"

SocketSlotArray::SocketSlotArray(QObject *parent) : QObject(parent) {}

SocketSlotArray::~SocketSlotArray()
{
    UnloadAll();
}

bool SocketSlotArray::Load(int n)
{
    if (n < 1 || exists(n))
        return false;
    auto slot = std::make_unique<SocketSlot>(this);
    const QPointer<QTcpSocket> socket = slot->socket();
    // Queued, so that a failure Qt finds while connectToHost() runs does not remove the slot under its caller.
    connect(
        socket, &QTcpSocket::connected, this, [this, n, socket] { onConnected(n, socket); }, Qt::QueuedConnection);
    connect(
        socket, &QTcpSocket::readyRead, this, [this, n, socket] { onReadyRead(n, socket); }, Qt::QueuedConnection);
    connect(
        socket, &QTcpSocket::errorOccurred, this, [this, n, socket] { onFailed(n, socket); }, Qt::QueuedConnection);
    // A reset while the connection is being set up only shows as a fall back to the unconnected state.
    connect(
        socket, &QTcpSocket::stateChanged, this, [this, n, socket] { onFailed(n, socket); }, Qt::QueuedConnection);
    m_slots.emplace(n, std::move(slot));
    return true;
}

void SocketSlotArray::Unload(int n)
{
    m_slots.erase(n);
}

void SocketSlotArray::UnloadAll()
{
    m_slots.clear();
}

SocketSlot *SocketSlotArray::item(int n) const
{
    const auto found = m_slots.find(n);
    return found == m_slots.end() ? nullptr : found->second.get();
}

SocketSlot *SocketSlotArray::live(int n, const QTcpSocket *socket) const
{
    SocketSlot *slot = item(n);
    if (!socket || !slot || slot->socket() != socket || slot->ended())
        return nullptr;
    return slot;
}

void SocketSlotArray::onConnected(int n, const QTcpSocket *socket)
{
    if (live(n, socket) && socket->state() == QAbstractSocket::ConnectedState)
        Q_EMIT Connect(n);
}

void SocketSlotArray::onReadyRead(int n, const QTcpSocket *socket)
{
    SocketSlot *slot = live(n, socket);
    if (!slot)
        return;
    switch (slot->peekArrival()) {
    case SocketSlot::Arrival::Data:
        Q_EMIT DataArrival(n, slot->bytesAvailable());
        break;
    case SocketSlot::Arrival::Closed:
        slot->setEnded();
        Q_EMIT Close(n);
        break;
    case SocketSlot::Arrival::Failed:
        fail(n, slot, QAbstractSocket::RemoteHostClosedError, tr("Connection reset by peer"));
        break;
    case SocketSlot::Arrival::Nothing:
        if (!slot->rearm())
            fail(n, slot, QAbstractSocket::RemoteHostClosedError, socket->errorString());
        else if (slot->bytesAvailable() > 0)
            Q_EMIT DataArrival(n, slot->bytesAvailable());
        break;
    }
}

void SocketSlotArray::onFailed(int n, const QTcpSocket *socket)
{
    SocketSlot *slot = live(n, socket);
    // Looked at when the call arrives rather than when it was queued: only a socket that has fallen back to
    // unconnected, or reports an error, has failed.
    if (!slot || (socket->state() != QAbstractSocket::UnconnectedState &&
                  socket->error() == QAbstractSocket::UnknownSocketError))
        return;
    fail(n, slot, socket->error(), socket->errorString());
}

void SocketSlotArray::fail(int n, SocketSlot *slot, int number, const QString &description)
{
    slot->setEnded();
    Q_EMIT Error(n, number, description);
}
