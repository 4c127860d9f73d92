#include "cli/SignalWatch.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
// A signal handler may only write to a pipe; the event loop reads the other end.
int g_pipe[2] = {-1, -1};
constexpr int Watched[] = {SIGINT, SIGTERM, SIGHUP};

void onSignal(int number)
{
    const auto byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}
} // namespace

SignalWatch::SignalWatch(QObject *parent) : QObject(parent)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatch::onSignal);
    struct sigaction action = {};
    action.sa_handler = ::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : Watched)
        ::sigaction(number, &action, nullptr);
}

SignalWatch::~SignalWatch()
{
    for (const int number : Watched)
        std::signal(number, SIG_DFL);
    delete m_notifier;
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

int SignalWatch::exitStatus() const
{
    if (m_stoppedBy != 0)
        return 128 + m_stoppedBy;
    return interrupted() ? 128 + SIGINT : 0;
}

void SignalWatch::onSignal()
{
    unsigned char number = 0;
    while (::read(g_pipe[0], &number, 1) == 1) {
        if (number == SIGINT && m_interrupts++ == 0) {
            Q_EMIT interruptRequested();
        } else if (m_stoppedBy == 0) {
            m_stoppedBy = number;
            Q_EMIT stopRequested();
        }
    }
}
