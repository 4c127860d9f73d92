#pragma once

#include <QPushButton>

// A command button that Enter and keypad Enter press like Space. A plain QPushButton answers Enter only as a
// dialog's default button, and making it one would draw a default frame around it.
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
