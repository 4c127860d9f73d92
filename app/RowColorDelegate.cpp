#include "app/RowColorDelegate.h"

#include "app/ProxyTableModel.h"

void RowColorDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (const QVariant rgb = index.data(ProxyTableModel::RowColorRole); rgb.isValid())
        option->palette.setColor(QPalette::Text, QColor::fromRgb(QRgb(rgb.toUInt())));
}
