#pragma once

#include "checker/Clock.h"

#include <map>
#include <utility>
#include <vector>

// Values kept in the order of their times, those of equal times in the order they came: the first is always at hand,
// and any one goes in constant time by the handle it was given, however many are waiting. A pool of thousands of
// probes asks it for the next one out of time at every event.
template <typename Value> class DeadlineQueue
{
    using Items = std::multimap<Clock::TimePoint, Value>;

public:
    using Handle = typename Items::iterator;

    // A value of the same time as others goes after them (a multimap inserts at the end of equal keys).
    Handle push(Clock::TimePoint time, Value value) { return m_items.emplace(time, std::move(value)); }
    void erase(Handle handle) { m_items.erase(handle); }
    // The value goes to a new time, after the others of that time, without being copied; its new handle.
    Handle reschedule(Handle handle, Clock::TimePoint time)
    {
        auto node = m_items.extract(handle);
        node.key() = time;
        return m_items.insert(std::move(node));
    }

    bool empty() const { return m_items.empty(); }
    int size() const { return int(m_items.size()); }
    Clock::TimePoint firstTime() const { return m_items.begin()->first; }
    const Value &first() const { return m_items.begin()->second; }
    // Hands each value to the function, first to last.
    template <typename Function> void visit(Function each) const
    {
        for (const auto &item : m_items)
            each(item.second);
    }
    // In order, first to last: a copy, for a look at them all.
    std::vector<Value> values() const
    {
        std::vector<Value> values;
        values.reserve(m_items.size());
        for (const auto &item : m_items)
            values.push_back(item.second);
        return values;
    }

private:
    Items m_items;
};
