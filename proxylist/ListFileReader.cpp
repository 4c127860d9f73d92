#include "proxylist/ListFileReader.h"

#include "proxylist/NativeName.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qint64 Chunk = qint64(1) << 20;

class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(Descriptor)
    int get() const { return m_fd; }

private:
    int m_fd;
};
} // namespace

Result<QByteArray> ListFileReader::read(const QString &name, Sources sources)
{
    const QByteArray path = NativeName::encode(name);
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return errno == ENOENT ? Failure{tr("The file does not exist.")} : failure(errno);
    if (S_ISDIR(info.st_mode))
        return Failure{tr("It is a folder, not a file.")};
    if (sources == OrdinaryFiles && !S_ISREG(info.st_mode))
        return Failure{tr("It is not an ordinary file.")};
    if (S_ISREG(info.st_mode) && info.st_size > MaxSize)
        return Failure{tr("It is larger than %1 MB.").arg(MaxSize >> 20)};
    const Descriptor file(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return failure(errno);
    return readAll(file.get(), S_ISREG(info.st_mode) ? qint64(info.st_size) : 0);
}

Result<QByteArray> ListFileReader::readStandardInput()
{
    return readAll(STDIN_FILENO, 0);
}

Result<QByteArray> ListFileReader::readAll(int fd, qint64 expectedSize)
{
    // One byte past the limit tells a list that is too long; a file that grows while it is read is read on.
    QByteArray data;
    data.reserve(qsizetype(std::min(expectedSize + 1, MaxSize + 1)));
    for (;;) {
        const qsizetype before = data.size();
        data.resize(before + qsizetype(std::max(Chunk, qint64(data.capacity()) - before)));
        const ssize_t got = ::read(fd, data.data() + before, size_t(data.size() - before));
        data.resize(before + std::max<qsizetype>(got, 0));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return failure(errno);
        if (got == 0)
            return data;
        if (data.size() > MaxSize)
            return Failure{tr("It is larger than %1 MB.").arg(MaxSize >> 20)};
    }
}

Failure ListFileReader::failure(int error)
{
    return Failure{qt_error_string(error)};
}
