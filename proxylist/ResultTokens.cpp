#include "proxylist/ResultTokens.h"

QByteArrayView ResultTokens::status(const ProxyResult &result)
{
    return kindOf(result.status).token;
}

QByteArrayView ResultTokens::anonymity(const ProxyResult &result)
{
    if (!result.isVerdict())
        return {};
    if (result.status != ProxyStatus::Working)
        return "-";
    return result.anonymity == Anonymity::Anonymous ? "Y" : "N";
}

QByteArrayView ResultTokens::grade(const ProxyResult &result)
{
    switch (result.status == ProxyStatus::Working ? result.grade : Grade::None) {
    case Grade::None:
        return {};
    case Grade::Transparent:
        return "transparent";
    case Grade::Anonymous:
        return "anonymous";
    case Grade::Elite:
        return "elite";
    }
    return {};
}
