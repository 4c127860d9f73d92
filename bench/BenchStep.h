#pragma once

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <ctime>
#include <malloc.h>

// Time and memory of one benchmark step: the wall and CPU time, the peak resident size during the step (the kernel's
// high-water mark, lowered to the present size when the step starts) and the resident size at its end. Free heap
// memory goes back to the system first, so that what the step allocates shows in its peak.
namespace BenchStep {
// A well-spread 64-bit number of i, the same in every run: generated rows and addresses that look random.
inline quint64 mix(quint64 x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    return x ^ (x >> 33);
}

inline long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

inline double residentMB()
{
    return double(statusKiB("VmRSS:")) / 1024.0;
}

// CPU time of the process: on a machine shared with other work it varies less than the wall time.
inline double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

inline void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

class Step
{
public:
    explicit Step(const char *name) : m_name(name)
    {
        malloc_trim(0);
        resetPeak();
        m_start = residentMB();
        m_cpu = cpuMs();
        m_timer.start();
    }
    ~Step()
    {
        const double ms = double(m_timer.nsecsElapsed()) / 1e6;
        const double cpu = cpuMs() - m_cpu;
        const double peak = double(statusKiB("VmHWM:")) / 1024.0;
        std::printf("%-44s %9.1f ms (cpu %9.1f)   peak %7.1f MB (+%6.1f)   now %7.1f MB\n", m_name, ms, cpu, peak,
                    peak - m_start, residentMB());
        std::fflush(stdout);
    }
    // Wall time since the step started, for a figure that is held against a target.
    double elapsedMs() const { return double(m_timer.nsecsElapsed()) / 1e6; }
    Step(const Step &) = delete;
    Step &operator=(const Step &) = delete;

private:
    const char *m_name;
    double m_start = 0;
    double m_cpu = 0;
    QElapsedTimer m_timer;
};
} // namespace BenchStep
