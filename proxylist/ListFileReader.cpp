#include "proxylist/ListFileReader.h"

#include "proxylist/NativeName.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <poll.h>
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

Failure tooLarge(qint64 cap)
{
    return Failure{ListFileReader::tr("It is larger than %1 MB.").arg(cap >> 20)};
}

// Hands a list on without its byte-order mark, and a UTF-16 list as the UTF-8 of its text. The mark is looked for
// in the list's first three bytes, however the reads cut them; the decoder keeps a character cut between pieces.
class MarkReader
{
public:
    MarkReader(const ListFileReader::Consumer &consume, qint64 expectedSize)
        : m_consume(consume), m_expectedSize(expectedSize)
    {}

    void feed(QByteArrayView piece)
    {
        if (m_decided)
            return pass(piece);
        const qsizetype carried = m_start.size();
        m_start += piece.first(std::min<qsizetype>(piece.size(), 3 - carried));
        const bool mayBeMark = std::any_of(Marks.begin(), Marks.end(), [this](QByteArrayView mark) {
            return mark.size() > m_start.size() && mark.startsWith(m_start);
        });
        if (!mayBeMark || m_start.size() == 3)
            decide(piece, carried);
    }

    // A list too short to tell is handed on as it is.
    void finish()
    {
        if (!m_decided)
            decide({}, m_start.size());
    }

private:
    static constexpr std::array<QByteArrayView, 3> Marks = {"\xef\xbb\xbf", "\xff\xfe", "\xfe\xff"};

    // What was carried over from earlier pieces lies in m_start; the piece follows it.
    void decide(QByteArrayView piece, qsizetype carried)
    {
        m_decided = true;
        const QByteArrayView start(m_start);
        if (start.startsWith(Marks[1]) || start.startsWith(Marks[2])) {
            // It reads the byte order from the mark, and drops it.
            m_decoder.emplace(QStringConverter::Utf16);
            m_expectedSize = m_expectedSize > 0 ? m_expectedSize / 2 : m_expectedSize;
        }
        const qsizetype mark = start.startsWith(Marks[0]) ? 3 : 0;
        if (mark < carried)
            pass(start.first(carried).sliced(mark));
        pass(piece.sliced(std::max<qsizetype>(0, mark - carried)));
    }

    void pass(QByteArrayView piece)
    {
        if (!m_decoder)
            return m_consume(piece, m_expectedSize);
        const QString text = (*m_decoder)(piece);
        m_consume(QByteArray(m_encoder(text)), m_expectedSize);
    }

    const ListFileReader::Consumer &m_consume;
    qint64 m_expectedSize;
    QByteArray m_start;
    bool m_decided = false;
    std::optional<QStringDecoder> m_decoder;
    QStringEncoder m_encoder{QStringConverter::Utf8};
};
} // namespace

Result<> ListFileReader::read(const QString &name, Sources sources, qint64 cap, const Consumer &consume,
                              const Watch &watch)
{
    const QByteArray path = NativeName::encode(name);
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return errno == ENOENT ? Failure{tr("The file does not exist.")} : systemFailure(errno);
    if (S_ISDIR(info.st_mode))
        return Failure{tr("It is a folder, not a file.")};
    const bool pipe = sources == FilesAndPipes && S_ISFIFO(info.st_mode);
    if (sources != PipesAndDevicesToo && !S_ISREG(info.st_mode) && !pipe)
        return Failure{tr("It is not an ordinary file.")};
    if (S_ISREG(info.st_mode) && info.st_size > cap)
        return tooLarge(cap);
    // A pipe opened to wait on would block until its writer comes: it is opened without blocking, and polled.
    const Descriptor file(::open(path.constData(), O_RDONLY | O_CLOEXEC | (pipe ? O_NONBLOCK : 0)));
    if (file.get() < 0)
        return systemFailure(errno);
    return readAll(file.get(), S_ISREG(info.st_mode) ? qint64(info.st_size) : -1, cap, consume, watch, pipe);
}

Result<> ListFileReader::readStandardInput(qint64 cap, const Consumer &consume)
{
    return readAll(STDIN_FILENO, -1, cap, consume, {}, false);
}

Result<> ListFileReader::readAll(int fd, qint64 expectedSize, qint64 cap, const Consumer &consume, const Watch &watch,
                                 bool pipe)
{
    // Pieces of a fixed size: a list is never held whole here, whatever its size.
    std::vector<char> piece(Piece);
    MarkReader text(consume, expectedSize);
    qint64 total = 0;
    for (;;) {
        if (watch.stopped && watch.stopped())
            return Failure{tr("The load was stopped.")};
        // Until a writer has come and gone, a pipe without bytes says neither; its end is a hang-up.
        pollfd waiting{fd, POLLIN, 0};
        if (pipe && ::poll(&waiting, 1, 100) == 0)
            continue;
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && pipe)
            continue;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return systemFailure(errno);
        if (got == 0) {
            text.finish();
            return {};
        }
        // One byte past the cap tells a list that is too long; a file that grows while it is read is read on.
        const qint64 within = std::min<qint64>(got, cap - total);
        total += within;
        text.feed(QByteArrayView(piece.data(), within));
        if (watch.progress)
            watch.progress(total);
        if (within < got)
            return tooLarge(cap);
    }
}
