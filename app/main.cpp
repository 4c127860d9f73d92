#include "app/ClassicStyle.h"
#include "app/MainWindow.h"
#include "app/QtDesktop.h"
#include "checker/CheckRun.h"
#include "checker/ProbeExchange.h"

#include <QApplication>
#include <QCommandLineParser>

#include <csignal>
#include <cstdio>

namespace {
// korvane [--echo-host HOST] [FILE...]: what the window should start with.
struct StartOptions
{
    QString echoHost;
    QStringList files;
};

StartOptions parseArguments(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Keep lists of HTTP proxies: load them from files or the clipboard, test every proxy "
                       "through an IP-echo page, keep the working or anonymous ones, and save them.\n\n"
                       "The files given are loaded at start, in order, as \"Load and merge\" loads them."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption echoHost(
        QStringLiteral("echo-host"),
        QStringLiteral("The IP-echo host asked through each proxy (default: %1).").arg(ProbeExchange::DefaultProbeHost),
        QStringLiteral("HOST"));
    parser.addOption(echoHost);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Proxy lists to load."),
                                 QStringLiteral("[FILE...]"));
    parser.process(app);
    if (parser.isSet(echoHost) && !ProbeExchange::isValidProbeHost(parser.value(echoHost))) {
        std::fprintf(stderr, "korvane: --echo-host takes a host name or address, with an optional :port\n");
        std::exit(2);
    }
    return {parser.value(echoHost), parser.positionalArguments()};
}
void nameTheProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
}

// --help and --version need no display: they are answered before the window system is asked for one.
void answerWithoutDisplay(int argc, char *argv[])
{
    const QStringList textOnly{QStringLiteral("-h"), QStringLiteral("--help"), QStringLiteral("--help-all"),
                               QStringLiteral("-v"), QStringLiteral("--version")};
    for (int i = 1; i < argc; ++i) {
        if (textOnly.contains(QString::fromLocal8Bit(argv[i]))) {
            QCoreApplication app(argc, argv);
            nameTheProgram();
            parseArguments(app); // prints and exits
        }
    }
}
} // namespace

int main(int argc, char *argv[])
{
    // Under a file-size limit a write past it should fail, so that the save reports it and keeps the former file,
    // rather than end the program with its default signal.
    std::signal(SIGXFSZ, SIG_IGN);
    answerWithoutDisplay(argc, argv);
    QApplication app(argc, argv);
    nameTheProgram();
    QApplication::setDesktopFileName(QStringLiteral("korvane"));
    const StartOptions options = parseArguments(app);
    // The same flat, classic look on every desktop: buttons filled with colours of their own, plain sliders.
    QApplication::setStyle(new ClassicStyle);

    QtDesktop desktop;
    MainWindow window(desktop);
    desktop.setDialogParent(&window);
    QObject::connect(&window, &MainWindow::exitRequested, &app, [] { QCoreApplication::exit(0); });
    if (!options.echoHost.isEmpty())
        window.checkRun().setProbeHost(options.echoHost);
    // A list that cannot be read is skipped, as the load command skips it; the terminal is told which and why.
    for (const QString &failure : window.mergeFiles(options.files))
        std::fprintf(stderr, "korvane: %s\n", qPrintable(failure));
    window.show();
    return QApplication::exec();
}
