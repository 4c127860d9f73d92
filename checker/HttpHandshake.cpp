#include "checker/HttpHandshake.h"

#include "checker/ProbeJudgement.h"

QByteArray HttpHandshake::request(const ProbeJudgement &asked) const
{
    return asked.proxyRequest(proxyAuthorization(m_credentials));
}
