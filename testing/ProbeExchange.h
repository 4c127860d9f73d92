#pragma once

#include "Verdict.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <vector>

class ProxyTableModel;
class SocketSlotArray;

// The probe exchange on every socket slot: through the proxy, ask the IP-echo host for its page "/", collect the
// answer until the proxy closes, and turn it into the row's verdict and colour.
class ProbeExchange : public QObject
{
    Q_OBJECT

public:
    // A long-lived public page that shows "Current IP Address: " and the caller's address, then "</body></html>".
    static const QString DefaultProbeHost;
    // What one answer may keep; an echo page is a few hundred bytes, and a hostile proxy must not fill the memory.
    static constexpr qsizetype MaxAnswerBytes = qsizetype(1) << 20;

    ProbeExchange(ProxyTableModel &table, SocketSlotArray &sockProxy, QObject *parent = nullptr);

    const QString &probeHost() const { return m_probeHost; }
    // host or host:port; tests point it at an echo server of their own.
    void setProbeHost(const QString &host) { m_probeHost = host; }
    // The request line in absolute form, then CR LF three times; no header at all.
    QByteArray probeRequest() const;

    // SlotBuffer sizing, the scheduler's part: back to the unused element 0 at each batch, and one more empty
    // element before each slot starts.
    void clearSlotBuffer();
    void addSlotBuffer(int n);
    // What slot n has received in this batch, up to MaxAnswerBytes.
    QByteArray SlotBuffer(int n) const;

    // The verdict on a complete answer received through the proxy of that row text.
    static Verdict judge(const QString &answer, const QString &proxyText);

    void sockProxy_Connect(int Index);
    void sockProxy_DataArrival(int Index, qint64 bytesTotal);
    void sockProxy_Close(int Index);
    void sockProxy_Error(int Index, int Number, const QString &Description);

private:
    int rowOf(int slot) const;

    ProxyTableModel &m_table;
    SocketSlotArray &m_sockProxy;
    QString m_probeHost = DefaultProbeHost;
    std::vector<QByteArray> m_slotBuffer;
};
