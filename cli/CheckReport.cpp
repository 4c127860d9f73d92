#include "cli/CheckReport.h"

#include "proxylist/ProxyTableModel.h"
#include "proxylist/ProxyWriter.h"

QByteArray checkReport(const ProxyTableModel &table, const CliOptions &options)
{
    std::vector<int> rows;
    for (int r = 0; r < table.count(); ++r) {
        const ProxyResult &result = table.result(r);
        if (result.isVerdict() && (!options.only || options.only->matches(result, false)))
            rows.push_back(r);
    }
    if (options.json)
        return ProxyWriter::json(table, rows);
    if (options.only)
        return ProxyWriter::list(table, rows, "\n");
    return ProxyWriter::tabSeparated(table, rows);
}
