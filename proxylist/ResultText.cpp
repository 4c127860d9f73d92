#include "proxylist/ResultText.h"

QString ResultText::status(const ProxyResult &result)
{
    switch (result.status) {
    case ProxyStatus::Untested:
        return {};
    case ProxyStatus::Checking:
        return tr("Checking...");
    case ProxyStatus::Working:
        return tr("Working");
    case ProxyStatus::InvalidResponse:
        return tr("Invalid Response");
    case ProxyStatus::Error:
        return tr("Error");
    case ProxyStatus::Timeout:
        return tr("Timeout");
    }
    return {};
}

QString ResultText::anonymity(const ProxyResult &result)
{
    return QString::fromLatin1(anonymityToken(result));
}

QString ResultText::speed(const ProxyResult &result)
{
    if (result.ms)
        return tr("%1 ms").arg(*result.ms);
    return result.isVerdict() ? QStringLiteral("-") : QString();
}

QByteArrayView ResultText::statusToken(const ProxyResult &result)
{
    switch (result.status) {
    case ProxyStatus::Untested:
    case ProxyStatus::Checking:
        return {};
    case ProxyStatus::Working:
        return "Working";
    case ProxyStatus::InvalidResponse:
        return "Invalid Response";
    case ProxyStatus::Error:
        return "Error";
    case ProxyStatus::Timeout:
        return "Timeout";
    }
    return {};
}

QByteArrayView ResultText::anonymityToken(const ProxyResult &result)
{
    if (!result.isVerdict())
        return {};
    if (result.status != ProxyStatus::Working)
        return "-";
    return result.anonymity == Anonymity::Anonymous ? "Y" : "N";
}

QByteArrayView ResultText::gradeToken(const ProxyResult &result)
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

QString ResultText::grade(const ProxyResult &result)
{
    switch (result.status == ProxyStatus::Working ? result.grade : Grade::None) {
    case Grade::None:
        return {};
    case Grade::Transparent:
        return tr("transparent");
    case Grade::Anonymous:
        return tr("anonymous");
    case Grade::Elite:
        return tr("elite");
    }
    return {};
}
