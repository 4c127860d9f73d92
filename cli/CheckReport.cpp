#include "cli/CheckReport.h"

#include "cli/StandardStreams.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyWriter.h"

QString printCheckReport(const ProxyList &table, const CliOptions &options)
{
    std::vector<int> rows;
    for (int r = 0; r < table.count(); ++r) {
        const ProxyResult &result = table.result(r);
        if (result.isVerdict() && (!options.only || options.only->matches(result)))
            rows.push_back(r);
    }
    QString failure;
    const ProxyWriter::Sink print = [&failure](QByteArrayView block) {
        failure = writeToStandardOutput(block);
        return failure.isEmpty();
    };
    if (options.json)
        ProxyWriter::writeJson(table, rows, print, options.findsProtocol);
    else if (options.only)
        ProxyWriter::writeList(table, rows, "\n", print);
    else
        ProxyWriter::writeTabSeparated(table, rows, print);
    return failure;
}
