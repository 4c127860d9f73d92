#pragma once

#include <QString>

#include <openssl/types.h>

#include <memory>
#include <utility>
#include <variant>

// The client side of TLS shared by every probe of a run: which certificates it trusts, made once, since loading the
// system's store takes tens of milliseconds. A connection made from it holds a reference of its own to the OpenSSL
// context, so the context may go before the connections do.
class TlsContext
{
public:
    // caFile: the PEM file of the certificate authorities to trust instead of the system's; empty for the system's.
    // insecure: no certificate is checked at all. The context, or why it could not be made, in one line.
    static std::variant<TlsContext, QString> create(const QString &caFile, bool insecure);

    SSL_CTX *get() const { return m_context.get(); }
    bool insecure() const { return m_insecure; }

private:
    struct Free
    {
        void operator()(SSL_CTX *context) const;
    };
    using Context = std::unique_ptr<SSL_CTX, Free>;

    TlsContext(Context context, bool insecure) : m_context(std::move(context)), m_insecure(insecure) {}

    Context m_context;
    bool m_insecure = false;
};
