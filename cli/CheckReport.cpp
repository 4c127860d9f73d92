#include "cli/CheckReport.h"

#include "cli/StandardStreams.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyWriter.h"

QString printCheckReport(const ProxyList &list, const CliOptions &options)
{
    std::vector<int> rows;
    for (int r = 0; r < list.count(); ++r) {
        const ProxyResult &result = list.result(r);
        if (result.isVerdict() && (!options.only || options.only->matches(result)))
            rows.push_back(r);
    }
    QString failure;
    const ProxyWriter::Sink print = [&failure](QByteArrayView block) {
        failure = writeToStandardOutput(block);
        return failure.isEmpty();
    };
    ProxyWriter::write(options.format, list, rows, print, options.findsProtocol);
    return failure;
}
