#pragma once

#include "app/Desktop.h"

#include <QString>

#include <cstdio>
#include <utility>

// The desktop of the window benchmark: the open-file dialog answers with one path, every other dialog is
// cancelled, and the boxes the window shows are printed rather than waited on, so that nothing blocks a measure.
class BenchDesktop final : public Desktop
{
public:
    explicit BenchDesktop(QString path) : m_path(std::move(path)) {}
    void setPath(QString path) { m_path = std::move(path); }

    QString clipboardText() override { return m_clipboard; }
    void setClipboardText(const QString &text) override { m_clipboard = text; }
    std::optional<QString> openFileName() override { return m_path; }
    std::optional<QString> saveFileName() override { return std::nullopt; }
    std::optional<int> askInteger(const QString &, const QString &, int, int, int) override { return std::nullopt; }
    std::optional<SiteAnswer> askSite(const SiteAnswer &) override { return std::nullopt; }
    std::optional<QStringList> askCountries(const CountryChoices &) override { return std::nullopt; }
    void information(const QString &title, const QString &text) override { print("box", title, text); }
    void warning(const QString &title, const QString &text) override { print("warning", title, text); }
    void openUrl(const QUrl &) override {}

private:
    static void print(const char *kind, const QString &title, const QString &text)
    {
        std::printf("  (%s \"%s\": %s)\n", kind, qPrintable(title), qPrintable(text));
    }

    QString m_path;
    QString m_clipboard;
};
