#pragma once

#include "cli/CliOptions.h"

#include <QString>

class ProxyList;

// Prints the results of a check as korvane-cli gives them: the rows that got a verdict and pass --only, top to
// bottom, as text, status and anonymity, tab-separated; or as JSON; or, with --only and no --json, their texts
// alone. Written to standard output a block at a time; on failure returns the reason.
QString printCheckReport(const ProxyList &list, const CliOptions &options);
