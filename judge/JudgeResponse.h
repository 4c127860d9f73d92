#pragma once

#include "checker/EchoPage.h"

#include <QByteArray>
#include <QByteArrayView>

#include <utility>

// An answer of the judge: the status line with its reason phrase, the headers every answer carries, and the body,
// the echo page or a refusal's one line. Every answer ends its connection.
class JudgeResponse
{
public:
    // The echo page showing the address, then the extras after its end marker.
    static JudgeResponse page(QByteArrayView address, const EchoPage::Extras &extras);
    // 400, 405 or 431, the status line (without its version) as the body.
    static JudgeResponse refusal(int status);

    static QByteArrayView reason(int status);

    int status() const { return m_status; }
    // What is sent in the request's version ("HTTP/1.0" or "HTTP/1.1"; HTTP/1.1 to a request that had none, which
    // could not be read): the head, and the body unless the request was HEAD.
    QByteArray bytes(QByteArrayView version, bool headOnly) const;

private:
    JudgeResponse(int status, QByteArray body) : m_status(status), m_body(std::move(body)) {}

    int m_status;
    QByteArray m_body;
};
