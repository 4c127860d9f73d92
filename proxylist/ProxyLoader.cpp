#include "proxylist/ProxyLoader.h"

#include "proxylist/NativeName.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyValidator.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace {
quint64 hashOf(QByteArrayView text)
{
    // Eight bytes at a time, each word mixed in with a multiplication, then a finaliser that spreads the bits over
    // the whole word.
    constexpr quint64 Multiplier = 0x9e3779b97f4a7c15ull;
    quint64 hash = quint64(text.size()) * Multiplier;
    qsizetype i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        quint64 word = 0;
        std::memcpy(&word, text.data() + i, 8);
        hash = (hash ^ word) * Multiplier;
        hash ^= hash >> 29;
    }
    if (i < text.size()) {
        quint64 word = 0;
        std::memcpy(&word, text.data() + i, size_t(text.size() - i));
        hash = (hash ^ word) * Multiplier;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    return hash ^ (hash >> 33);
}

// The slots of a set, zeroed. A set of millions of slots is touched at random: in pages of 2 MB, where the system
// gives them, its addresses are looked up far less often than in pages of 4 KB.
class Slots
{
public:
    Slots() = default;
    // Fresh pages from the system, which come zeroed: nothing to clear by hand.
    explicit Slots(size_t count) : m_count(count), m_length(count * sizeof(quint64) + HugePage)
    {
        m_mapping = ::mmap(nullptr, m_length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_mapping == MAP_FAILED)
            throw std::bad_alloc();
        void *aligned = m_mapping;
        size_t space = m_length;
        m_slots = static_cast<quint64 *>(std::align(HugePage, count * sizeof(quint64), aligned, space));
        ::madvise(m_slots, count * sizeof(quint64), MADV_HUGEPAGE);
    }
    ~Slots()
    {
        if (m_mapping)
            ::munmap(m_mapping, m_length);
    }
    Slots(const Slots &) = delete;
    Slots &operator=(const Slots &) = delete;
    void swap(Slots &other)
    {
        std::swap(m_mapping, other.m_mapping);
        std::swap(m_length, other.m_length);
        std::swap(m_slots, other.m_slots);
        std::swap(m_count, other.m_count);
    }
    size_t size() const { return m_count; }
    quint64 &operator[](size_t i) { return m_slots[i]; }
    const quint64 *begin() const { return m_slots; }
    const quint64 *end() const { return m_slots + m_count; }

private:
    static constexpr size_t HugePage = size_t(2) << 20;
    size_t m_count = 0;
    size_t m_length = 0;
    void *m_mapping = nullptr;
    quint64 *m_slots = nullptr;
};

// The lines a load adds: each accepted line that is neither in the list nor among the lines gathered so far. In
// a merge the list's own later copies of a text are marked for removal, so the first copy in list order
// survives and rows already in the list come before new lines: the same rows as appending everything, then
// comparing each row with all later ones.
class NewLines
{
public:
    NewLines(const ProxyList &list, bool merge)
        : m_list(list), m_listRows(merge ? list.count() : 0), m_lines(list.nextId())
    {
        m_keep.assign(size_t(m_listRows), true);
        grow(std::max<qsizetype>(1024, 2 * qsizetype(m_listRows)));
        for (int r = 0; r < m_listRows; ++r) {
            if (!insert(textOf(r), hashOf(textOf(r)), r)) {
                m_keep[size_t(r)] = false;
                m_dropsRows = true;
            }
        }
    }

    // Room for a list of this many bytes, when its size is known: lines of a usual list are some 20 bytes long.
    // The rows of later lists grow as vectors grow, and so do those of a list past the window's cap, which the
    // command line reads whatever its size: most of a list that large is seldom rows.
    void expect(qint64 bytes)
    {
        bytes = std::min(bytes, ListFileReader::WindowCap);
        if (m_lines.count() == 0)
            m_lines.reserve(int(bytes / 24), qsizetype(bytes));
        const qsizetype lines = m_used + bytes / 20;
        if (lines + lines / 2 > qsizetype(m_slots.size()))
            grow(lines + lines / 2);
    }

    // A line whose bytes stay where they are until flush(), unless it is passing: then it is taken at once.
    void offer(QByteArrayView line, bool passing)
    {
        // Where a line's slot lies is asked of the memory ahead of time: a set of millions of slots hardly ever
        // has it at hand, and a batch of such waits overlap.
        const quint64 hash = hashOf(line);
        __builtin_prefetch(&m_slots[size_t(hash) & (m_slots.size() - 1)]);
        m_waiting[m_waitingCount++] = {line, hash};
        if (passing || m_waitingCount == m_waiting.size())
            flush();
    }

    void flush()
    {
        // Where a line's slot holds a row whose hash looks the same, the line is most likely that row's copy: its
        // text is asked for ahead of the comparison too.
        const size_t mask = m_slots.size() - 1;
        for (size_t i = 0; i < m_waitingCount; ++i) {
            const quint64 slot = m_slots[size_t(m_waiting[i].hash) & mask];
            if (slot != 0 && (slot ^ m_waiting[i].hash) >> 32 == 0)
                __builtin_prefetch(textOf(int(slot & 0xffffffff) - 1).data());
        }
        for (size_t i = 0; i < m_waitingCount; ++i) {
            if (insert(m_waiting[i].line, m_waiting[i].hash, m_listRows + m_lines.count()))
                m_lines.append(m_waiting[i].line);
        }
        m_waitingCount = 0;
    }

    // The lines gathered so far: what the lines of a list that cannot be read to its end are taken back to.
    int mark() const { return m_lines.count(); }
    void rollBack(int mark)
    {
        if (mark == m_lines.count())
            return;
        m_lines.truncate(mark);
        // Entries cannot leave the middle of an open-addressing set's chains: it is filled again with what stays.
        Slots fresh(m_slots.size());
        fresh.swap(m_slots);
        m_used = 0;
        for (int index = 0; index < m_listRows + m_lines.count(); ++index) {
            if (index >= m_listRows || m_keep[size_t(index)])
                insert(textOf(index), hashOf(textOf(index)), index);
        }
    }

    // All that commit() needs stays; the set of texts goes now, on the thread that read the list, not the list's.
    void dropSet()
    {
        Slots none;
        none.swap(m_slots);
    }

    // A merge's new lines put after the list's rows now, on the thread that read the list: commit() then only swaps
    // them in. Not when the list's own rows change too.
    void join()
    {
        if (m_listRows > 0 && !m_dropsRows && m_lines.count() > 0)
            m_joined = m_list.joinedWith(m_lines);
    }

    void commit(ProxyList &list, bool merge)
    {
        if (!merge) {
            m_former = list.replaceRows(std::move(m_lines));
            return;
        }
        if (m_joined) {
            m_former = list.appendJoined(std::move(*m_joined));
            return;
        }
        if (m_dropsRows)
            list.keepRows(m_keep);
        list.appendRows(std::move(m_lines));
    }

private:
    QByteArrayView textOf(int index) const
    {
        const QLatin1StringView text = index < m_listRows ? m_list.text(index) : m_lines.text(index - m_listRows);
        return QByteArrayView(text.data(), text.size());
    }

    // An open-addressing set of row numbers, each slot holding the top half of its text's hash and the number plus
    // one, so that most slots are told apart without touching the text. Kept at most three quarters full. False
    // when the text is there already.
    bool insert(QByteArrayView text, quint64 hash, int index)
    {
        if (4 * (m_used + 1) > 3 * qsizetype(m_slots.size()))
            grow(2 * qsizetype(m_slots.size()));
        const quint64 tag = hash & 0xffffffff00000000ull;
        const size_t mask = m_slots.size() - 1;
        for (size_t at = size_t(hash) & mask;; at = (at + 1) & mask) {
            const quint64 slot = m_slots[at];
            if (slot == 0) {
                m_slots[at] = tag | quint64(index + 1);
                ++m_used;
                return true;
            }
            if ((slot & 0xffffffff00000000ull) == tag && textOf(int(slot & 0xffffffff) - 1) == text)
                return false;
        }
    }

    void grow(qsizetype slots)
    {
        size_t size = 1;
        while (size < size_t(slots))
            size <<= 1;
        Slots old(size);
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const quint64 slot : old) {
            if (slot == 0)
                continue;
            size_t at = size_t(hashOf(textOf(int(slot & 0xffffffff) - 1))) & mask;
            while (m_slots[at] != 0)
                at = (at + 1) & mask;
            m_slots[at] = slot;
        }
    }

    const ProxyList &m_list;
    const int m_listRows;
    ProxyRows m_lines;
    struct Waiting
    {
        QByteArrayView line;
        quint64 hash = 0;
    };
    std::array<Waiting, 64> m_waiting;
    size_t m_waitingCount = 0;
    Slots m_slots;
    qsizetype m_used = 0;
    std::vector<bool> m_keep;
    bool m_dropsRows = false;
    // The list's rows followed by the new lines, once joined.
    std::optional<ProxyRows> m_joined;
    // What the list's rows were stored in before commit(): freed with this object, on whichever thread lets it go.
    ProxyRows m_former;
};

// A UTF-8 byte-order mark: files joined into one list (cat a.txt b.txt) bring theirs to the start of any line.
constexpr QByteArrayView Mark = "\xef\xbb\xbf";

// The line without a mark at its start: the mark is no part of the row.
inline QByteArrayView withoutMark(QByteArrayView line)
{
    return line.size() >= 3 && line[0] == Mark[0] && line[1] == Mark[1] && line[2] == Mark[2] ? line.sliced(3) : line;
}

// Cuts a list, handed over in pieces, into lines: a line ends at CR LF, at a lone CR or at a lone LF, the
// terminator not included, and a byte-order mark at its start is left out; after the last terminator the rest is a
// line unless it is empty. A line that runs over the end of a piece is gathered, and handed on as passing; the
// others are handed on where they lie in the piece. A gathered line is kept only while the line test may still pass
// it: one that cannot is skipped to its end, so a list of one endless bad line takes no memory.
template <typename F> class LineCutter
{
public:
    LineCutter(F line, const ProxyValidator &validator) : m_line(std::move(line)), m_validator(validator) {}

    void feed(QByteArrayView piece)
    {
        qsizetype begin = 0;
        // An LF right after a CR that ended the last piece belongs to it.
        if (m_afterCr && !piece.isEmpty() && piece[0] == '\n')
            begin = 1;
        m_afterCr = false;
        const char *data = piece.data();
        const qsizetype size = piece.size();
        // Each break character is looked for again only once the cut has passed the last one found: a piece
        // without a CR is then searched for one once, not once per line.
        const auto next = [&](char c, qsizetype from) {
            const void *found = std::memchr(data + from, c, size_t(size - from));
            return found ? static_cast<const char *>(found) - data : size;
        };
        qsizetype nextCr = -1;
        qsizetype nextLf = -1;
        while (begin < size) {
            if (nextCr < begin)
                nextCr = next('\r', begin);
            if (nextLf < begin)
                nextLf = next('\n', begin);
            const char *end = std::min(nextCr, nextLf) < size ? data + std::min(nextCr, nextLf) : nullptr;
            if (!end) {
                gather(QByteArrayView(data + begin, size - begin));
                break;
            }
            emit(QByteArrayView(data + begin, end - data - begin));
            begin = end - data + 1;
            if (*end == '\r') {
                if (begin == size)
                    m_afterCr = true;
                else if (data[begin] == '\n')
                    ++begin;
            }
        }
    }

    void finish()
    {
        if (!m_partial.isEmpty())
            m_line(withoutMark(m_partial), true);
        endLine();
    }

private:
    // passing: the line's bytes are the cutter's own, and go once this returns.
    void emit(QByteArrayView tail)
    {
        if (m_skipping || m_partial.isEmpty()) {
            if (!m_skipping)
                m_line(withoutMark(tail), false);
            endLine();
            return;
        }
        m_partial.append(tail);
        m_line(withoutMark(m_partial), true);
        endLine();
    }

    // The line is judged again each time it has doubled, not on every piece: judging a long start that may still
    // pass reads all of it, and a line of a gigabyte is hundreds of pieces.
    void gather(QByteArrayView tail)
    {
        if (m_skipping)
            return;
        m_partial.append(tail);
        if (m_settled || m_partial.size() < 2 * m_judged)
            return;
        m_judged = m_partial.size();
        // A piece may end inside a mark, which the next completes.
        if (Mark.startsWith(m_partial))
            return;
        const QByteArrayView line = withoutMark(m_partial);
        const ProxyValidator::Outlook outlook = m_validator.outlook(QLatin1StringView(line.data(), line.size()));
        m_settled = outlook == ProxyValidator::Outlook::Passes;
        if (outlook == ProxyValidator::Outlook::Fails) {
            m_partial.clear();
            m_skipping = true;
        }
    }

    void endLine()
    {
        m_partial.clear();
        m_skipping = m_settled = false;
        m_judged = 0;
    }

    F m_line;
    const ProxyValidator &m_validator;
    QByteArray m_partial;
    qsizetype m_judged = 0; // the size of the line when it was last judged
    bool m_settled = false; // the line passes, whatever follows
    bool m_skipping = false;
    bool m_afterCr = false;
};

// Offers the valid lines of what the read hands over; when it fails, some of the list's lines may have been offered.
template <typename Read> Result<> gather(NewLines &lines, const ProxyValidator &validator, const Read &read)
{
    LineCutter cutter(
        [&](QByteArrayView line, bool passing) {
            if (validator.isValidProxy(QLatin1StringView(line.data(), line.size())))
                lines.offer(line, passing);
        },
        validator);
    bool sized = false;
    Result<> done = read([&](QByteArrayView piece, qint64 size) {
        if (!std::exchange(sized, true) && size > 0)
            lines.expect(size);
        cutter.feed(piece);
        // The piece goes once this returns.
        lines.flush();
    });
    if (done)
        cutter.finish();
    return done;
}
} // namespace

Result<> ProxyLoader::load(const Reader &read, bool merge)
{
    Result<Commit> done = this->read(read, merge);
    if (!done)
        return Failure{done.error()};
    (*done)();
    return {};
}

Result<ProxyLoader::Commit> ProxyLoader::read(const Reader &read, bool merge) const
{
    auto lines = std::make_shared<NewLines>(m_list, merge);
    const Result<> done = gather(*lines, m_validator, read);
    if (!done)
        return Failure{done.error()};
    lines->dropSet();
    if (merge)
        lines->join();
    return Commit([lines, &list = m_list, merge] { lines->commit(list, merge); });
}

Result<ProxyLoader::Commit> ProxyLoader::readFile(const QString &path, bool merge,
                                                  const ListFileReader::Watch &watch) const
{
    return read(
        [&](const ListFileReader::Consumer &consume) {
            return ListFileReader::read(path, ListFileReader::FilesAndPipes, ListFileReader::WindowCap, consume, watch);
        },
        merge);
}

ProxyLoader::Commit ProxyLoader::readClipboard(QStringView text, bool merge) const
{
    const QByteArray data = text.toUtf8();
    return *read(
        [&data](const ListFileReader::Consumer &consume) {
            consume(data, data.size());
            return Result<>();
        },
        merge);
}

Result<> ProxyLoader::loadFromFile(const QString &path, bool merge)
{
    return load(
        [&](const ListFileReader::Consumer &consume) {
            return ListFileReader::read(path, ListFileReader::OrdinaryFiles, ListFileReader::WindowCap, consume);
        },
        merge);
}

void ProxyLoader::loadFromBytes(QByteArrayView data, bool merge)
{
    load(
        [data](const ListFileReader::Consumer &consume) {
            consume(data, data.size());
            return Result<>();
        },
        merge);
}

void ProxyLoader::loadFromClipboard(QStringView text, bool merge)
{
    // Its UTF-8 bytes, line breaks and blank lines included: the line test drops a line of blanks, and a byte-order
    // mark (U+FEFF) that some programs put before copied text leaves the line it starts, as in a file.
    loadFromBytes(text.toUtf8(), merge);
}

QStringList ProxyLoader::mergeLists(const QStringList &names, ListFileReader::Sources sources,
                                    std::optional<qint64> cap)
{
    const qint64 limit = cap.value_or(ListFileReader::capOf(sources));
    // One set for all the files: each file's lines are told from the list's rows and the earlier files' without
    // these being gathered again, which would make many files cost their number times the rows.
    NewLines lines(m_list, true);
    QStringList failures;
    bool merged = false;
    for (const QString &name : names) {
        const bool standardInput = sources == ListFileReader::PipesAndDevicesToo && name == QLatin1String("-");
        const int mark = lines.mark();
        const Result<> loaded = gather(lines, m_validator, [&](const ListFileReader::Consumer &consume) {
            return standardInput ? ListFileReader::readStandardInput(limit, consume)
                                 : ListFileReader::read(name, sources, limit, consume);
        });
        if (loaded) {
            merged = true;
            continue;
        }
        lines.rollBack(mark);
        failures.append((standardInput ? tr("standard input") : NativeName::readable(name)) + u": " + loaded.error());
    }
    // As each list's own merge would have it: when none could be read, the list stays as it was.
    if (merged)
        lines.commit(m_list, true);
    return failures;
}
