#pragma once

#include <QByteArrayView>
#include <QString>

// Which standard streams the program was started without (`>&-`, `<&-`).
struct ClosedStreams
{
    bool input = false;
    bool output = false;
};

// Run first thing: a closed standard stream is held open on /dev/null, so that no list, socket or pipe opened
// later takes its number, and nothing is ever written into a descriptor the user did not give.
ClosedStreams holdClosedStandardStreams();

// "korvane-cli: " and the text, as a line of standard error.
void printError(const QString &text);

// Writes everything to standard output; on failure (a full disk, a closed reader) returns the reason.
QString writeToStandardOutput(QByteArrayView data);
