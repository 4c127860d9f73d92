#include "app/ClassicStyle.h"
#include "app/MainWindow.h"
#include "app/QtDesktop.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    // Under a file-size limit a write past it should fail, so that the save reports it and keeps the former file,
    // rather than end the program with its default signal.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setDesktopFileName(QStringLiteral("korvane"));
    // The same flat, classic look on every desktop: buttons filled with colours of their own, plain sliders.
    QApplication::setStyle(new ClassicStyle);

    QtDesktop desktop;
    MainWindow window(desktop);
    desktop.setDialogParent(&window);
    QObject::connect(&window, &MainWindow::exitRequested, &app, [] { QCoreApplication::exit(0); });
    window.show();
    return QApplication::exec();
}
