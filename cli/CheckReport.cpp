#include "cli/CheckReport.h"

#include "cli/StandardStreams.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyWriter.h"

#include <algorithm>

QString printCheckReport(const ProxyList &list, const CliOptions &options)
{
    std::vector<int> rows;
    for (int r = 0; r < list.count(); ++r) {
        const auto matches = [&list, r](const ProxyFilter &filter) { return filter.matches(list, r); };
        if (list.result(r).isVerdict() && std::all_of(options.only.begin(), options.only.end(), matches))
            rows.push_back(r);
    }
    QString failure;
    const ProxyWriter::Sink print = [&failure](QByteArrayView block) {
        failure = writeToStandardOutput(block);
        return failure.isEmpty();
    };
    ProxyWriter::write(options.format, list, rows, print,
                       {options.findsProtocol, options.site.has_value(), true, options.settings.retries > 0});
    return failure;
}
