#include "proxylist/ProxyWriter.h"

#include "location/GeoInfo.h"
#include "proxylist/ProxyList.h"
#include "proxylist/ProxyValidator.h"
#include "proxylist/ResultTokens.h"
#include "proxylist/RowText.h"

#include <QDateTime>

#include <algorithm>

namespace {
// Where a form is written: bytes gather in a block that goes to the sink when full, and a stretch of a block or
// more goes to it straight from where it lies, uncopied.
class BlockWriter
{
public:
    explicit BlockWriter(const ProxyWriter::Sink &sink) : m_sink(sink) { m_block.reserve(BlockSize); }
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    bool ok() const { return m_ok; }
    void append(QByteArrayView bytes)
    {
        if (m_block.size() + bytes.size() > BlockSize) {
            flush();
            if (bytes.size() >= BlockSize) {
                hand(bytes);
                return;
            }
        }
        m_block.append(bytes);
    }
    bool finish()
    {
        flush();
        return m_ok;
    }

private:
    static constexpr qsizetype BlockSize = qsizetype(64) << 10;

    void flush()
    {
        if (!m_block.isEmpty())
            hand(m_block);
        m_block.resize(0); // keeps its room
    }
    void hand(QByteArrayView bytes)
    {
        if (m_ok)
            m_ok = m_sink(bytes);
    }

    const ProxyWriter::Sink &m_sink;
    QByteArray m_block;
    bool m_ok = true;
};

QByteArrayView bytesOf(QLatin1StringView text)
{
    return {text.data(), text.size()};
}

QByteArrayView schemeOf(const ProxyList &list, int row, QByteArrayView bareScheme)
{
    return bareScheme.isEmpty() || ProxyValidator::hasScheme(list.text(row)) ? QByteArrayView() : bareScheme;
}

// The protocol a check found a row without a scheme to speak.
std::optional<ProxyAddress::Protocol> foundProtocol(const ProxyResult &result)
{
    switch (result.found) {
    case FoundProtocol::None:
        break;
    case FoundProtocol::Http:
        return ProxyAddress::Protocol::Http;
    case FoundProtocol::Socks4:
        return ProxyAddress::Protocol::Socks4;
    case FoundProtocol::Socks5:
        return ProxyAddress::Protocol::Socks5;
    }
    return std::nullopt;
}

QByteArrayView foundScheme(const ProxyResult &result)
{
    const std::optional<ProxyAddress::Protocol> found = foundProtocol(result);
    return found ? bytesOf(ProxyAddress::scheme(*found)) : QByteArrayView();
}

// A user or a password as a schemed row holds it, in parts: a byte that would end it early (":", "@"), break the
// line or the row for other programs (a control character, a space) or read as an escape ("%") is written %XX, so
// that the row reads back as the same credentials.
template <typename Put> void putCredential(QByteArrayView bytes, const Put &put)
{
    constexpr char Hex[] = "0123456789ABCDEF";
    qsizetype plain = 0; // where the bytes that need no escape begin
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar byte = uchar(bytes[i]);
        if (byte > ' ' && byte != 0x7f && byte != '%' && byte != ':' && byte != '@')
            continue;
        put(bytes.sliced(plain, i - plain));
        const char escape[] = {'%', Hex[byte >> 4], Hex[byte & 0xf]};
        put(QByteArrayView(escape, 3));
        plain = i + 1;
    }
    put(bytes.sliced(plain));
}

// A row's bytes under a scheme, in parts: the scheme, then the row, but host:port:user:pass as user:pass@host:port.
// Without a scheme, the row as it is.
template <typename Put> void putRow(QLatin1StringView text, QByteArrayView scheme, const Put &put)
{
    put(scheme);
    const auto trailing = scheme.isEmpty() ? std::nullopt : ProxyValidator::trailingCredentials(text);
    if (!trailing)
        return put(bytesOf(text));
    putCredential(trailing->user, put);
    put(":");
    putCredential(trailing->password, put);
    put("@");
    put(bytesOf(text.first(trailing->hostPortEnd)));
}

const char *tabSeparatedEscape(char byte)
{
    switch (byte) {
    case '\\':
        return "\\\\";
    case '\t':
        return "\\t";
    case '\r':
        return "\\r";
    case '\n':
        return "\\n";
    default:
        return nullptr;
    }
}

void appendEscaped(BlockWriter &out, QByteArrayView text)
{
    qsizetype plain = 0; // where the bytes that need no escape begin
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (const char *escape = tabSeparatedEscape(text[i])) {
            out.append(text.sliced(plain, i - plain));
            out.append(escape);
            plain = i + 1;
        }
    }
    out.append(text.sliced(plain));
}

// The row as korvane-cli prints it: with the scheme of the protocol a check found.
void appendPrintedRow(BlockWriter &out, const ProxyList &list, int row, const ProxyResult &result,
                      void (*append)(BlockWriter &, QByteArrayView))
{
    putRow(list.text(row), foundScheme(result), [&](QByteArrayView part) { append(out, part); });
}

// A quote, a backslash or a control character escaped; or a byte that starts no sequence as its character's UTF-8.
QByteArray jsonEscape(uchar byte)
{
    constexpr char Hex[] = "0123456789abcdef";
    if (byte >= 0x80)
        return QByteArray(1, char(0xc0 | (byte >> 6))) + char(0x80 | (byte & 0x3f));
    if (byte < 0x20)
        return QByteArray("\\u00") + Hex[byte >> 4] + Hex[byte & 0xf];
    return QByteArray(1, '\\') + char(byte);
}

// The text of the bytes inside a JSON string, in UTF-8: well-formed sequences stay as they are, any other byte
// becomes the two bytes of its character; quotes, backslashes and control characters are escaped.
void appendJsonCharacters(BlockWriter &out, QByteArrayView text)
{
    const char *end = text.data() + text.size();
    const char *plain = text.data();
    for (const char *p = plain; p < end;) {
        const uchar byte = uchar(*p);
        if (byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\') {
            ++p;
            continue;
        }
        if (const int length = byte < 0x80 ? 0 : RowText::sequenceLength(p, end)) {
            p += length;
            continue;
        }
        out.append(QByteArrayView(plain, p - plain));
        out.append(jsonEscape(byte));
        plain = ++p;
    }
    out.append(QByteArrayView(plain, end - plain));
}

void appendJsonString(BlockWriter &out, QByteArrayView text)
{
    out.append("\"");
    appendJsonCharacters(out, text);
    out.append("\"");
}

// A field's value as the printed forms write it: text (a JSON string), a number (bare in JSON), JSON written out
// already, or nothing (TSV "-", JSON null).
struct FieldValue
{
    enum Form { Text, Number, Json, Nothing };
    Form form;
    QByteArray bytes = {};
};

FieldValue textOrNothing(QByteArray bytes)
{
    return bytes.isEmpty() ? FieldValue{FieldValue::Nothing} : FieldValue{FieldValue::Text, std::move(bytes)};
}

// A token is a literal: it is written from where it lies.
FieldValue token(QByteArrayView bytes)
{
    return {FieldValue::Text, QByteArray::fromRawData(bytes.data(), bytes.size())};
}

FieldValue tokenOrNothing(QByteArrayView bytes)
{
    return bytes.isEmpty() ? FieldValue{FieldValue::Nothing} : token(bytes);
}

// The protocol a row was probed as, when it spoke it: its scheme's, or the one a check found.
FieldValue protocolValue(QLatin1StringView text, const ProxyResult &result)
{
    const std::optional<ProxyAddress::Protocol> protocol =
        ProxyValidator::hasScheme(text) ? ProxyValidator::protocolOf(text, ProxyAddress::Protocol::Http)
                                        : foundProtocol(result);
    return protocol ? tokenOrNothing(bytesOf(ProxyAddress::scheme(*protocol).chopped(3)))
                    : FieldValue{FieldValue::Nothing};
}

QByteArray collected(const std::function<bool(const ProxyWriter::Sink &)> &write)
{
    QByteArray all;
    write([&all](QByteArrayView block) {
        all.append(block);
        return true;
    });
    return all;
}
FieldValue numberOrNothing(std::optional<int> number)
{
    return number ? FieldValue{FieldValue::Number, QByteArray::number(*number)} : FieldValue{FieldValue::Nothing};
}

// A moment of the history, in ISO 8601 at UTC: 2026-12-08T08:13:35Z.
FieldValue timeOrNothing(std::optional<qint64> msSinceEpoch)
{
    if (!msSinceEpoch)
        return {FieldValue::Nothing};
    return {FieldValue::Text, QDateTime::fromMSecsSinceEpoch(*msSinceEpoch, Qt::UTC).toString(Qt::ISODate).toLatin1()};
}

// The site's verdict as one JSON object.
FieldValue siteObject(const ProxyList &list, int row, const ProxyResult &)
{
    const std::optional<SiteVerdict> site = list.site(row);
    if (!site)
        return {FieldValue::Nothing};
    const QByteArray ms = site->ms ? QByteArray::number(*site->ms) : QByteArray("null");
    const QByteArray status = site->httpStatus > 0 ? QByteArray::number(site->httpStatus) : QByteArray("null");
    QByteArray object = collected([&](const ProxyWriter::Sink &sink) {
        BlockWriter out(sink);
        out.append("{\"verdict\": \"");
        out.append(site->word());
        out.append(QByteArray("\", \"status\": " + status + ", \"ms\": " + ms + ", \"reason\": "));
        if (site->reason.isEmpty())
            out.append("null");
        else
            appendJsonString(out, site->reason.toUtf8());
        out.append("}");
        return out.finish();
    });
    return {FieldValue::Json, std::move(object)};
}

// The flags of the row's network as a JSON array of tokens; nothing when the database does not know the address.
FieldValue flagsArray(const ProxyList &list, int row, const ProxyResult &)
{
    const std::optional<GeoInfo> found = list.locate(row);
    if (!found)
        return {FieldValue::Nothing};
    QByteArray array("[");
    for (int bit = 0; bit < GeoFlagCount; ++bit) {
        const GeoFlag flag = GeoFlag(1 << bit);
        if (!found->flags.testFlag(flag))
            continue;
        array += QByteArray(array.size() > 1 ? ", \"" : "\"") + GeoInfo::token(flag) + '"';
    }
    return {FieldValue::Json, array + ']'};
}

// A field of korvane-cli's printed rows after the row itself, in the order the forms write them: its JSON key (none
// for a field of the tab-separated form alone), whether JSON alone writes it, which of the fields asked for it
// belongs to (none: every row's), and its value.
struct OutputField
{
    enum Extra { Verdict, Protocol, Site, Location, Attempts, Uptime, History };
    const char *key;
    bool jsonOnly;
    Extra extra;
    FieldValue (*value)(const ProxyList &list, int row, const ProxyResult &result);

    bool asked(ProxyWriter::Fields fields) const
    {
        return (extra == Verdict && fields.verdict) || (extra == Protocol && fields.protocol) ||
               (extra == Site && fields.site) || (extra == Location && fields.location) ||
               (extra == Attempts && fields.attempts) || (extra == Uptime && (fields.uptime || fields.history)) ||
               (extra == History && fields.history);
    }
};

constexpr OutputField OutputFields[] = {
    {"status", false, OutputField::Verdict,
     [](const ProxyList &, int, const ProxyResult &result) { return token(ResultTokens::status(result)); }},
    {"anonymity", false, OutputField::Verdict,
     [](const ProxyList &, int, const ProxyResult &result) { return token(ResultTokens::anonymity(result)); }},
    {"ms", false, OutputField::Verdict,
     [](const ProxyList &, int, const ProxyResult &result) { return numberOrNothing(result.ms); }},
    {"exit", false, OutputField::Verdict,
     [](const ProxyList &list, int row, const ProxyResult &) {
         return textOrNothing(list.exitAddress(row).toLatin1());
     }},
    {"grade", false, OutputField::Verdict,
     [](const ProxyList &, int, const ProxyResult &result) { return tokenOrNothing(ResultTokens::grade(result)); }},
    {"attempts", true, OutputField::Attempts,
     [](const ProxyList &list, int row, const ProxyResult &result) {
         const bool judged = result.status != ProxyStatus::Untested && result.status != ProxyStatus::Checking;
         return numberOrNothing(judged ? std::optional(list.attempts(row)) : std::nullopt);
     }},
    {"protocol", true, OutputField::Protocol,
     [](const ProxyList &list, int row, const ProxyResult &result) { return protocolValue(list.text(row), result); }},
    {nullptr, false, OutputField::Site,
     [](const ProxyList &list, int row, const ProxyResult &) {
         const std::optional<SiteVerdict> site = list.site(row);
         return site ? token(site->word()) : FieldValue{FieldValue::Nothing};
     }},
    {nullptr, false, OutputField::Site,
     [](const ProxyList &list, int row, const ProxyResult &) {
         const std::optional<SiteVerdict> site = list.site(row);
         return numberOrNothing(site ? site->ms : std::nullopt);
     }},
    {"site", true, OutputField::Site, siteObject},
    {"country", false, OutputField::Location,
     [](const ProxyList &list, int row, const ProxyResult &) {
         return textOrNothing(list.countryCode(row).toLatin1());
     }},
    {"asn", true, OutputField::Location,
     [](const ProxyList &list, int row, const ProxyResult &) {
         const std::optional<GeoInfo> found = list.locate(row);
         return found && found->asn != 0 ? FieldValue{FieldValue::Number, QByteArray::number(found->asn)}
                                         : FieldValue{FieldValue::Nothing};
     }},
    {"as_name", true, OutputField::Location,
     [](const ProxyList &list, int row, const ProxyResult &) {
         const std::optional<GeoInfo> found = list.location(row);
         return textOrNothing(found ? found->asName.toUtf8() : QByteArray());
     }},
    {"flags", true, OutputField::Location, flagsArray},
    {"uptime", false, OutputField::Uptime,
     [](const ProxyList &list, int row, const ProxyResult &) {
         const std::optional<RowHistory> history = list.history(row);
         return numberOrNothing(history && history->counted > 0 ? std::optional(history->uptimePercent())
                                                                : std::nullopt);
     }},
    {"checks", false, OutputField::History,
     [](const ProxyList &list, int row, const ProxyResult &) {
         const std::optional<RowHistory> history = list.history(row);
         return FieldValue{FieldValue::Number, QByteArray::number(history ? history->checks : 0)};
     }},
    {"first_seen", false, OutputField::History,
     [](const ProxyList &list, int row, const ProxyResult &) {
         const std::optional<RowHistory> history = list.history(row);
         return timeOrNothing(history && history->checks > 0 ? std::optional(history->firstSeen) : std::nullopt);
     }},
    {"last_working", false, OutputField::History,
     [](const ProxyList &list, int row, const ProxyResult &) {
         const std::optional<RowHistory> history = list.history(row);
         return timeOrNothing(history ? history->lastWorking : std::nullopt);
     }},
};

} // namespace

QByteArray ProxyWriter::list(const ProxyList &list, const std::vector<int> &rows, QByteArrayView lineEnd,
                             QByteArrayView bareScheme)
{
    qsizetype size = 0;
    for (const int r : rows)
        size += schemeOf(list, r, bareScheme).size() + list.text(r).size() + lineEnd.size();
    // Written straight into its place: a copy of each row first would cost as much again. Only escaped credentials
    // take more room than the rows' own bytes.
    QByteArray bytes(size, Qt::Uninitialized);
    char *out = bytes.data();
    const auto put = [&bytes, &out](QByteArrayView part) {
        if (part.size() > bytes.constData() + bytes.size() - out) {
            const qsizetype used = out - bytes.constData();
            bytes.resize(std::max(used + part.size(), bytes.size() + bytes.size() / 4));
            out = bytes.data() + used;
        }
        out = std::copy(part.begin(), part.end(), out);
    };
    for (const int r : rows) {
        putRow(list.text(r), schemeOf(list, r, bareScheme), put);
        put(lineEnd);
    }
    bytes.truncate(out - bytes.data());
    return bytes;
}

QByteArray ProxyWriter::tabSeparated(const ProxyList &list, const std::vector<int> &rows, Fields fields)
{
    return collected([&](const Sink &sink) { return writeTabSeparated(list, rows, sink, fields); });
}

QByteArray ProxyWriter::json(const ProxyList &list, const std::vector<int> &rows, Fields fields)
{
    return collected([&](const Sink &sink) { return writeJson(list, rows, sink, fields); });
}

bool ProxyWriter::writeList(const ProxyList &list, const std::vector<int> &rows, QByteArrayView lineEnd,
                            const Sink &sink)
{
    BlockWriter out(sink);
    for (auto r = rows.begin(); r != rows.end() && out.ok(); ++r) {
        appendPrintedRow(out, list, *r, list.result(*r), [](BlockWriter &to, QByteArrayView part) { to.append(part); });
        out.append(lineEnd);
    }
    return out.finish();
}

bool ProxyWriter::writeTabSeparated(const ProxyList &list, const std::vector<int> &rows, const Sink &sink,
                                    Fields fields)
{
    BlockWriter out(sink);
    for (auto r = rows.begin(); r != rows.end() && out.ok(); ++r) {
        const ProxyResult result = list.result(*r);
        appendPrintedRow(out, list, *r, result, appendEscaped);
        for (const OutputField &field : OutputFields) {
            if (field.jsonOnly || !field.asked(fields))
                continue;
            const FieldValue value = field.value(list, *r, result);
            out.append("\t");
            out.append(value.form == FieldValue::Nothing ? QByteArrayView("-") : QByteArrayView(value.bytes));
        }
        out.append("\n");
    }
    return out.finish();
}

bool ProxyWriter::writeJson(const ProxyList &list, const std::vector<int> &rows, const Sink &sink, Fields fields)
{
    // Written by hand to keep the fields in the order of the tab-separated form.
    BlockWriter out(sink);
    out.append("[");
    for (auto r = rows.begin(); r != rows.end() && out.ok(); ++r) {
        const ProxyResult result = list.result(*r);
        out.append(r == rows.begin() ? "\n{\"proxy\": \"" : ",\n{\"proxy\": \"");
        appendPrintedRow(out, list, *r, result, appendJsonCharacters);
        out.append("\"");
        for (const OutputField &field : OutputFields) {
            if (!field.key || !field.asked(fields))
                continue;
            const FieldValue value = field.value(list, *r, result);
            out.append(", \"");
            out.append(field.key);
            out.append("\": ");
            switch (value.form) {
            case FieldValue::Text:
                appendJsonString(out, value.bytes);
                break;
            case FieldValue::Number:
            case FieldValue::Json:
                out.append(value.bytes);
                break;
            case FieldValue::Nothing:
                out.append("null");
                break;
            }
        }
        out.append("}");
    }
    out.append("\n]\n");
    return out.finish();
}

bool ProxyWriter::write(Format format, const ProxyList &list, const std::vector<int> &rows, const Sink &sink,
                        Fields fields)
{
    switch (format) {
    case Format::TabSeparated:
        return writeTabSeparated(list, rows, sink, fields);
    case Format::List:
        return writeList(list, rows, "\n", sink);
    case Format::Json:
        break;
    }
    return writeJson(list, rows, sink, fields);
}
