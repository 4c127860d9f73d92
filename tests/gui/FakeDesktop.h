#pragma once

#include "Desktop.h"

#include <QStringList>

#include <deque>

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
    // Answers for the next file dialogs, front first; an empty queue means "cancelled".
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    QList<Box> boxes;
    QList<QUrl> openedUrls;
    // Runs inside information(), while the box would be open.
    std::function<void()> onInformation;

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
    }
    void openUrl(const QUrl &url) override { openedUrls.append(url); }

private:
    static std::optional<QString> next(std::deque<std::optional<QString>> &answers)
    {
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
