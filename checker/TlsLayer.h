#pragma once

#include "checker/ByteLayer.h"

#include <openssl/types.h>

#include <memory>

class TlsContext;

// TLS to the site at the far end of a tunnel, on memory buffers: the socket's bytes go in, the bytes to send come out,
// and nothing here ever waits. The request is held until the handshake is done, then written once.
//
// failure() is empty while the connection is fine, and stays set once it is not:
//   - the certificate is not trusted: "unknown issuer" (no path to a trusted authority, self-signed), "name mismatch"
//     (it is not for the host name or address), "expired", "not yet valid", otherwise OpenSSL's words for the check
//     that failed;
//   - TLS itself failed, in the handshake or after it (the far end does not speak TLS, sent an alert, sent garbage):
//     OpenSSL's reason, or "handshake failure" when it gives none.
// A close_notify from the far end is a clean end, not a failure. A far end that says nothing is not one either: the
// caller's own time limit ends that.
class TlsLayer final : public ByteLayer
{
public:
    // host: the site's name, or an address literal (an IPv6 one without brackets), which is then what the certificate
    // must be for. A name is sent as the server name (SNI), an address is not. An insecure context checks no
    // certificate at all, yet still names the server.
    TlsLayer(const TlsContext &context, const QString &host);
    ~TlsLayer() override;
    TlsLayer(const TlsLayer &) = delete;
    TlsLayer &operator=(const TlsLayer &) = delete;

    QByteArray open(const QByteArray &request) override;
    QByteArray fromWire(QByteArray received, QByteArray &answer) override;
    QString failure() const override { return m_failure; }

private:
    struct Free
    {
        void operator()(SSL *ssl) const;
    };

    bool handshake();
    void readInto(QByteArray &answer);
    void renewInput();
    void fail(int result);
    QByteArray toWire();

    std::unique_ptr<SSL, Free> m_ssl;
    BIO *m_in = nullptr;  // owned by m_ssl: the bytes received, for TLS to read
    BIO *m_out = nullptr; // owned by m_ssl: what TLS has to send
    QByteArray m_request;
    QString m_failure;
    bool m_closed = false;
};
