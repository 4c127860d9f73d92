#include "StatusPanels.h"

#include "CellText.h"
#include "ProxyTableModel.h"

StatusPanels::StatusPanels(QObject *parent)
    : QObject(parent)
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

void StatusPanels::UpdateCounters(const ProxyTableModel &table)
{
    qsizetype working = 0;
    qsizetype anonymous = 0;
    const int rows = table.count();
    for (int r = 1; r <= rows; ++r) {
        const ProxyRow &row = table.rowAt(r);
        working += row.status == CellText::Working;
        anonymous += row.anonymity == CellText::Anonymous;
    }
    setText(Working, QString::number(working));
    setText(Anonymous, QString::number(anonymous));
}
