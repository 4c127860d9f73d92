#include "app/ClassicStyle.h"
#include "tests/common/TestMain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The program's own look, as its main() sets it: the pixel checks depend on it.
    QApplication::setStyle(new ClassicStyle);
    return TestMain::runAll(argc, argv);
}
