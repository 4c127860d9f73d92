#include "proxylist/RowText.h"

#include <algorithm>
#include <cstring>

namespace {
// The sequence at p: its length, or 0 when there is none, and its character.
int decodeOne(const char *p, const char *end, char32_t &character)
{
    const uchar lead = uchar(*p);
    if (lead < 0x80) {
        character = lead;
        return 1;
    }
    int length = 0;
    char32_t least = 0;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2, least = 0x80, character = lead & 0x1f;
    else if (lead >= 0xe0 && lead <= 0xef)
        length = 3, least = 0x800, character = lead & 0x0f;
    else if (lead >= 0xf0 && lead <= 0xf4)
        length = 4, least = 0x10000, character = lead & 0x07;
    else
        return 0;
    if (end - p < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        const uchar next = uchar(p[i]);
        if ((next & 0xc0) != 0x80)
            return 0;
        character = (character << 6) | (next & 0x3f);
    }
    // Overlong forms, UTF-16's surrogates and numbers past U+10FFFF encode no character.
    if (character < least || (character >= 0xd800 && character <= 0xdfff) || character > 0x10ffff)
        return 0;
    return length;
}

// How many bytes at the start are ASCII, eight at a time: most rows are ASCII whole.
qsizetype asciiLength(QByteArrayView bytes)
{
    qsizetype i = 0;
    for (quint64 word = 0; i + 8 <= bytes.size(); i += 8) {
        std::memcpy(&word, bytes.data() + i, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (i < bytes.size() && uchar(bytes[i]) < 0x80)
        ++i;
    return i;
}
} // namespace

int RowText::sequenceLength(const char *p, const char *end)
{
    char32_t character = 0;
    return decodeOne(p, end, character);
}

QString RowText::decode(QByteArrayView bytes, qsizetype maxLength, qsizetype *used)
{
    // Each byte gives at most one UTF-16 unit: a sequence of four gives two.
    const qsizetype room = std::min(bytes.size(), maxLength);
    const qsizetype ascii = asciiLength(bytes.first(room));
    if (ascii == room) {
        if (used)
            *used = room;
        return QString::fromLatin1(bytes.first(room));
    }

    QString text(room, Qt::Uninitialized);
    QChar *out =
        std::transform(bytes.begin(), bytes.begin() + ascii, text.data(), [](char c) { return QLatin1Char(c); });
    const char *p = bytes.data() + ascii;
    const char *end = bytes.data() + bytes.size();
    while (p < end) {
        char32_t character = 0;
        int length = decodeOne(p, end, character);
        if (length == 0)
            length = 1, character = uchar(*p);
        const bool pair = QChar::requiresSurrogates(character);
        if (out - text.data() + (pair ? 2 : 1) > room)
            break;
        if (pair) {
            *out++ = QChar(QChar::highSurrogate(character));
            *out++ = QChar(QChar::lowSurrogate(character));
        } else {
            *out++ = QChar(char16_t(character));
        }
        p += length;
    }
    text.truncate(out - text.data());
    if (used)
        *used = p - bytes.data();
    return text;
}
