#pragma once

#include <QByteArrayView>
#include <QString>

#include <limits>

// A row's bytes as text, wherever a row leaves as text (the window's cells, the clipboard, JSON): each well-formed
// UTF-8 sequence is its character, and every other byte the character of its value (U+0080 to U+00FF), so that a
// UTF-8 row reads as written and any other byte still shows as one character. Files keep the bytes.
namespace RowText {
// The length of the well-formed UTF-8 sequence that starts at p, before end; 0 when p's byte starts none.
int sequenceLength(const char *p, const char *end);
// The text of bytes; with maxLength, of as many leading bytes as give at most that many UTF-16 units, never half a
// character, and *used tells how many bytes that was.
QString decode(QByteArrayView bytes, qsizetype maxLength = std::numeric_limits<qsizetype>::max(),
               qsizetype *used = nullptr);
} // namespace RowText
