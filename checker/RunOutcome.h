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
    // The Korvane echo hosts whose page, asked directly, already returned origin headers, and their names: something
    // between this computer and the host adds them (a reverse proxy in front of it, say), so a proxy's grade through
    // that host cannot be told.
    std::vector<SilentHost> frontedHosts;
    // The echo hosts that stopped answering during the run. They took no more proxies, and the rows they had failed
    // since they last answered went out again through the others, or stayed untested when none was left.
    std::vector<SilentHost> lostHosts;
    // No echo host was left: either every one stopped answering during the run (lostHosts says which, and the rows
    // they failed are untested), or the run found no working proxy and, asked again afterwards, none answered (the
    // verdicts tell more about the echo hosts than about the proxies).
    bool echoLost = false;
    // What this machine ran out of, in the system's words: the rows not probed are untested.
    QString shortage;
};
