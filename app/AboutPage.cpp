#include "app/AboutPage.h"

#include <QDir>
#include <QFileInfo>

QUrl AboutPage::url(const QString &programFolder)
{
    const QDir folder(programFolder);
    const QString besideProgram = folder.filePath(QLatin1String(FileName));
    if (QFileInfo::exists(besideProgram))
        return QUrl::fromLocalFile(besideProgram);
    return QUrl::fromLocalFile(
        QDir::cleanPath(folder.filePath(QStringLiteral("../share/korvane/") + QLatin1String(FileName))));
}
