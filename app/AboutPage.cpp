#include "app/AboutPage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QUrl AboutPage::url(const QString &programFolder)
{
    const QDir folder(programFolder);
    const QString besideProgram = folder.filePath(QLatin1String(FileName));
    if (QFileInfo::exists(besideProgram))
        return QUrl::fromLocalFile(besideProgram);
    return QUrl::fromLocalFile(
        QDir::cleanPath(folder.filePath(QStringLiteral("../share/korvane/") + QLatin1String(FileName))));
}

QUrl AboutPage::withDatabaseLine(const QUrl &page, const QString &line, const QString &folder)
{
    static constexpr char Marker[] = "<!--location-database-->";
    QFile shipped(page.toLocalFile());
    if (!shipped.open(QIODevice::ReadOnly))
        return page;
    QByteArray text = shipped.readAll();
    if (!text.contains(Marker) || folder.isEmpty() || !QDir().mkpath(folder))
        return page;
    text.replace(QByteArrayView(Marker), QByteArray("<p>" + line.toHtmlEscaped().toUtf8() + "</p>"));
    QSaveFile copy(QDir(folder).filePath(QLatin1String(FileName)));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(text) != text.size() || !copy.commit())
        return page;
    return QUrl::fromLocalFile(copy.fileName());
}
