#pragma once

#include "app/Desktop.h"

#include <QStringList>

// A desktop that never blocks: boxes are kept as "title: text", marked "warning " or "ask " (with what it offered).
class FakeDesktop final : public Desktop
{
public:
    QString clipboard;
    QStringList fileAnswers; // for the file dialogs, front first; none left is a cancel
    QStringList boxes;
    QList<std::optional<int>> integerAnswers; // front first; none left is a cancel
    QList<QUrl> urls;
    QList<std::optional<SiteAnswer>> siteAnswers; // front first; none left is a cancel
    std::optional<QStringList> countryAnswer;     // nothing is a cancel

    QString clipboardText() override { return clipboard; }
    void setClipboardText(const QString &text) override { clipboard = text; }
    std::optional<QString> openFileName() override { return saveFileName(); }
    std::optional<QString> saveFileName() override
    {
        return fileAnswers.isEmpty() ? std::nullopt : std::make_optional(fileAnswers.takeFirst());
    }
    std::optional<int> askInteger(const QString &title, const QString &label, int value, int minimum,
                                  int maximum) override
    {
        boxes << QString("ask %1: %2 %3 (%4-%5)").arg(title, label).arg(value).arg(minimum).arg(maximum);
        return integerAnswers.isEmpty() ? std::nullopt : integerAnswers.takeFirst();
    }
    std::optional<SiteAnswer> askSite(const SiteAnswer &current) override
    {
        boxes << "ask site: " + current.url;
        return siteAnswers.isEmpty() ? std::nullopt : siteAnswers.takeFirst();
    }
    std::optional<QStringList> askCountries(const CountryChoices &offered) override
    {
        QStringList shown;
        for (const CountryChoice &country : offered)
            shown << QString("%1 %2 %3").arg(country.code, country.name).arg(country.rows);
        boxes << "ask countries: " + shown.join(", ");
        return countryAnswer;
    }
    void information(const QString &title, const QString &text) override { boxes << title + ": " + text; }
    void warning(const QString &title, const QString &text) override { boxes << "warning " + title + ": " + text; }
    void openUrl(const QUrl &url) override { urls << url; }
};
