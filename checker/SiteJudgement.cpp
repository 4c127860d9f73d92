#include "checker/SiteJudgement.h"

#include <QRegularExpression>

#include <algorithm>

namespace {
// The longest line that may give a chunk's size.
constexpr qsizetype MaxChunkLine = 1024;

// A header's value, when the line is that header.
std::optional<QByteArray> headerValue(const QByteArray &line, QByteArrayView name)
{
    if (line.size() <= name.size() || line[name.size()] != ':' || line.first(name.size()).toLower() != name)
        return std::nullopt;
    return line.sliced(name.size() + 1).trimmed();
}
} // namespace

SiteJudgement::SiteJudgement(const SiteCheck &site) : m_site(site), m_found(size_t(site.texts.size()), false)
{
    for (const QByteArray &text : site.texts)
        m_longestText = std::max(m_longestText, text.size());
}

QByteArray SiteJudgement::directRequest() const
{
    return "GET " + m_site.path + " HTTP/1.1\r\nHost: " + m_site.hostHeader() + "\r\nConnection: close\r\n\r\n";
}

QByteArray SiteJudgement::proxyRequest(const QByteArray &headerLines) const
{
    return "GET " + m_site.absoluteUrl() + " HTTP/1.1\r\nHost: " + m_site.hostHeader() + "\r\n" + headerLines +
           "Connection: close\r\n\r\n";
}

std::optional<RowVerdict> SiteJudgement::look(QByteArray &answer)
{
    if (!m_headRead) {
        if (std::optional<RowVerdict> verdict = readHead(answer); verdict || !m_headRead)
            return verdict;
    }
    if (readBody(answer))
        return judgeBody();
    return std::nullopt;
}

std::optional<RowVerdict> SiteJudgement::readHead(QByteArray &answer)
{
    const qsizetype end = answer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (answer.size() > MaxHeadBytes)
            return site(SiteStatus::Error, 0, QStringLiteral("headers too long"));
        if (answer.size() >= 5 && !answer.startsWith("HTTP/"))
            return site(SiteStatus::Error, 0, QStringLiteral("not an HTTP answer"));
        return std::nullopt;
    }
    static const QRegularExpression statusLine(QStringLiteral("^HTTP/1\\.[01] ([1-5][0-9][0-9])( |\\r)"));
    const QRegularExpressionMatch match =
        statusLine.match(QString::fromLatin1(answer.first(std::min<qsizetype>(end + 2, 64))));
    if (!match.hasMatch())
        return site(SiteStatus::Error, 0, QStringLiteral("not an HTTP answer"));
    const int status = match.captured(1).toInt();
    std::optional<qint64> length;
    bool chunked = false;
    QString location;
    for (const QByteArray &line : answer.first(end).split('\n')) {
        if (const auto value = headerValue(line, "content-length")) {
            bool ok = false;
            length = value->toLongLong(&ok);
            if (!ok || *length < 0)
                return site(SiteStatus::Error, status, QStringLiteral("bad Content-Length"));
        } else if (const auto coding = headerValue(line, "transfer-encoding")) {
            chunked = coding->toLower().contains("chunked");
        } else if (const auto where = headerValue(line, "location")) {
            location = QString::fromLatin1(*where);
        }
    }
    answer.remove(0, end + 4);
    // A 100 Continue and its kind come before the answer itself.
    if (status < 200)
        return readHead(answer);
    m_headRead = true;
    m_status = status;
    if (!m_site.expects(status))
        return site(SiteStatus::Refused, status, location);
    const bool bodiless = status == 204 || status == 304;
    m_body = chunked ? Body::Chunked : (length || bodiless ? Body::Sized : Body::ToClose);
    m_left = bodiless ? 0 : length.value_or(0);
    return std::nullopt;
}

bool SiteJudgement::readBody(QByteArray &answer)
{
    bool complete = false;
    switch (m_body) {
    case Body::Sized: {
        const qsizetype taken = qsizetype(std::min<qint64>(m_left, answer.size()));
        take(QByteArrayView(answer).first(taken));
        m_left -= taken;
        answer.clear(); // nothing after the body is read
        complete = m_left == 0;
        break;
    }
    case Body::Chunked:
        complete = readChunks(answer);
        break;
    case Body::ToClose:
        take(answer);
        answer.clear();
        break;
    }
    return complete || m_bodyRead >= m_site.maxBody;
}

bool SiteJudgement::readChunks(QByteArray &answer)
{
    qsizetype at = 0;
    while (at < answer.size()) {
        if (m_inChunkData) {
            const qsizetype taken = qsizetype(std::min<qint64>(m_left, answer.size() - at));
            take(QByteArrayView(answer).sliced(at, taken));
            at += taken;
            m_left -= taken;
            m_inChunkData = m_left > 0;
            continue;
        }
        // The CR LF after a chunk's data is an empty line here, and skipped.
        const qsizetype lineEnd = answer.indexOf("\r\n", at);
        if (lineEnd < 0) {
            if (answer.size() - at > MaxChunkLine)
                m_broken = QStringLiteral("bad chunked coding");
            break;
        }
        const QByteArrayView line = QByteArrayView(answer).sliced(at, lineEnd - at);
        at = lineEnd + 2;
        if (line.isEmpty())
            continue;
        bool ok = false;
        // Extensions after a ";" are no business of a check.
        const qsizetype extensions = line.indexOf(';');
        const qint64 size =
            (extensions < 0 ? line : line.first(extensions)).toByteArray().trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0) {
            m_broken = QStringLiteral("bad chunked coding");
            break;
        }
        if (size == 0) {
            answer.clear();
            return true;
        }
        m_left = size;
        m_inChunkData = true;
    }
    answer.remove(0, at);
    return !m_broken.isEmpty();
}

void SiteJudgement::take(QByteArrayView bytes)
{
    bytes = bytes.first(qsizetype(std::min<qint64>(bytes.size(), m_site.maxBody - m_bodyRead)));
    m_bodyRead += bytes.size();
    if (m_longestText == 0 || bytes.isEmpty())
        return;
    // A text may begin in the bytes before these: the end of those is searched again with them.
    const QByteArray window = m_tail + bytes;
    for (size_t t = 0; t < m_found.size(); ++t) {
        if (!m_found[t])
            m_found[t] = window.contains(m_site.texts[qsizetype(t)]);
    }
    m_tail = window.right(m_longestText - 1);
}

RowVerdict SiteJudgement::judgeBody() const
{
    if (!m_broken.isEmpty())
        return site(SiteStatus::Error, m_status, m_broken);
    const auto missing = std::find(m_found.begin(), m_found.end(), false);
    if (missing != m_found.end())
        return site(SiteStatus::TextMissing, m_status,
                    QString::fromUtf8(m_site.texts[qsizetype(missing - m_found.begin())]));
    return site(SiteStatus::Ok, m_status);
}

RowVerdict SiteJudgement::onClosed(const QByteArray &answer) const
{
    // What came with the close is read as any other bytes.
    SiteJudgement rest = *this;
    QByteArray unread = answer;
    if (std::optional<RowVerdict> verdict = rest.look(unread))
        return *verdict;
    if (!rest.m_headRead)
        return site(SiteStatus::Error, 0, QStringLiteral("closed without an answer"));
    if (rest.m_body == Body::ToClose)
        return rest.judgeBody();
    return site(SiteStatus::Error, m_status, QStringLiteral("answer cut short"));
}

RowVerdict SiteJudgement::onFailed(const QByteArray &answer) const
{
    SiteJudgement rest = *this;
    QByteArray unread = answer;
    if (std::optional<RowVerdict> verdict = rest.look(unread))
        return *verdict;
    return site(SiteStatus::Error, rest.m_status, QStringLiteral("connection reset"));
}

RowVerdict SiteJudgement::onLayerFailed(const QString &reason) const
{
    return site(SiteStatus::TlsFailed, 0, reason);
}

RowVerdict SiteJudgement::site(SiteStatus status, int httpStatus, const QString &reason)
{
    RowVerdict verdict;
    verdict.site = SiteVerdict{status, httpStatus, reason};
    return verdict;
}
