#pragma once

#include "app/Desktop.h"

#include <QStringList>

#include <functional>
#include <optional>

// A desktop with scripted answers: records every box and every opened address, never blocks.
class FakeDesktop final : public Desktop
{
public:
    struct Box
    {
        QString kind;
        QString title;
        QString text;
    };

    QString clipboard;
    int clipboardWrites = 0;
    // Answers for the next file dialogs, front first; a null text or an empty queue means "cancelled".
    QStringList openAnswers;
    QStringList saveAnswers;
    QList<Box> boxes;
    QList<QUrl> openedUrls;
    // Run inside information() and warning(), while the box would be open.
    std::function<void()> onInformation;
    std::function<void()> onWarning;

    QString clipboardText() override { return clipboard; }
    void setClipboardText(const QString &text) override
    {
        clipboard = text;
        ++clipboardWrites;
    }
    std::optional<QString> openFileName() override { return next(openAnswers); }
    std::optional<QString> saveFileName() override { return next(saveAnswers); }
    void information(const QString &title, const QString &text) override
    {
        boxes.append({QStringLiteral("information"), title, text});
        if (onInformation)
            onInformation();
    }
    void warning(const QString &title, const QString &text) override
    {
        boxes.append({QStringLiteral("warning"), title, text});
        if (onWarning)
            onWarning();
    }
    void openUrl(const QUrl &url) override { openedUrls.append(url); }

private:
    static std::optional<QString> next(QStringList &answers)
    {
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer.isNull())
            return std::nullopt;
        return std::make_optional(answer);
    }
};
