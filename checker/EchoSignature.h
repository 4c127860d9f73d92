#pragma once

#include "checker/EchoKey.h"
#include "checker/EchoPage.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

// The signature a Korvane echo host puts on what it saw of a probe's request: the token of its path, the address that
// connected, and the origin headers it returns. Laid out as an HTTP message signature (RFC 9421) with HMAC-SHA256,
// but carried in the page's korvane-echo block, since a proxy may drop or rewrite response headers.
namespace EchoSignature {
// The signature's parameters, as the signature-input field writes them after "korvane=".
QByteArray parameters(QByteArrayView keyId);
// The signature base: one line per component, each header its own line, written as the page writes it (%XX
// escaped, so no line can hold a line break), then the parameters.
QByteArray base(QByteArrayView keyId, QByteArrayView token, QByteArrayView address, const QByteArrayList &headers);
// HMAC-SHA256 of the base under the secret, 32 bytes.
QByteArray sign(QByteArrayView secret, QByteArrayView base);
// Whether the signature is the base's under the secret, compared in constant time.
bool verify(QByteArrayView secret, QByteArrayView base, QByteArrayView signature);
// Whether the page's extras were signed with the key over what they say, and the address the page shows.
bool holds(const EchoPage::Extras &extras, QByteArrayView shownAddress, const EchoKey &key);
} // namespace EchoSignature
