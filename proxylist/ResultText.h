#pragma once

#include "proxylist/ProxyResult.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>

// A result in words. The table's words are for a person and may be translated; the tokens are korvane-cli's
// output for scripts, fixed whatever the language.
class ResultText
{
    Q_DECLARE_TR_FUNCTIONS(ResultText)

public:
    // The Status, Anonymity and Speed cells; empty for a row never checked.
    static QString status(const ProxyResult &result);
    static QString anonymity(const ProxyResult &result);
    static QString speed(const ProxyResult &result);

    // "Working", "Invalid Response", "Error" or "Timeout"; empty before a verdict.
    static QByteArrayView statusToken(const ProxyResult &result);
    // "Y" or "N" for a working proxy, "-" for any other verdict.
    static QByteArrayView anonymityToken(const ProxyResult &result);
    // "transparent", "anonymous" or "elite"; empty where the echo host could not tell.
    static QByteArrayView gradeToken(const ProxyResult &result);
    // The same, in words for a person.
    static QString grade(const ProxyResult &result);
};
