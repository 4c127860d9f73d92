#pragma once

#include <QObject>

class QSocketNotifier;

// The signals that end a check, turned into events of the event loop. The first Ctrl+C asks the run to end after
// the probes under way; a second one, SIGTERM or SIGHUP (a timer, a service manager, a closed terminal) ask it to
// stop now. The handlers stay for as long as this lives, so that no signal cuts a line of the results in half.
class SignalWatch : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatch(QObject *parent = nullptr);
    ~SignalWatch() override;

    bool interrupted() const { return m_interrupts > 0; }
    // What the program ends with after these signals: 128 plus the signal that stopped the run (130, 143, 129),
    // 130 after Ctrl+C alone, 0 when none came.
    int exitStatus() const;

Q_SIGNALS:
    void interruptRequested();
    void stopRequested();

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
    int m_interrupts = 0;
    int m_stoppedBy = 0;
};
