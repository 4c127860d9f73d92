#include "checker/SocketSlotArray.h"

SocketSlotArray::SocketSlotArray(QObject *parent) : QObject(parent) {}

SocketSlotArray::~SocketSlotArray()
{
    unloadAll();
}

bool SocketSlotArray::load(int n)
{
    if (n < 1 || exists(n))
        return false;
    auto *slot = new SocketSlot(this);
    connect(slot, &SocketSlot::connected, this, [this, n] { Q_EMIT connected(n); });
    connect(slot, &SocketSlot::dataArrived, this, [this, n](qint64 bytes) { Q_EMIT dataArrived(n, bytes); });
    connect(slot, &SocketSlot::closed, this, [this, n] { Q_EMIT closed(n); });
    connect(slot, &SocketSlot::failed, this, [this, n](int error) { Q_EMIT failed(n, error, qt_error_string(error)); });
    m_slots.emplace(n, slot);
    return true;
}

void SocketSlotArray::unload(int n)
{
    const auto found = m_slots.find(n);
    if (found == m_slots.end())
        return;
    SocketSlot *slot = found->second;
    m_slots.erase(found);
    slot->release();
    // The slot may be the sender of the event being handled. A nested event loop deletes it when the event is
    // done; dropUnloaded() does, when the outer loop is out of reach until the run ends.
    slot->deleteLater();
    m_unloaded.emplace_back(slot);
}

void SocketSlotArray::dropUnloaded()
{
    for (const QPointer<SocketSlot> &slot : m_unloaded)
        delete slot.data();
    m_unloaded.clear();
}

void SocketSlotArray::unloadAll()
{
    while (!m_slots.empty())
        unload(m_slots.begin()->first);
}

SocketSlot *SocketSlotArray::item(int n) const
{
    const auto found = m_slots.find(n);
    return found == m_slots.end() ? nullptr : found->second;
}
