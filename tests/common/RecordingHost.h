#pragma once

#include "checker/CheckRunHost.h"

#include <QStringList>

#include <functional>

// A window stand-in that writes down what a test run asks of it.
class RecordingHost final : public CheckRunHost
{
public:
    QStringList calls;
    bool locked = false;
    // Runs while the completion message would be open.
    std::function<void()> onCompletion;

    void setCommandsLocked(bool lock) override
    {
        locked = lock;
        calls.append(lock ? QStringLiteral("lock") : QStringLiteral("unlock"));
    }
    void showCompletionMessage() override
    {
        calls.append(QStringLiteral("message"));
        if (onCompletion)
            onCompletion();
    }
};
