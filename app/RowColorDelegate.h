#pragma once

#include <QStyledItemDelegate>

// Paints each row's text in the colour the model gives it under its RowColorRole, as an RGB value: the model
// decides the colour, and needs no GUI library to do so.
class RowColorDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
