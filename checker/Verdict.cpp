#include "checker/Verdict.h"

#include "proxylist/CellText.h"
#include "proxylist/ProxyTableModel.h"

Verdict Verdict::working(bool anonymous)
{
    return {anonymous ? CellText::Anonymous : CellText::NotAnonymous, CellText::Working, ProxyColor::Green};
}

Verdict Verdict::invalidResponse()
{
    return {CellText::NoVerdict, CellText::InvalidResponse, ProxyColor::Red};
}

Verdict Verdict::error()
{
    return {CellText::NoVerdict, CellText::Error, ProxyColor::Red};
}

Verdict Verdict::timeout()
{
    return {CellText::NoVerdict, CellText::Timeout, ProxyColor::Red};
}

void writeVerdict(ProxyTableModel &table, int row, const Verdict &verdict)
{
    table.setResults(row, verdict.anonymity, CellText::NoVerdict, verdict.status, verdict.color);
}
