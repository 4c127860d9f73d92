#pragma once

// What a test run needs from the window around it.
class CheckRunHost
{
public:
    virtual ~CheckRunHost() = default;

    // Locked: Load, Test, Filter, Save and both sliders greyed out, Abort usable. Unlocked: the other way round.
    virtual void setCommandsLocked(bool locked) = 0;
    // Tells the user that the run is over; returns when the message has been closed.
    virtual void showCompletionMessage() = 0;
};
