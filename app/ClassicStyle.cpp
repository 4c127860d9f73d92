#include "app/ClassicStyle.h"

#include <QStyleFactory>
#include <QStyleOptionComplex>

ClassicStyle::ClassicStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows"))) {}

QRect ClassicStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                                   const QWidget *widget) const
{
    if (control == CC_GroupBox && subControl == SC_GroupBoxFrame)
        return option->rect;
    return QProxyStyle::subControlRect(control, option, subControl, widget);
}
