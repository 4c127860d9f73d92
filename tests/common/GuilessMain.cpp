#include "tests/common/TestMain.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (const std::optional<int> code = TestMain::runChildRole())
        return *code;
    return TestMain::runAll(argc, argv);
}
