#pragma once

#include <QString>

class ProxyTableModel;

// Which rows a test run probes, and in which order: all (TestMode 0), the untested (1) or the selected (2), from
// the top down, each at most once per run.
class CheckRows
{
public:
    explicit CheckRows(ProxyTableModel &table);

    // Mode of the current or last run: the index of the chosen test command.
    int TestMode = 0;
    // The last row GetNextProxy has looked at in this run; 0 at the start of a run.
    int TestCursor = 0;

    // Clears the result cells of the rows that a run in TestMode will probe and turns them black.
    void ResetTestRows();
    // The next row of the run: its text and number, its Status set to "Checking...". False when none is left.
    bool GetNextProxy(QString &ProxyText, int &RowIndex, int Mode);

private:
    bool isCandidate(int row, int mode) const;

    ProxyTableModel &m_table;
};
