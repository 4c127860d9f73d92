#include "checker/TlsLayer.h"

#include "checker/TlsContext.h"

#include <QHostAddress>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace {
// What the buffer of the bytes received may keep room for.
constexpr qsizetype SmallPiece = 4096;

// The certificate check's verdict in the few words a row shows.
QString verifyFailure(long result)
{
    switch (result) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return QStringLiteral("unknown issuer");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("name mismatch");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("not yet valid");
    default:
        return QString::fromUtf8(X509_verify_cert_error_string(result));
    }
}
} // namespace

void TlsLayer::Free::operator()(SSL *ssl) const
{
    SSL_free(ssl);
}

TlsLayer::TlsLayer(const TlsContext &context, const QString &host) : m_ssl(SSL_new(context.get()))
{
    if (!m_ssl) {
        m_failure = QStringLiteral("cannot set up TLS");
        return;
    }
    SSL *ssl = m_ssl.get();
    m_in = BIO_new(BIO_s_mem());
    m_out = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl, m_in, m_out);
    SSL_set_connect_state(ssl);
    const QByteArray name = host.toUtf8();
    const bool literal = !QHostAddress(host).isNull();
    // SNI names a server, it never gives an address.
    if (!literal)
        SSL_set_tlsext_host_name(ssl, name.constData());
    if (context.insecure())
        return;
    if (literal)
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.constData());
    else
        SSL_set1_host(ssl, name.constData());
}

TlsLayer::~TlsLayer() = default;

QByteArray TlsLayer::open(const QByteArray &request)
{
    m_request = request;
    if (m_failure.isEmpty())
        handshake();
    return toWire();
}

QByteArray TlsLayer::fromWire(QByteArray received, QByteArray &answer)
{
    if (!m_failure.isEmpty() || m_closed)
        return {};
    const qsizetype size = received.size();
    BIO_write(m_in, received.constData(), int(size));
    received = {}; // TLS holds its own copy now
    if (handshake() && !m_request.isEmpty()) {
        SSL_write(m_ssl.get(), m_request.constData(), int(m_request.size()));
        m_request = {};
    }
    if (SSL_is_init_finished(m_ssl.get()) && m_failure.isEmpty())
        readInto(answer);
    if (size > SmallPiece)
        renewInput();
    return toWire();
}

// A memory buffer keeps the room its largest piece took: once TLS has taken all of a large one, a new buffer takes its
// place, so that a connection waiting for more holds a few bytes, not that room.
void TlsLayer::renewInput()
{
    if (BIO_ctrl_pending(m_in) != 0)
        return;
    if (BIO *fresh = BIO_new(BIO_s_mem())) {
        m_in = fresh;
        SSL_set0_rbio(m_ssl.get(), m_in); // the old one freed
    }
}

// Whether the handshake is done; on the way, its failure.
bool TlsLayer::handshake()
{
    if (SSL_is_init_finished(m_ssl.get()))
        return true;
    // OpenSSL's errors are the thread's: those of another connection must not be read as this one's.
    ERR_clear_error();
    const int result = SSL_do_handshake(m_ssl.get());
    if (result != 1)
        fail(result);
    return result == 1;
}

void TlsLayer::readInto(QByteArray &answer)
{
    ERR_clear_error();
    // A peek opens the next record; the answer then grows by just what it holds, decrypted straight into its end.
    for (;;) {
        char first = 0;
        size_t got = 0;
        if (const int result = SSL_peek_ex(m_ssl.get(), &first, 1, &got); result != 1)
            return fail(result);
        const qsizetype had = answer.size();
        answer.resize(had + SSL_pending(m_ssl.get()));
        SSL_read_ex(m_ssl.get(), answer.data() + had, size_t(answer.size() - had), &got);
        answer.resize(had + qsizetype(got));
    }
}

// Sets the failure for a result of OpenSSL's that was not a success, unless it only waits for more bytes or the far
// end closed cleanly.
void TlsLayer::fail(int result)
{
    switch (SSL_get_error(m_ssl.get(), result)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return;
    case SSL_ERROR_ZERO_RETURN:
        m_closed = true;
        return;
    default:
        break;
    }
    // An insecure connection records what it did not check: not its failure.
    const bool checked = (SSL_get_verify_mode(m_ssl.get()) & SSL_VERIFY_PEER) != 0;
    if (const long verified = SSL_get_verify_result(m_ssl.get()); checked && verified != X509_V_OK) {
        m_failure = verifyFailure(verified);
    } else {
        const char *reason = ERR_reason_error_string(ERR_peek_error());
        m_failure = reason ? QString::fromUtf8(reason) : QStringLiteral("handshake failure");
    }
    ERR_clear_error();
}

QByteArray TlsLayer::toWire()
{
    if (!m_out)
        return {};
    QByteArray bytes(qsizetype(BIO_ctrl_pending(m_out)), Qt::Uninitialized);
    if (!bytes.isEmpty())
        BIO_read(m_out, bytes.data(), int(bytes.size()));
    return bytes;
}
