#include "checker/TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace {
// The first of OpenSSL's errors on this thread, the one that tells the cause, and the queue emptied.
QString firstError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    // A file that would not open is the system's error, which OpenSSL 3.0 keeps as a number alone.
    if (ERR_SYSTEM_ERROR(code))
        return qt_error_string(int(ERR_GET_REASON(code)));
    const char *reason = ERR_reason_error_string(code);
    return reason ? QString::fromUtf8(reason) : QStringLiteral("unknown error");
}
} // namespace

void TlsContext::Free::operator()(SSL_CTX *context) const
{
    SSL_CTX_free(context);
}

std::variant<TlsContext, QString> TlsContext::create(const QString &caFile, bool insecure)
{
    ERR_clear_error();
    Context context(SSL_CTX_new(TLS_client_method()));
    if (!context)
        return QStringLiteral("cannot set up TLS: %1").arg(firstError());
    SSL_CTX *tls = context.get();
    SSL_CTX_set_min_proto_version(tls, TLS1_2_VERSION);
    // A probe reads one answer: its buffers go back while it waits on the wire, which is most of its life.
    SSL_CTX_set_mode(tls, SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_verify(tls, insecure ? SSL_VERIFY_NONE : SSL_VERIFY_PEER, nullptr);
    if (insecure)
        return TlsContext(std::move(context), true);
    if (caFile.isEmpty()) {
        if (SSL_CTX_set_default_verify_paths(tls) != 1)
            return QStringLiteral("cannot read the system's certificates: %1").arg(firstError());
    } else if (SSL_CTX_load_verify_locations(tls, caFile.toLocal8Bit().constData(), nullptr) != 1) {
        return QStringLiteral("cannot read certificates from %1: %2").arg(caFile, firstError());
    }
    return TlsContext(std::move(context), false);
}
