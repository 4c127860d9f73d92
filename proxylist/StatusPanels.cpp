#include "proxylist/StatusPanels.h"

#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"

StatusPanels::StatusPanels(QObject *parent) : QObject(parent)
{
    m_texts[TotalCaption - 1] = tr("Total Proxies:");
    m_texts[WorkingCaption - 1] = tr("Working Proxies:");
    m_texts[AnonymousCaption - 1] = tr("Anonymous Proxies:");
}

QString StatusPanels::text(int panel) const
{
    if (panel < 1 || panel > PanelCount)
        return {};
    return m_texts[size_t(panel - 1)];
}

void StatusPanels::setText(int panel, const QString &text)
{
    if (panel < 1 || panel > PanelCount || m_texts[size_t(panel - 1)] == text)
        return;
    m_texts[size_t(panel - 1)] = text;
    Q_EMIT textChanged(panel, text);
}

void StatusPanels::setTotal(qsizetype rows)
{
    setText(Total, QString::number(rows));
}

void StatusPanels::updateCounters(const ProxyTableModel &table)
{
    setText(Working, QString::number(table.countRows(ProxyTableModel::Status, CellText::Working)));
    setText(Anonymous, QString::number(table.countRows(ProxyTableModel::Anonymity, CellText::Anonymous)));
}
