#include "ProbeExchange.h"

#include "ProxyTableModel.h"
#include "SocketSlotArray.h"
#include "TextFunctions.h"

const QString ProbeExchange::DefaultProbeHost = QStringLiteral("checkip.dyndns.org");

namespace {
const QString StartMarker = QStringLiteral("Current IP Address: ");
const QString EndMarker = QStringLiteral("</body></html>");
const QString HostSeparator = QStringLiteral(":");
} // namespace

ProbeExchange::ProbeExchange(ProxyTableModel &table, SocketSlotArray &sockProxy, QObject *parent)
    : QObject(parent), m_table(table), m_sockProxy(sockProxy), m_slotBuffer(1)
{
    connect(&sockProxy, &SocketSlotArray::Connect, this, &ProbeExchange::sockProxy_Connect);
    connect(&sockProxy, &SocketSlotArray::DataArrival, this, &ProbeExchange::sockProxy_DataArrival);
    connect(&sockProxy, &SocketSlotArray::Close, this, &ProbeExchange::sockProxy_Close);
    connect(&sockProxy, &SocketSlotArray::Error, this, &ProbeExchange::sockProxy_Error);
}

QByteArray ProbeExchange::probeRequest() const
{
    return "GET http://" + m_probeHost.toLatin1() + "/ HTTP/1.0\r\n\r\n\r\n";
}

void ProbeExchange::clearSlotBuffer()
{
    m_slotBuffer.assign(1, {});
}

void ProbeExchange::addSlotBuffer(int n)
{
    if (n >= 0 && size_t(n) >= m_slotBuffer.size())
        m_slotBuffer.resize(size_t(n) + 1);
}

QByteArray ProbeExchange::SlotBuffer(int n) const
{
    return (n >= 0 && size_t(n) < m_slotBuffer.size()) ? m_slotBuffer[size_t(n)] : QByteArray();
}

Verdict ProbeExchange::judge(const QString &answer, const QString &proxyText)
{
    const qsizetype start = answer.indexOf(StartMarker);
    if (start < 0)
        return Verdict::invalidResponse();
    // The rest runs to a second start marker, if the page holds one.
    const qsizetype restBegin = start + StartMarker.size();
    const qsizetype second = answer.indexOf(StartMarker, restBegin);
    const QString rest = answer.mid(restBegin, second < 0 ? -1 : second - restBegin);
    // Text against text, as the table shows it: 010.0.0.1 is not the 10.0.0.1 that the echo page saw.
    return Verdict::working(GetFirstValue(proxyText, HostSeparator) == GetFirstValue(rest, EndMarker));
}

int ProbeExchange::rowOf(int slot) const
{
    const SocketSlot *socketSlot = m_sockProxy.item(slot);
    return socketSlot ? socketSlot->Tag().toInt() : 0;
}

void ProbeExchange::sockProxy_Connect(int Index)
{
    SocketSlot *slot = m_sockProxy.item(Index);
    if (!slot || slot->SendData(probeRequest()))
        return;
    writeVerdict(m_table, rowOf(Index), Verdict::error());
    // Released here, so that its number is free for the next batch.
    m_sockProxy.Unload(Index);
}

void ProbeExchange::sockProxy_DataArrival(int Index, qint64 bytesTotal)
{
    SocketSlot *slot = m_sockProxy.item(Index);
    if (!slot)
        return;
    // Read it all, so that the close behind the data still shows, but keep no more than one answer's worth.
    const QByteArray data = slot->GetData(bytesTotal);
    addSlotBuffer(Index);
    QByteArray &buffer = m_slotBuffer[size_t(Index)];
    const qsizetype room = MaxAnswerBytes - buffer.size();
    if (room > 0)
        buffer.append(data.first(std::min(room, data.size())));
}

void ProbeExchange::sockProxy_Close(int Index)
{
    SocketSlot *slot = m_sockProxy.item(Index);
    if (!slot)
        return;
    slot->Close();
    const int row = rowOf(Index);
    if (!m_table.isValidRow(row)) {
        m_sockProxy.Unload(Index);
        return;
    }
    const QString proxyText = m_table.itemText(row);
    m_sockProxy.Unload(Index);
    writeVerdict(m_table, row, judge(QString::fromLatin1(SlotBuffer(Index)), proxyText));
}

void ProbeExchange::sockProxy_Error(int Index, int Number, const QString &Description)
{
    Q_UNUSED(Number);
    Q_UNUSED(Description);
    writeVerdict(m_table, rowOf(Index), Verdict::error());
    m_sockProxy.Unload(Index);
}
