#pragma once

#include <QString>

#include <optional>

class ProxyTableModel;

// Which rows a check run probes, and in which order: all (mode 0), the untested (1) or the selected (2), from the
// top down, each at most once per run.
class CheckRows
{
public:
    enum Mode { AllRows, UntestedRows, SelectedRows };

    // A row handed out to be probed.
    struct Next
    {
        QString text;
        int row = 0;
    };

    explicit CheckRows(ProxyTableModel &table);

    // Starts a run in the mode (the index of the chosen test command) from the top of the table.
    void start(int mode);
    int mode() const { return m_mode; }
    // The last row nextProxy() has looked at in this run; 0 at the start of a run.
    int cursor() const { return m_cursor; }

    // Clears the result cells of the rows that the run will probe and turns them black.
    void resetRows();
    // The next row of the run, its Status set to "Checking..."; nothing when none is left.
    std::optional<Next> nextProxy();

private:
    bool isCandidate(int row) const;

    ProxyTableModel &m_table;
    int m_mode = AllRows;
    int m_cursor = 0;
};
