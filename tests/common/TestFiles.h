#pragma once

#include <QFile>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <iterator>

// The path, once the bytes are written there whole; empty when they could not be.
inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush()
               ? path
               : QString();
}

// Everything the other side of a descriptor (a terminal, a connection) writes until it closes, then the descriptor
// closed.
inline QByteArray readToEnd(int fd)
{
    QByteArray text;
    char chunk[4096];
    for (ssize_t got = 0; (got = ::read(fd, chunk, sizeof chunk)) > 0;)
        text.append(chunk, got);
    ::close(fd);
    return text;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// In a child process: from now on, the system call fails with the error; if that cannot be set, it ends with 126.
inline void failSystemCall(int number, int error)
{
    sock_filter code[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                          BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, unsigned(number), 0, 1),
                          BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | unsigned(error)),
                          BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        ::_exit(126);
}
