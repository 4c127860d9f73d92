#pragma once

#include <QString>
#include <QStringView>

// Removes leading and trailing blanks (the space character only: tabs and line breaks stay).
QStringView trimBlanks(QStringView text);

// The text before the first separator, trimmed of blanks, when the separator starts at the second
// character or later; otherwise (separator absent, or at the very start) the whole text, untouched.
QString firstValue(const QString &text, const QString &separator);
