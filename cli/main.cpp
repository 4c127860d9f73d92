// korvane-cli: the proxy-list rules and the checker of Korvane's window, for scripts and timers.
#include "cli/CheckCommand.h"
#include "cli/CliOptions.h"
#include "cli/HistoryCommand.h"
#include "cli/JudgeCommand.h"
#include "cli/StandardStreams.h"
#include "cli/WatchCommand.h"
#include "location/GeoDatabase.h"
#include "proxylist/NativeName.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyLoader.h"
#include "proxylist/ProxyValidator.h"
#include "proxylist/ProxyWriter.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <numeric>

namespace {
// The location database every lookup of this run uses; why it gives no country, or that it is old, said once.
void openLocationDatabase(const CliOptions &options)
{
    GeoDatabase::setChosenPath(options.geoDatabase);
    const GeoDatabase &database = GeoDatabase::forThisThread();
    if (!database.isOpen())
        printError(database.problem());
    else if (const QString note = database.outdatedNote(); !note.isEmpty())
        printError(note);
}

int clean(const ProxyList &list, const CliOptions &options)
{
    const QByteArray scheme = options.protocol ? QByteArray(ProxyAddress::scheme(*options.protocol).latin1()) : "";
    // Written a block of rows at a time: a list of millions is never held twice.
    constexpr int Block = 1 << 16;
    std::vector<int> rows;
    for (int first = 0; first < list.count(); first += Block) {
        rows.resize(size_t(std::min(Block, list.count() - first)));
        std::iota(rows.begin(), rows.end(), first);
        std::erase_if(rows, [&](int row) {
            return !std::all_of(options.only.begin(), options.only.end(),
                                [&](const ProxyFilter &filter) { return filter.matches(list, row); });
        });
        if (const QString failure = writeToStandardOutput(ProxyWriter::list(list, rows, "\n", scheme));
            !failure.isEmpty()) {
            printError(QStringLiteral("cannot write the list: %1").arg(failure));
            return 1;
        }
    }
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    // Before anything opens a descriptor: the event loop's own would take the number of a closed stream.
    const ClosedStreams closed = holdClosedStandardStreams();
    // Under a file-size limit the write to a redirected standard output fails and is reported.
    std::signal(SIGXFSZ, SIG_IGN);
    // Qt's own poll loop rather than GLib's: nothing here shares a GLib loop, and GLib's list of watched
    // descriptors makes opening and closing a thousand sockets per batch cost more.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));

    // Decoded by hand: a file name need not be UTF-8.
    const std::variant<CliOptions, CliExit> parsed = parseCliArguments(NativeName::arguments(argc, argv));
    if (const auto *exit = std::get_if<CliExit>(&parsed)) {
        std::fputs(exit->text.toLocal8Bit().constData(), exit->code == 0 ? stdout : stderr);
        return exit->code;
    }
    const CliOptions &options = std::get<CliOptions>(parsed);
    if (options.command == CliOptions::Judge)
        return JudgeCommand(options).run();
    if (options.command == CliOptions::Watch) {
        openLocationDatabase(options);
        return WatchCommand(options).run();
    }
    // "-", or no file at all, is standard input; history without lists prints the whole history.
    const bool wholeHistory = options.command == CliOptions::History && options.files.isEmpty();
    const QStringList lists =
        options.files.isEmpty() && !wholeHistory ? QStringList{QStringLiteral("-")} : options.files;
    if (closed.output) {
        printError(QStringLiteral("standard output is closed"));
        return 1;
    }
    if (closed.input && lists.contains(QStringLiteral("-"))) {
        printError(QStringLiteral("standard input is closed"));
        return 1;
    }

    // Clean needs it only to filter by country or network.
    if (options.command == CliOptions::Check || !options.only.empty())
        openLocationDatabase(options);
    ProxyList list;
    const ProxyValidator validator;
    const QStringList failures = ProxyLoader(list, validator).mergeLists(lists, ListFileReader::PipesAndDevicesToo);
    for (const QString &failure : failures)
        printError(QStringLiteral("cannot read %1").arg(failure));
    if (!failures.isEmpty())
        return 1;
    if (options.command == CliOptions::History)
        return HistoryCommand(list, options).run();
    return options.command == CliOptions::Clean ? clean(list, options) : CheckCommand(list, options).run();
}
