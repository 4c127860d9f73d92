#pragma once

#include <deque>
#include <optional>
#include <vector>

class ProxyList;
class RowSelection;

// Which rows a check run probes, and in which order: all, the untested, the selected or the failed, from the top
// down, each once per run but for those tried again.
class CheckRows
{
public:
    enum class Mode { All, Untested, Selected, Failed };

    explicit CheckRows(const ProxyList &list) : m_list(list) {}

    // Where the selected rows are read; without one, no row is selected.
    void setSelection(const RowSelection *selection) { m_selection = selection; }
    // Starts a run from the top of the list.
    void start(Mode mode);
    // The rows nextRow() has looked at in this run; 0 at the start of a run.
    int examined() const { return m_cursor; }

    // The rows the run will probe, flagged: those a run resets before it starts.
    std::vector<bool> rowsToReset() const;
    // Whether the mode has any row to probe, as the list and the selection stand now.
    bool hasRows() const;
    // The next row of the run: one put back first, then the next down the list; nothing when none is left.
    std::optional<int> nextRow();
    // The row goes out once more before the rest: its verdict did not hold (its echo host had stopped answering).
    // A retry it waited for is that probe.
    void putBack(int row)
    {
        m_putBack.push_back(row);
        std::erase(m_retries, row);
    }
    // The row goes out once more after the rest: it failed, and has probes left.
    void retryLater(int row) { m_retries.push_back(row); }

private:
    bool isCandidate(int row) const;
    // Flags of the rows judged "Timeout", "Error" or "Invalid Response".
    std::vector<bool> failedRows() const;

    const ProxyList &m_list;
    const RowSelection *m_selection = nullptr;
    Mode m_mode = Mode::All;
    int m_cursor = 0;
    std::deque<int> m_putBack;
    std::deque<int> m_retries;
    std::vector<bool> m_failedAtStart;
};
