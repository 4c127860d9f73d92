#include "proxylist/ListFileReader.h"

#include "proxylist/NativeName.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr size_t Piece = size_t(4) << 20;

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

Failure tooLarge()
{
    return Failure{ListFileReader::tr("It is larger than %1 MB.").arg(ListFileReader::MaxSize >> 20)};
}
} // namespace

Result<> ListFileReader::read(const QString &name, Sources sources, const Consumer &consume)
{
    const QByteArray path = NativeName::encode(name);
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return errno == ENOENT ? Failure{tr("The file does not exist.")} : systemFailure(errno);
    if (S_ISDIR(info.st_mode))
        return Failure{tr("It is a folder, not a file.")};
    if (sources == OrdinaryFiles && !S_ISREG(info.st_mode))
        return Failure{tr("It is not an ordinary file.")};
    if (S_ISREG(info.st_mode) && info.st_size > MaxSize)
        return tooLarge();
    const Descriptor file(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return systemFailure(errno);
    return readAll(file.get(), S_ISREG(info.st_mode) ? qint64(info.st_size) : -1, consume);
}

Result<> ListFileReader::readStandardInput(const Consumer &consume)
{
    return readAll(STDIN_FILENO, -1, consume);
}

Result<> ListFileReader::readAll(int fd, qint64 expectedSize, const Consumer &consume)
{
    // Pieces of a fixed size: a list is never held whole here, whatever its size.
    std::vector<char> piece(Piece);
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return systemFailure(errno);
        if (got == 0)
            return {};
        // One byte past the limit tells a list that is too long; a file that grows while it is read is read on.
        total += got;
        if (total > MaxSize)
            return tooLarge();
        consume(QByteArrayView(piece.data(), got), expectedSize);
    }
}
