#include "cli/StandardStreams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

ClosedStreams holdClosedStandardStreams()
{
    bool closed[3] = {};
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        closed[fd] = true;
        // The lowest free number: this very one.
        ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    return {closed[STDIN_FILENO], closed[STDOUT_FILENO]};
}

void printError(const QString &text)
{
    std::fprintf(stderr, "korvane-cli: %s\n", qPrintable(text));
}

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
