#pragma once

#include <QObject>

class QSocketNotifier;

// Ctrl+C for a check: the first one is reported through the event loop, so the run can end after the batch under
// way; a second one ends the process at once with status 130.
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

    bool interrupted() const { return m_interrupted; }

Q_SIGNALS:
    void interruptRequested();

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
    bool m_interrupted = false;
};
