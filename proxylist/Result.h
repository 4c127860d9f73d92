#pragma once

#include <QString>

#include <utility>
#include <variant>

// Why something failed, in words the user can be shown.
struct Failure
{
    QString reason;
};

// A failed system call's error number, in the system's words.
inline Failure systemFailure(int error)
{
    return Failure{qt_error_string(error)};
}

// What reading, writing or parsing gives back: the value, or the Failure that stopped it.
template <typename T = std::monostate> class Result
{
public:
    Result(T value = T()) : m_value(std::move(value)) {}
    Result(Failure failure) : m_failure(std::move(failure.reason)), m_failed(true) {}

    explicit operator bool() const { return !m_failed; }
    const T &value() const { return m_value; }
    T &value() { return m_value; }
    const T &operator*() const { return m_value; }
    T &operator*() { return m_value; }
    // Empty after a success.
    const QString &error() const { return m_failure; }

private:
    T m_value;
    QString m_failure;
    bool m_failed = false;
};
