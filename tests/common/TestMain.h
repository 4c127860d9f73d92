#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

// One executable per test folder: each test class registers itself with KORVANE_TEST(Class), and the folder's
// main() runs them one after the other.
namespace TestMain {
using Factory = std::function<std::unique_ptr<QObject>()>;
// Something the executable does instead of testing when it is started as a test's child process: a value ends
// the process with that exit code.
using ChildRole = std::function<std::optional<int>()>;

bool add(Factory factory);
bool addChildRole(ChildRole role);
// The exit code of a child role that answers, if any.
std::optional<int> runChildRole();
// Runs every registered class; with test functions named on the command line, only the classes that have them.
int runAll(int argc, char **argv);
} // namespace TestMain

#define KORVANE_TEST(Class)                                                                                            \
    [[maybe_unused]] static const bool registered##Class = TestMain::add([] { return std::make_unique<Class>(); });
