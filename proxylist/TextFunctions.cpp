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

QString GetFirstValue(const QString &mText, const QString &Seperator)
{
    if (mText.isEmpty())
        return mText;
    // 0-based index; the 1-based position of the separator is index + 1.
    const qsizetype index = mText.indexOf(Seperator, 0, Qt::CaseSensitive);
    if (index < 1)
        return mText;
    return trimBlanks(QStringView(mText).first(index)).toString();
}
