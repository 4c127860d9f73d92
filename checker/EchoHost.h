#pragma once

#include "checker/EchoKey.h"
#include "checker/ProbeTarget.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

// The IP-echo host that every probe asks for its page "/": a host name or dotted address with an optional :port.
class EchoHost
{
public:
    // A long-lived public page that shows "Current IP Address: " and the caller's address, then "</body></html>".
    static const QString Default;

    // Nothing when the text could end a request line early or names no port from 1 to 65535.
    static std::optional<EchoHost> parse(const QString &text);

    // As given: the name and, when one was given, ":port".
    const QString &text() const { return m_text; }
    const QString &name() const { return m_name; }
    quint16 port() const { return m_port; }
    // Whether the name is a dotted IPv4 address.
    bool isAddress() const { return m_isAddress; }
    // Its IPv4 address in host order, when the name is a dotted address or has been looked up.
    const std::optional<quint32> &address() const { return m_address; }
    void setAddress(quint32 address) { m_address = address; }
    // The first IPv4 address of those a look-up of its name found, for SOCKS 4; none leaves it as it was.
    void setAddressFrom(const QList<QHostAddress> &found);
    // Where a probe's tunnel leads to ask it.
    ProbeTarget target() const { return {m_name, m_address, m_isAddress, m_port}; }
    // Whether its page, asked directly, said it is a Korvane echo host: then each probe's request carries a token.
    bool isKorvane() const { return m_korvane; }
    void setKorvane(bool korvane) { m_korvane = korvane; }
    // The key its direct answer offered, which signs the pages of the probes that name it; none from an older
    // Korvane echo host, whose pages only carry the token.
    const std::optional<EchoKey> &key() const { return m_key; }
    void setKey(const std::optional<EchoKey> &key) { m_key = key; }

    // Asked of an HTTP proxy: the request line in absolute form, the header lines given (each ending in CR LF), then
    // CR LF twice. The path is "/", and the token after it when there is one, after the key's id when there is a
    // key: "/ID/TOKEN".
    QByteArray proxyRequest(const QByteArray &headerLines = {}, const QByteArray &token = {}) const;
    // Asked through a tunnel, of the echo host itself.
    QByteArray directRequest(const QByteArray &token = {}) const;

private:
    QByteArray path(const QByteArray &token) const;

    QString m_text;
    QString m_name;
    quint16 m_port = 80;
    std::optional<quint32> m_address;
    bool m_isAddress = false;
    bool m_korvane = false;
    std::optional<EchoKey> m_key;
};
