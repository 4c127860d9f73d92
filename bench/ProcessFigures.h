#pragma once

#include <QtGlobal>

// What this process uses, read from the kernel: memory, descriptors, processor time.
namespace ProcessFigures {
// Resident memory now, and its high-water mark since the start or the last resetPeak(), in KiB.
qint64 residentKb();
qint64 peakResidentKb();
// Starts the high-water mark again from the present resident memory; false where the kernel does not allow it.
bool resetPeak();
int openDescriptors();
// User and system time.
double cpuSeconds();
// The calling thread's page faults that had to wait for the disk.
qint64 threadMajorFaults();
// Raises the soft limit on open descriptors to the hard one.
void raiseFileLimit();
} // namespace ProcessFigures
