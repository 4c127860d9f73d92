// korvane-cli: the proxy-list rules and the checker of Korvane's window, for scripts and timers.
#include "cli/CheckCommand.h"
#include "cli/CheckReport.h"
#include "cli/CliOptions.h"
#include "cli/ListInput.h"
#include "cli/StandardStreams.h"
#include "proxylist/NativeName.h"
#include "proxylist/ProxyTableModel.h"
#include "proxylist/StatusPanels.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <numeric>

namespace {
int clean(const ProxyTableModel &table)
{
    std::vector<int> rows(size_t(table.count()));
    std::iota(rows.begin(), rows.end(), 1);
    if (const QString failure = writeToStandardOutput(CheckReport::proxyTexts(table, rows)); !failure.isEmpty()) {
        printError(QStringLiteral("cannot write the list: %1").arg(failure));
        return 1;
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
    if (closed.output) {
        printError(QStringLiteral("standard output is closed"));
        return 1;
    }
    if (closed.input && ListInput::readsStandardInput(options.files)) {
        printError(QStringLiteral("standard input is closed"));
        return 1;
    }

    ProxyTableModel table;
    StatusPanels panels;
    if (const QString failure = ListInput(table, panels).readAll(options.files); !failure.isEmpty()) {
        printError(failure);
        return 1;
    }
    return options.command == CliOptions::Clean ? clean(table) : CheckCommand(table, panels, options).run();
}
