#include "cli/StandardOutput.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

QString writeToStandardOutput(QByteArrayView data)
{
    const char *next = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return QString::fromLocal8Bit(std::strerror(written < 0 ? errno : EIO));
        next += written;
        left -= written;
    }
    return {};
}
