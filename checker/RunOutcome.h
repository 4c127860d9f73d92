#pragma once

#include <QString>

#include <vector>

// How a check run ended, beside the verdicts written to its rows.
struct RunOutcome
{
    // An echo host that did not answer when asked directly, and why, in words for the user.
    struct SilentHost
    {
        QString host;
        QString reason;
    };

    // Whether any proxy was probed. Not when no echo host answered before the run, or Abort came first: then no
    // row has changed.
    bool probed = false;
    bool aborted = false;
    // The echo hosts that did not answer before the run. The run went on without them, or, when none answered,
    // did not start.
    std::vector<SilentHost> silentHosts;
    // The run found no working proxy and, asked again afterwards, no echo host answered: the verdicts tell more
    // about the echo hosts than about the proxies.
    bool echoLost = false;
    // What this machine ran out of, in the system's words: the rows not probed are untested.
    QString shortage;
};
