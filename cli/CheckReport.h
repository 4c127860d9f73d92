#pragma once

#include "cli/CliOptions.h"

#include <QByteArray>

class ProxyTableModel;

// The results of a check as korvane-cli prints them: the rows that got a verdict and pass --only, top to bottom,
// as text, status and anonymity, tab-separated; or as JSON; or, with --only and no --json, their texts alone.
QByteArray checkReport(const ProxyTableModel &table, const CliOptions &options);
