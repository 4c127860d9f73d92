#include "tests/common/TestMain.h"

#include <QMetaMethod>
#include <QTest>

#include <vector>

namespace {
// Function-local, so that registration from other files' static objects finds them built.
std::vector<TestMain::Factory> &factories()
{
    static std::vector<TestMain::Factory> all;
    return all;
}

std::vector<TestMain::ChildRole> &childRoles()
{
    static std::vector<TestMain::ChildRole> all;
    return all;
}

// Whether the class has every test function named among the arguments ("name" or "name:tag").
bool hasFunctions(const QObject &test, int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument.startsWith('-'))
            return true; // options: the class runs, as QTest would run it
        const qsizetype colon = argument.indexOf(':');
        const QByteArray name = (colon < 0 ? argument : argument.first(colon)) + "()";
        if (test.metaObject()->indexOfMethod(name.constData()) < 0)
            return false;
    }
    return true;
}
} // namespace

bool TestMain::add(Factory factory)
{
    factories().push_back(std::move(factory));
    return true;
}

bool TestMain::addChildRole(ChildRole role)
{
    childRoles().push_back(std::move(role));
    return true;
}

std::optional<int> TestMain::runChildRole()
{
    for (const ChildRole &role : childRoles()) {
        if (const std::optional<int> code = role())
            return code;
    }
    return std::nullopt;
}

int TestMain::runAll(int argc, char **argv)
{
    int ran = 0;
    int failed = 0;
    for (const Factory &make : factories()) {
        const std::unique_ptr<QObject> test = make();
        if (!hasFunctions(*test, argc, argv))
            continue;
        ++ran;
        failed += QTest::qExec(test.get(), argc, argv) != 0;
    }
    if (ran == 0)
        qWarning("No test class has every test function named on the command line.");
    return ran > 0 && failed == 0 ? 0 : 1;
}
