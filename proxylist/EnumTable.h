#pragma once

#include <cstddef>

namespace EnumTable {
// Whether a table with one entry per value of an enum lists each value at its own place: entry i's key is value i.
template <typename Entries, typename Entry, typename Key>
constexpr bool inEnumOrder(const Entries &entries, Key Entry::*key)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (std::size_t(entries[i].*key) != i)
            return false;
    }
    return true;
}
} // namespace EnumTable
