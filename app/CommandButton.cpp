#include "app/CommandButton.h"

#include <QKeyEvent>

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QPushButton::keyPressEvent(event);
        return;
    }
    // One press per key stroke: a held key does not repeat the command.
    if (!event->isAutoRepeat())
        click();
    event->accept();
}
