#include "tests/common/TestMain.h"

#include <QTest>

#include <vector>

namespace {
// Function-local, so that registration from other files' static objects finds it built.
template <typename T> std::vector<T> &registry()
{
    static std::vector<T> all;
    return all;
}
} // namespace

bool TestMain::add(Factory factory)
{
    registry<Factory>().push_back(std::move(factory));
    return true;
}

bool TestMain::addChildRole(ChildRole role)
{
    registry<ChildRole>().push_back(std::move(role));
    return true;
}

std::optional<int> TestMain::runChildRole()
{
    for (const ChildRole &role : registry<ChildRole>()) {
        if (const std::optional<int> code = role())
            return code;
    }
    return std::nullopt;
}

int TestMain::runAll(int argc, char **argv)
{
    int failed = 0;
    for (const Factory &make : registry<Factory>())
        failed += QTest::qExec(make().get(), argc, argv) != 0;
    return failed == 0 ? 0 : 1;
}
