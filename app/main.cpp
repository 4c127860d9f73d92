#include "app/ClassicStyle.h"
#include "app/MainWindow.h"
#include "app/QtDesktop.h"
#include "checker/CheckRun.h"
#include "checker/EchoHostOptions.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "location/GeoDatabase.h"
#include "proxylist/NativeName.h"

#include <QApplication>
#include <QCommandLineParser>

#include <csignal>
#include <cstdio>
#include <variant>

namespace {
const char Program[] = "korvane";

// korvane [--echo-host HOST]... [--no-echo-check] [FILE...]: what the window should start with.
struct StartOptions
{
    EchoHostOptions echo;
    QStringList files;
    // The history of checks, and whether the tests are kept in it.
    QString historyPath;
    bool keepsHistory = true;
};

// The options QGuiApplication and QApplication take for themselves, which are no bad usage; true for those that
// take a value.
const std::pair<const char *, bool> QtOptions[] = {
    {"platform", true},    {"platformpluginpath", true}, {"platformtheme", true},
    {"plugin", true},      {"qmljsdebugger", true},      {"qwindowgeometry", true},
    {"qwindowicon", true}, {"qwindowtitle", true},       {"session", true},
    {"display", true},     {"geometry", true},           {"style", true},
    {"stylesheet", true},  {"reverse", false},           {"widgetcount", false}};

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Read before the window system is asked for a display: help, version and bad usage need none. Returns the exit
// status when the program should end at once.
std::variant<StartOptions, int> parseArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Qt's own options are written with one dash: -platform offscreen.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Keep lists of proxies (HTTP, HTTPS tunnels, SOCKS 4 and 5): load them from files or the "
                       "clipboard, test every proxy "
                       "through an IP-echo page, keep the working or anonymous ones, and save them.\n\n"
                       "Before a test, each echo host is asked for its page directly: the address it shows is your "
                       "own. A working proxy is anonymous (Y) unless its echo page shows your own address; when no "
                       "echo host answers, no proxy is tested.\n\n"
                       "The files given are loaded at start, in order, as \"Load and merge\" loads them."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption echoHost = EchoHostOptions::echoHostOption();
    parser.addOption(echoHost);
    const QCommandLineOption noEchoCheck(
        QStringLiteral("no-echo-check"),
        QStringLiteral("Do not ask the echo hosts directly before a test: for a computer that reaches the internet "
                       "only through proxies. A proxy is then anonymous when the echo page shows its own address."));
    parser.addOption(noEchoCheck);
    const QCommandLineOption geoDb(QStringLiteral("geo-db"),
                                   QStringLiteral("The location database the countries come from; default %1.")
                                       .arg(GeoDatabase::defaultPaths().join(QStringLiteral(", else "))),
                                   QStringLiteral("PATH"));
    parser.addOption(geoDb);
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("The history of checks, an SQLite file (default %1).")
                                    .arg(QStringLiteral("$XDG_DATA_HOME/korvane/history.sqlite")),
                                QStringLiteral("PATH"));
    const QCommandLineOption noHistory(QStringLiteral("no-history"),
                                       QStringLiteral("Keep nothing of the tests in the history."));
    parser.addOptions({db, noHistory});
    for (const auto &[name, takesValue] : QtOptions) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), takesValue ? QStringLiteral("v") : QString());
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Proxy lists to load."),
                                 QStringLiteral("[FILE...]"));

    // Without an application object the parser does not know the program's name.
    const QString helpText = parser.helpText().replace(QStringLiteral("<executable_name>"), QLatin1String(Program));
    const auto usageError = [&](const QString &what) {
        print(stderr, QStringLiteral("%1: %2\n%3\n").arg(QLatin1String(Program), what, helpText.section(u'\n', 0, 0)));
        return 2;
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, helpText);
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("%1 %2\n").arg(QLatin1String(Program), QStringLiteral(KORVANE_VERSION)));
        print(stdout, GeoDatabase(parser.value(geoDb)).summary() + u'\n');
        return 0;
    }
    const std::variant<EchoHostOptions, QString> echo = EchoHostOptions::read(parser, echoHost, noEchoCheck);
    if (const QString *error = std::get_if<QString>(&echo))
        return usageError(*error);
    // Every thread's database, the window's included, is the one chosen here.
    GeoDatabase::setChosenPath(parser.value(geoDb));
    const QString historyPath = parser.isSet(db) ? parser.value(db) : HistoryStore::defaultPath();
    return StartOptions{std::get<EchoHostOptions>(echo), parser.positionalArguments(), historyPath,
                        !parser.isSet(noHistory)};
}
} // namespace

int main(int argc, char *argv[])
{
    // Under a file-size limit a write past it should fail, so that the save reports it and keeps the former file,
    // rather than end the program with its default signal.
    std::signal(SIGXFSZ, SIG_IGN);
    // Decoded by hand: a file name need not be UTF-8.
    const std::variant<StartOptions, int> parsed = parseArguments(NativeName::arguments(argc, argv));
    if (const int *status = std::get_if<int>(&parsed))
        return *status;
    const StartOptions &options = std::get<StartOptions>(parsed);

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    QApplication::setDesktopFileName(QLatin1String(Program));
    // The same flat, classic look on every desktop: buttons filled with colours of their own, plain sliders.
    QApplication::setStyle(new ClassicStyle);

    QtDesktop desktop;
    // Made before the window, which reads what it has written until the window goes.
    HistoryRecorder history(options.historyPath);
    MainWindow window(desktop);
    desktop.setDialogParent(&window);
    QObject::connect(&window, &MainWindow::exitRequested, &app, [] { QCoreApplication::exit(0); });
    window.checkRun().setEchoHosts(options.echo.hosts);
    window.checkRun().setEchoCheck(options.echo.echoCheck);
    // Every verdict goes to the history on its own thread; one that cannot be kept is said once, and tests go on.
    const auto historyStopped = [&desktop](const QString &why) {
        std::fprintf(stderr, "%s: %s\n", Program, qPrintable(why));
        desktop.warning(QStringLiteral("History"), why + QStringLiteral("; the tests go on without it."));
    };
    QObject::connect(&history, &HistoryRecorder::failed, &window, historyStopped);
    if (options.keepsHistory) {
        // A history that cannot be opened says so through failed() too, once the window is up.
        history.start();
        history.follow(window.checkRun(), window.list());
        window.setHistory(&history, options.historyPath);
    }
    // A list that cannot be read is skipped, as the load command skips it; the terminal is told which and why.
    for (const QString &failure : window.mergeFiles(options.files))
        std::fprintf(stderr, "%s: %s\n", Program, qPrintable(failure));
    window.show();
    return QApplication::exec();
}
