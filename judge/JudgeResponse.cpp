#include "judge/JudgeResponse.h"

JudgeResponse JudgeResponse::page(QByteArrayView address, const EchoPage::Extras &extras)
{
    return {200, EchoPage::body(address) + EchoPage::extras(extras)};
}

JudgeResponse JudgeResponse::refusal(int status)
{
    return {status, QByteArray::number(status) + ' ' + reason(status).toByteArray() + "\r\n"};
}

QByteArrayView JudgeResponse::reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Bad Request";
    }
}

QByteArray JudgeResponse::bytes(QByteArrayView version, bool headOnly) const
{
    QByteArray head = (version.isEmpty() ? QByteArrayView("HTTP/1.1") : version).toByteArray() + ' ' +
                      QByteArray::number(m_status) + ' ' + reason(m_status).toByteArray() + "\r\n";
    head += "Content-Type: text/html\r\nContent-Length: " + QByteArray::number(m_body.size()) +
            "\r\nCache-Control: no-store\r\nConnection: close\r\n";
    // A method refused: the ones that are not.
    if (m_status == 405)
        head += "Allow: GET, HEAD\r\n";
    head += "\r\n";
    return headOnly ? head : head + m_body;
}
