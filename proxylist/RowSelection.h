#pragma once

#include <vector>

// The rows the user has selected, for commands that work on them: the view's selection, read without a widget.
class RowSelection
{
public:
    virtual ~RowSelection() = default;
    virtual bool isSelected(int row) const = 0;
    // One flag per row of the list.
    virtual std::vector<bool> selectedRows() const = 0;
};
