#pragma once

#include <QString>

#include <utility>
#include <variant>

// Why something failed, in words the user can be shown.
struct Failure
{
    QString reason;
};

// What reading, writing or parsing gives back: the value, or the Failure that stopped it.
template <typename T = std::monostate> class Result
{
public:
    Result(T value = T()) : m_outcome(std::move(value)) {}
    Result(Failure failure) : m_outcome(std::move(failure)) {}

    explicit operator bool() const { return m_outcome.index() == 0; }
    const T &value() const { return std::get<0>(m_outcome); }
    T &value() { return std::get<0>(m_outcome); }
    const T &operator*() const { return value(); }
    T &operator*() { return value(); }
    // Empty after a success.
    QString error() const { return *this ? QString() : std::get<1>(m_outcome).reason; }

private:
    std::variant<T, Failure> m_outcome;
};
