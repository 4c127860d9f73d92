#include "judge/JudgeRequest.h"

#include "checker/EchoPage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <utility>

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

bool isNamed(QByteArrayView name, QByteArrayView wanted)
{
    return name.compare(wanted, Qt::CaseInsensitive) == 0;
}

bool isOriginHeader(const QByteArray &name, const QByteArray &value)
{
    const bool named = std::any_of(OriginHeaders.begin(), OriginHeaders.end(),
                                   [&](QByteArrayView origin) { return isNamed(name, origin); });
    // Host names this server, which may be written as its address.
    return named || (!isNamed(name, "Host") && !EchoPage::addressesIn(value).isEmpty());
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

QByteArrayView JudgeRequest::path() const
{
    const qsizetype query = m_target.indexOf('?');
    return QByteArrayView(m_target).first(query < 0 ? m_target.size() : query);
}

QByteArray JudgeRequest::token() const
{
    const QByteArrayView path = this->path();
    const QByteArrayView last = path.sliced(path.lastIndexOf('/') + 1);
    const bool plain = std::all_of(last.begin(), last.end(), [](char c) { return std::isalnum(uchar(c)); });
    return plain && last.size() >= 16 && last.size() <= 64 ? last.toByteArray() : QByteArray();
}

QByteArray JudgeRequest::keyId() const
{
    const QByteArrayView path = this->path();
    const qsizetype last = path.lastIndexOf('/');
    if (last <= 0 || token().isEmpty())
        return {};
    const qsizetype before = path.lastIndexOf('/', last - 1);
    return path.sliced(before + 1, last - before - 1).toByteArray();
}

QByteArrayList JudgeRequest::originHeaders() const
{
    QByteArrayList found;
    for (const auto &[name, value] : m_headers) {
        if (isOriginHeader(name, value))
            found.append(name + ": " + value);
    }
    return found;
}

JudgeRequest::Origin JudgeRequest::origin(const QByteArray &connected, const QList<QHostAddress> &fronts) const
{
    const auto isFront = [&fronts](const QHostAddress &address) {
        return std::any_of(fronts.begin(), fronts.end(), [&](const QHostAddress &front) {
            return front.isEqual(address, QHostAddress::TolerantConversion);
        });
    };
    if (!isFront(QHostAddress(QString::fromLatin1(connected))))
        return {connected, originHeaders()};
    // Each front appends the address it took the request from: the nearest hop is the last.
    QByteArrayList hops;
    for (const auto &[name, value] : m_headers) {
        if (isNamed(name, "X-Forwarded-For")) {
            for (const QByteArray &hop : value.split(','))
                hops.append(hop.trimmed());
        }
    }
    std::optional<QHostAddress> caller;
    while (!caller && !hops.isEmpty()) {
        const std::optional<QHostAddress> hop = EchoPage::addressIn(QString::fromLatin1(hops.last()));
        // No front writes that: it, and what is left of the list, came with the request.
        if (!hop)
            break;
        hops.removeLast();
        if (!isFront(*hop))
            caller = hop;
    }
    // Else X-Real-IP, which a front sets to the address it took the request from.
    for (const auto &[name, value] : m_headers) {
        const std::optional<QHostAddress> named =
            isNamed(name, "X-Real-IP") ? EchoPage::addressIn(QString::fromLatin1(value)) : std::nullopt;
        if (!caller && named && !isFront(*named))
            caller = named;
    }
    // An X-Real-IP naming the caller or a front is a front's; a proxy's, naming another, is left in.
    const auto frontsOwn = [&](const QByteArray &value) {
        const std::optional<QHostAddress> named = EchoPage::addressIn(QString::fromLatin1(value));
        return named && (isFront(*named) || (caller && named->isEqual(*caller, QHostAddress::TolerantConversion)));
    };
    QByteArrayList headers;
    bool hopsWritten = false;
    for (const auto &[name, value] : m_headers) {
        if (isNamed(name, "X-Forwarded-For")) {
            // The hops before the caller's, which came with the request, once for all the list's headers.
            if (!std::exchange(hopsWritten, true) && !hops.isEmpty())
                headers.append(name + ": " + hops.join(", "));
        } else if (!(isNamed(name, "X-Real-IP") && frontsOwn(value)) && isOriginHeader(name, value)) {
            headers.append(name + ": " + value);
        }
    }
    return {caller ? caller->toString().toLatin1() : connected, headers};
}
