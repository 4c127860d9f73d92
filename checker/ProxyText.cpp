#include "checker/ProxyText.h"

#include "proxylist/TextFunctions.h"

QString GetProxyHost(const QString &text, const QString &separator)
{
    return GetFirstValue(text, separator);
}

QString GetProxyPort(const QString &text, const QString &separator)
{
    const qsizetype index = text.indexOf(separator);
    if (index < 1)
        return {};
    QStringView rest = QStringView(text).sliced(index + separator.size());
    const qsizetype next = rest.indexOf(separator);
    if (next >= 0)
        rest = rest.first(next);
    return trimBlanks(rest).toString();
}
