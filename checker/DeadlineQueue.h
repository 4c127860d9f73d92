#pragma once

#include "checker/Clock.h"

#include <map>
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
    Handle push(Clock::TimePoint time, Value value) { return m_items.emplace(time, value); }
    void erase(Handle handle) { m_items.erase(handle); }
    // Another value in the same place: it keeps the time and order of the one it replaces.
    static void replace(Handle handle, Value value) { handle->second = value; }

    bool empty() const { return m_items.empty(); }
    int size() const { return int(m_items.size()); }
    Clock::TimePoint firstTime() const { return m_items.begin()->first; }
    Value first() const { return m_items.begin()->second; }
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
