#pragma once

#include <QString>

// What a test run needs from the window around it.
class CheckRunHost
{
public:
    virtual ~CheckRunHost() = default;

    // Locked: Load, Test, Filter, Save and both sliders greyed out, Abort usable. Unlocked: the other way round.
    virtual void setCommandsLocked(bool locked) = 0;
    // Tells the user that the run is over, or why it stopped early (shortage: what this machine ran out of, in the
    // system's words); returns when the message has been closed.
    virtual void showCompletionMessage(const QString &shortage) = 0;
};
