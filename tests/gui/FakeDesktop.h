#pragma once

#include "app/Desktop.h"

#include <QStringList>

// A desktop that never blocks: boxes are kept as "title: text", with "warning " before a warning's.
class FakeDesktop final : public Desktop
{
public:
    QString clipboard;
    QStringList fileAnswers; // for the file dialogs, front first; none left is a cancel
    QStringList boxes;
    QList<QUrl> urls;

    QString clipboardText() override { return clipboard; }
    void setClipboardText(const QString &text) override { clipboard = text; }
    std::optional<QString> openFileName() override { return saveFileName(); }
    std::optional<QString> saveFileName() override
    {
        return fileAnswers.isEmpty() ? std::nullopt : std::make_optional(fileAnswers.takeFirst());
    }
    void information(const QString &title, const QString &text) override { boxes << title + ": " + text; }
    void warning(const QString &title, const QString &text) override { boxes << "warning " + title + ": " + text; }
    void openUrl(const QUrl &url) override { urls << url; }
};
