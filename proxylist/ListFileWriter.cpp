#include "proxylist/ListFileWriter.h"

#include "proxylist/NativeName.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The kernel's own bound on a chain of symbolic links.
constexpr int MaxLinkHops = 40;

// Follows symbolic links to the file they finally name, which need not exist yet: a dangling link names the file
// to create. Fails (errno set) only for a chain that never ends or a link too long to read.
bool resolveLinks(QByteArray &path)
{
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        char target[PATH_MAX];
        const ssize_t size = ::readlink(path.constData(), target, sizeof target);
        if (size < 0)
            return true; // not a link, or not there: opening it later says what is wrong
        if (size_t(size) == sizeof target) {
            errno = ENAMETOOLONG;
            return false;
        }
        const QByteArray link(target, size);
        if (link.startsWith('/'))
            path = link;
        else
            path = path.left(path.lastIndexOf('/') + 1) + link;
    }
    errno = ELOOP;
    return false;
}

// Writes all of bytes from offset 0 through short writes and interruptions. written counts what reached the
// file, also when a write fails (errno set).
bool writeAll(int fd, QByteArrayView bytes, qsizetype &written)
{
    written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + written, size_t(bytes.size() - written), off_t(written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0) // no progress, and no reason given: the disk is taken to be full
                errno = ENOSPC;
            return false;
        }
        written += n;
    }
    return true;
}

bool readAll(int fd, QByteArray &bytes)
{
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::pread(fd, chunk, sizeof chunk, off_t(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        bytes.append(chunk, n);
    }
}

// A new file beside target, under a hidden name that no other file has.
int createTemporary(const QByteArray &target, mode_t mode, QByteArray &temporary)
{
    const qsizetype slash = target.lastIndexOf('/');
    // Cut so that the name stays within the longest one a folder takes.
    const QByteArray stem = target.left(slash + 1) + '.' + target.mid(slash + 1).left(200) + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = stem + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the new copy the former file's group and mode; fails where the user may not give it that group.
bool takeOverAttributes(int fd, const struct stat &former)
{
    struct stat copy = {};
    if (::fstat(fd, &copy) != 0 || (copy.st_gid != former.st_gid && ::fchown(fd, uid_t(-1), former.st_gid) != 0))
        return false;
    return ::fchmod(fd, former.st_mode & 07777) == 0;
}

// Puts back the part of the former contents that was overwritten, and the former size.
bool restore(int fd, const QByteArray &former, qsizetype touched)
{
    qsizetype written = 0;
    return writeAll(fd, QByteArrayView(former).first(qMin(touched, former.size())), written) &&
           ::ftruncate(fd, off_t(former.size())) == 0 && ::fsync(fd) == 0;
}
} // namespace

ListFileWriter::ListFileWriter(const QString &path) : m_path(path) {}

Result<> ListFileWriter::write(QByteArrayView bytes) const
{
    QByteArray target = NativeName::encode(m_path);
    if (!resolveLinks(target))
        return systemFailure(errno);
    struct stat former = {};
    const bool exists = ::stat(target.constData(), &former) == 0;
    if (!exists && errno != ENOENT)
        return systemFailure(errno);
    if (exists) {
        if (S_ISDIR(former.st_mode))
            return Failure{tr("It is a folder, not a file.")};
        if (!S_ISREG(former.st_mode))
            return Failure{tr("It is not an ordinary file.")};
        // A file the user may not write stays refused, even where the folder would allow a rename over it.
        if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
            return systemFailure(errno);
    }
    // A rename would leave the other names of a hard link with the old text, and make the user the owner.
    if (!exists || (former.st_nlink == 1 && former.st_uid == ::geteuid())) {
        if (const std::optional<Result<>> replaced = replace(target, exists ? &former : nullptr, bytes))
            return *replaced;
    }
    return writeInPlace(target, bytes);
}

std::optional<Result<>> ListFileWriter::replace(const QByteArray &target, const struct stat *former,
                                                QByteArrayView bytes) const
{
    QByteArray temporary;
    // A new file gets the usual mode less the umask; a copy stays private until it has the former file's mode.
    const int fd = createTemporary(target, former ? S_IRUSR | S_IWUSR : 0666, temporary);
    if (fd < 0) {
        // A folder that takes no new file still lets its writable files be overwritten.
        if (former && (errno == EACCES || errno == EPERM || errno == EROFS))
            return std::nullopt;
        return systemFailure(errno);
    }
    if (former && !takeOverAttributes(fd, *former)) {
        ::close(fd);
        ::unlink(temporary.constData());
        return std::nullopt;
    }
    qsizetype written = 0;
    int error = 0;
    if (!writeAll(fd, bytes, written) || ::fsync(fd) != 0)
        error = errno;
    // Linux has closed the file even when close() was interrupted, and its data is synced by then.
    if (::close(fd) != 0 && errno != EINTR && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) == 0)
        return Result<>();
    if (error == 0)
        error = errno;
    ::unlink(temporary.constData());
    return systemFailure(error);
}

Result<> ListFileWriter::writeInPlace(const QByteArray &target, QByteArrayView bytes) const
{
    int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return systemFailure(errno);
    QByteArray former;
    if (!readAll(fd, former)) {
        const int error = errno;
        ::close(fd);
        return systemFailure(error);
    }
    // How much of the former contents may have been overwritten or cut off so far.
    qsizetype touched = 0;
    int error = 0;
    if (!writeAll(fd, bytes, touched) || ::ftruncate(fd, off_t(bytes.size())) != 0) {
        error = errno;
    } else {
        touched = former.size();
        if (::fsync(fd) != 0)
            error = errno;
    }
    if (error == 0) {
        if (::close(fd) == 0 || errno == EINTR)
            return Result<>();
        error = errno;
        fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
    }
    const bool restored = fd >= 0 && restore(fd, former, touched);
    const int restoreError = errno;
    if (fd >= 0)
        ::close(fd);
    if (restored)
        return systemFailure(error);
    return Failure{tr("%1\nPutting the former contents back failed as well (%2); the file may be damaged.")
                       .arg(qt_error_string(error), qt_error_string(restoreError))};
}
