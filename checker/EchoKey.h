#pragma once

#include <QByteArray>

// A key a Korvane echo host hands a checker on its direct answer, to sign the pages it serves that checker's probes.
struct EchoKey
{
    // Printable (hexadecimal): it goes in each probe's path, which a proxy reads.
    QByteArray id;
    // Never leaves the direct exchange: a proxy that has not seen it cannot sign a page of its own.
    QByteArray secret;
};
