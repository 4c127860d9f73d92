#pragma once

#include <QCursor>
#include <QGuiApplication>

// Shows the busy cursor for as long as it lives: a large list takes seconds to read, sort out or write.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    Q_DISABLE_COPY_MOVE(BusyCursor)
};
