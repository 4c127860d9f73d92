#include "bench/ProcessFigures.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>

namespace {
// One "Name:   value kB" line of /proc/self/status; -1 when it is missing.
qint64 statusKb(const char *name)
{
    std::FILE *file = std::fopen("/proc/self/status", "r");
    if (!file)
        return -1;
    const size_t length = std::strlen(name);
    char line[256];
    qint64 value = -1;
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
            value = std::strtoll(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(file);
    return value;
}
} // namespace

namespace ProcessFigures {
qint64 residentKb()
{
    return statusKb("VmRSS");
}

qint64 peakResidentKb()
{
    return statusKb("VmHWM");
}

bool resetPeak()
{
    std::FILE *file = std::fopen("/proc/self/clear_refs", "w");
    if (!file)
        return false;
    const bool written = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && written;
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void raiseFileLimit()
{
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return;
    // A farm of a hundred thousand proxies needs more than a usual hard limit: as root, it is raised too.
    const rlimit wide{rlim_t(1) << 20, rlim_t(1) << 20};
    if (files.rlim_max < wide.rlim_max && setrlimit(RLIMIT_NOFILE, &wide) == 0)
        return;
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
}
qint64 threadMajorFaults()
{
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_majflt;
}
} // namespace ProcessFigures
