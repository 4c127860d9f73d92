#pragma once

#include "checker/EchoPage.h"
#include "checker/ProbeJudgement.h"

#include <QHostAddress>

#include <optional>

class EchoHost;

// An echo host's page asked directly, without a proxy: whether it shows an address, the user's own as the host
// sees it, and what a Korvane echo host added. Working when the page shows an address, which is the exit address.
class DirectPageJudgement final : public ProbeJudgement
{
public:
    // What the page held.
    struct Page
    {
        std::optional<QHostAddress> yourAddress;
        // A Korvane echo host's additions, when the page shows an address.
        std::optional<EchoPage::Extras> extras;
    };

    // The echo host must outlive the judgement.
    explicit DirectPageJudgement(const EchoHost &echo) : m_echo(echo) {}

    QByteArray directRequest() const override;
    QByteArray proxyRequest(const QByteArray &headerLines) const override;
    // A verdict once the page is complete, or once an answer's keep is full: a host that never stops talking has
    // said all it will.
    std::optional<RowVerdict> look(QByteArray &answer) override;
    RowVerdict onClosed(const QByteArray &answer) const override { return verdict(answer); }
    // "Error", unless the whole page had come in by then.
    RowVerdict onFailed(const QByteArray &answer) const override;

    static Page read(const QByteArray &answer);

private:
    static RowVerdict verdict(const QByteArray &answer);

    const EchoHost &m_echo;
};
