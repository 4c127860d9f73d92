#pragma once

#include "proxylist/ProxyResult.h"
#include "proxylist/SiteVerdict.h"

#include <QString>

#include <optional>

// What one check of a row found, handed to the list in one piece: the result a row keeps in its own bytes, and what
// the list keeps beside the row, by its id. A new finding of a check is a new member here.
struct RowVerdict
{
    ProxyResult result;
    // The address a working proxy's echo page showed, where it leaves for the internet; empty for none.
    QString exitAddress = {};
    // What fetching the user's site through the proxy found, when a working proxy was asked to.
    std::optional<SiteVerdict> site = std::nullopt;
    // The address a row that names its host was looked up as and probed at; empty for a row that gives its address.
    QString proxyAddress = {};
    // How many probes the row took to this verdict: more than one when a failed probe was tried again.
    int attempts = 1;
};
