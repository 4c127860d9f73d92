#pragma once

#include <QString>
#include <QUrl>

// The page about Korvane that Exit opens: a file that ships with the program, since Korvane has no web site.
namespace AboutPage {
// The file name, beside the executable in a build folder and under share/korvane once installed.
inline constexpr char FileName[] = "korvane.html";

// The page for a program in programFolder: the build folder's copy when there is one, else the installed one.
QUrl url(const QString &programFolder);
// The page with a line on the location database in it, written as a copy in folder (made when missing), since the
// database changes after the page was installed; the page itself when no copy can be written.
QUrl withDatabaseLine(const QUrl &page, const QString &line, const QString &folder);
} // namespace AboutPage
