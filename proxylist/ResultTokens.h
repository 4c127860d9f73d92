#pragma once

#include "proxylist/ProxyResult.h"

#include <QByteArrayView>

// A result as korvane-cli prints it for scripts: fixed tokens, whatever the language. The window's words for a
// person are its own.
namespace ResultTokens {
// "Working", "Invalid Response", "Error" or "Timeout"; empty before a verdict.
QByteArrayView status(const ProxyResult &result);
// "Y" or "N" for a working proxy, "-" for any other verdict.
QByteArrayView anonymity(const ProxyResult &result);
// "transparent", "anonymous" or "elite"; empty where the echo host could not tell.
QByteArrayView grade(const ProxyResult &result);
} // namespace ResultTokens
