#include "proxylist/TextFunctions.h"

QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

QString firstValue(const QString &text, const QString &separator)
{
    if (text.isEmpty())
        return text;
    // 0-based index; the 1-based position of the separator is index + 1.
    const qsizetype index = text.indexOf(separator, 0, Qt::CaseSensitive);
    if (index < 1)
        return text;
    return trimBlanks(QStringView(text).first(index)).toString();
}
