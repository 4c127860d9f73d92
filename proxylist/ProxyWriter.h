#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <vector>

class ProxyList;

// Rows of the list in each form they leave the program, top to bottom as given. The window's saves and clipboard
// and korvane-cli all write through here.
namespace ProxyWriter {
// Takes the written bytes a block at a time; false stops the writing (a failed write).
using Sink = std::function<bool(QByteArrayView)>;
// The fields a check prints beyond those every row has: the protocol found (JSON only), what the user's site
// answered, and where the row's proxy is (ProxyList::location()). Never in a list file or on the clipboard.
struct Fields
{
    bool protocol = false;
    bool site = false;
    bool location = false;
    // How many probes each verdict took, in JSON: korvane-cli's --retries.
    bool attempts = false;
};

// Each row's bytes exactly as loaded, as a list file holds them, followed by lineEnd: CR LF in the lists the
// window writes, LF in korvane-cli's. A row without a scheme gets bareScheme before it, host:port:user:pass as
// user:pass@host:port with each byte of the credentials that such a row cannot hold as it is written %XX.
QByteArray list(const ProxyList &list, const std::vector<int> &rows, QByteArrayView lineEnd = "\r\n",
                QByteArrayView bareScheme = {});
// Text, status, anonymity, the time in milliseconds, the exit address and the grade ("-" for none),
// tab-separated, one line per row; with the site, its verdict and milliseconds after them; with the location, the
// country code last. The text
// is the row's bytes, but a tab, CR, LF or backslash would break the line apart: they are written \t, \r, \n, \\.
QByteArray tabSeparated(const ProxyList &list, const std::vector<int> &rows, Fields fields = {});
// One JSON array of {"proxy", "status", "anonymity", "ms", "exit", "grade"} objects, in UTF-8; "proxy" is the row as
// RowText reads it, "ms" a number or null, "exit" an address or null, "grade" a grade's token or null. With
// fields.protocol, "protocol" follows: the protocol the row was probed as and spoke ("http", "https", "socks4",
// "socks5"), or null for a row without a scheme whose proxy spoke none a check tried. With the site, "site" comes
// next: {"verdict", "status", "ms", "reason"}, or null for a row whose site was not fetched. With the location,
// "country" (a code), "asn" (a number), "as_name" and "flags" (an array of GeoInfo::token()s) come last, each null
// when the location database does not know it.
QByteArray json(const ProxyList &list, const std::vector<int> &rows, Fields fields = {});

// The same forms handed to sink in blocks: a printed form is never held whole beside the list, and a long row's
// bytes, where they need no escape, go to the sink straight from the list. Each returns false when sink did.
// These are the forms korvane-cli prints: a row without a scheme whose protocol a check found is written under
// that protocol's scheme, as list() writes it.
bool writeList(const ProxyList &list, const std::vector<int> &rows, QByteArrayView lineEnd, const Sink &sink);
bool writeTabSeparated(const ProxyList &list, const std::vector<int> &rows, const Sink &sink, Fields fields = {});
bool writeJson(const ProxyList &list, const std::vector<int> &rows, const Sink &sink, Fields fields = {});

// The forms korvane-cli prints a check's rows in: text, status and the rest tab-separated; the rows' texts alone,
// a line each; or JSON.
enum class Format { TabSeparated, List, Json };
inline constexpr int FormatCount = int(Format::Json) + 1;
// The rows in that form, with the fields asked for.
bool write(Format format, const ProxyList &list, const std::vector<int> &rows, const Sink &sink, Fields fields = {});
} // namespace ProxyWriter

namespace EnumCount {
// Names the last format, so that one added after it must move FormatCount on.
constexpr bool isLast(ProxyWriter::Format format)
{
    switch (format) {
    case ProxyWriter::Format::TabSeparated:
    case ProxyWriter::Format::List:
        return false;
    case ProxyWriter::Format::Json:
        return true;
    }
    return false;
}
} // namespace EnumCount
static_assert(EnumCount::isLast(ProxyWriter::Format(ProxyWriter::FormatCount - 1)), "FormatCount counts every format");
