#include "MainWindow.h"
#include "QtDesktop.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setDesktopFileName(QStringLiteral("korvane"));
    // The buttons are filled with colours of their own; Fusion paints button palettes on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QtDesktop desktop;
    MainWindow window(desktop);
    desktop.setDialogParent(&window);
    QObject::connect(&window, &MainWindow::exitRequested, &app, [] { QCoreApplication::exit(0); });
    window.show();
    return QApplication::exec();
}
