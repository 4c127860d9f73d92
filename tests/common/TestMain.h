#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

// One executable per test folder: its test class registers with KORVANE_TEST(Class), and main() runs it.
namespace TestMain {
using Factory = std::function<std::unique_ptr<QObject>()>;
// Instead of testing, when a test starts the executable as its child: a value ends the process with that code.
using ChildRole = std::function<std::optional<int>()>;

bool add(Factory factory);
bool addChildRole(ChildRole role);
std::optional<int> runChildRole();
int runAll(int argc, char **argv);
} // namespace TestMain

#define KORVANE_TEST(Class)                                                                                            \
    [[maybe_unused]] static const bool registered##Class = TestMain::add([] { return std::make_unique<Class>(); });
