#include "checker/EchoSignature.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace EchoSignature {

QByteArray parameters(QByteArrayView keyId)
{
    return R"(("token" "address" "header");keyid=")" + keyId.toByteArray() + R"(";alg="hmac-sha256")";
}

QByteArray base(QByteArrayView keyId, QByteArrayView token, QByteArrayView address, const QByteArrayList &headers)
{
    QByteArray base = "\"token\": " + EchoPage::escaped(token) + "\n\"address\": " + EchoPage::escaped(address) + '\n';
    for (const QByteArray &header : headers)
        base += "\"header\": " + EchoPage::escaped(header) + '\n';
    return base + "\"@signature-params\": " + parameters(keyId);
}

QByteArray sign(QByteArrayView secret, QByteArrayView base)
{
    QByteArray mac(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), secret.data(), int(secret.size()), reinterpret_cast<const unsigned char *>(base.data()),
              size_t(base.size()), reinterpret_cast<unsigned char *>(mac.data()), &length))
        return {};
    mac.truncate(length);
    return mac;
}

bool verify(QByteArrayView secret, QByteArrayView base, QByteArrayView signature)
{
    const QByteArray expected = sign(secret, base);
    return !expected.isEmpty() && signature.size() == expected.size() &&
           CRYPTO_memcmp(expected.data(), signature.data(), size_t(expected.size())) == 0;
}

bool holds(const EchoPage::Extras &extras, QByteArrayView shownAddress, const EchoKey &key)
{
    return extras.keyId == key.id &&
           verify(key.secret, base(key.id, extras.token, shownAddress, extras.headers), extras.signature);
}

} // namespace EchoSignature
