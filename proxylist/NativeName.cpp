#include "proxylist/NativeName.h"

namespace {
constexpr char16_t EscapeBase = 0xdc00;

// A byte kept by decode(): a lone low surrogate of that range, not the second half of a pair.
bool isEscape(QStringView name, qsizetype i)
{
    const char16_t unit = name[i].unicode();
    return unit >= EscapeBase + 0x80 && unit <= EscapeBase + 0xff && (i == 0 || !name[i - 1].isHighSurrogate());
}

// The length of the valid UTF-8 sequence at bytes[i], or 0 when the byte there does not start one.
qsizetype sequenceLength(QByteArrayView bytes, qsizetype i)
{
    const auto byte = [&](qsizetype at) { return at < bytes.size() ? uchar(bytes[at]) : 0; };
    const uchar lead = byte(i);
    const auto continues = [&](qsizetype at, uchar low = 0x80, uchar high = 0xbf) {
        return byte(at) >= low && byte(at) <= high;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        return continues(i + 1) ? 2 : 0;
    if (lead >= 0xe0 && lead <= 0xef) {
        // No overlong forms, no surrogates.
        const uchar low = lead == 0xe0 ? 0xa0 : 0x80, high = lead == 0xed ? 0x9f : 0xbf;
        return continues(i + 1, low, high) && continues(i + 2) ? 3 : 0;
    }
    if (lead >= 0xf0 && lead <= 0xf4) {
        const uchar low = lead == 0xf0 ? 0x90 : 0x80, high = lead == 0xf4 ? 0x8f : 0xbf;
        return continues(i + 1, low, high) && continues(i + 2) && continues(i + 3) ? 4 : 0;
    }
    return 0;
}
} // namespace

QString NativeName::decode(QByteArrayView bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = sequenceLength(bytes, i);
        if (length == 0) {
            name.append(QChar(char16_t(EscapeBase + uchar(bytes[i]))));
            ++i;
            continue;
        }
        name.append(QString::fromUtf8(bytes.sliced(i, length)));
        i += length;
    }
    return name;
}

QByteArray NativeName::encode(QStringView name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype plain = 0; // start of the run of characters not yet encoded
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isEscape(name, i))
            continue;
        bytes.append(name.sliced(plain, i - plain).toUtf8());
        if (i < name.size())
            bytes.append(char(name[i].unicode() - EscapeBase));
        plain = i + 1;
    }
    return bytes;
}

QString NativeName::readable(QStringView name)
{
    QString text;
    text.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscape(name, i))
            text += u"\\x" + QString::number(name[i].unicode() - EscapeBase, 16).toUpper();
        else
            text += name[i];
    }
    return text;
}

QStringList NativeName::arguments(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(decode(QByteArrayView(argv[i])));
    return arguments;
}
