#include "cli/JudgeRequest.h"

#include "checker/EchoPage.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {
// Headers that proxies set to say who asked, or that only a proxy adds.
constexpr std::array<QByteArrayView, 8> OriginHeaders = {
    "Via", "X-Forwarded-For", "Forwarded", "X-Real-IP", "Client-IP", "X-Client-IP", "Proxy-Connection", "X-Proxy-ID"};

bool isTokenChar(char c)
{
    return std::isalnum(uchar(c)) || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}
} // namespace

JudgeRequest JudgeRequest::read(QByteArrayView received)
{
    JudgeRequest request;
    qsizetype end = received.indexOf("\r\n\r\n");
    qsizetype endLength = 4;
    if (const qsizetype bare = received.indexOf("\n\n"); bare >= 0 && (end < 0 || bare < end)) {
        end = bare;
        endLength = 2;
    }
    if (end < 0 || end + endLength > MaxHeadBytes) {
        request.m_state = received.size() >= MaxHeadBytes ? State::TooLarge : State::Incomplete;
        return request;
    }
    request.m_state = State::Malformed;
    const QList<QByteArrayView> lines = [&] {
        QList<QByteArrayView> split;
        const QByteArrayView head = received.first(end);
        for (qsizetype from = 0; from <= head.size();) {
            qsizetype to = head.indexOf('\n', from);
            if (to < 0)
                to = head.size();
            const QByteArrayView line = head.sliced(from, to - from);
            split.append(line.endsWith('\r') ? line.chopped(1) : line);
            from = to + 1;
        }
        return split;
    }();
    if (!request.parseRequestLine(lines.first()))
        return request;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!request.parseHeaderLine(lines[i]))
            return request;
    }
    request.m_state = State::Complete;
    return request;
}

bool JudgeRequest::parseRequestLine(QByteArrayView line)
{
    const qsizetype first = line.indexOf(' ');
    const qsizetype last = line.lastIndexOf(' ');
    if (first <= 0 || last <= first + 1)
        return false;
    const QByteArrayView method = line.first(first), target = line.sliced(first + 1, last - first - 1),
                         version = line.sliced(last + 1);
    const bool printable = std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7f; });
    if (!isToken(method) || !printable || (version != "HTTP/1.0" && version != "HTTP/1.1"))
        return false;
    m_method = method.toByteArray();
    m_target = target.toByteArray();
    m_version = version.toByteArray();
    return true;
}

bool JudgeRequest::parseHeaderLine(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !isToken(line.first(colon)))
        return false;
    m_headers.append({line.first(colon).toByteArray(), line.sliced(colon + 1).trimmed().toByteArray()});
    return true;
}

QByteArray JudgeRequest::token() const
{
    QByteArrayView path = m_target;
    if (const qsizetype query = path.indexOf('?'); query >= 0)
        path = path.first(query);
    const QByteArrayView last = path.sliced(path.lastIndexOf('/') + 1);
    const bool plain = std::all_of(last.begin(), last.end(), [](char c) { return std::isalnum(uchar(c)); });
    return plain && last.size() >= 16 && last.size() <= 64 ? last.toByteArray() : QByteArray();
}

QByteArrayList JudgeRequest::originHeaders() const
{
    QByteArrayList found;
    for (const auto &header : m_headers) {
        const QByteArray &name = header.first, &value = header.second;
        const bool named = std::any_of(OriginHeaders.begin(), OriginHeaders.end(), [&](QByteArrayView origin) {
            return name.compare(origin, Qt::CaseInsensitive) == 0;
        });
        // Host names this server, which may be written as its address.
        if (named || (name.compare("Host", Qt::CaseInsensitive) != 0 && !EchoPage::addressesIn(value).isEmpty()))
            found.append(name + ": " + value);
    }
    return found;
}
