#pragma once

#include <QProxyStyle>

// The look the window was designed for: Qt's "Windows" style paints a button's face flat in its palette colour
// with a bevel and a dotted focus rectangle, plain sliders and a frame that lets the window's grey show through.
// Here the frame's line also runs along the frame's top edge, through its caption, rather than lower down.
class ClassicStyle : public QProxyStyle
{
    Q_OBJECT

public:
    ClassicStyle();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                         const QWidget *widget = nullptr) const override;
};
