#include "judge/JudgeKeys.h"

#include "checker/EchoSignature.h"

#include <openssl/rand.h>

#include <algorithm>
#include <cctype>

namespace {
constexpr int MasterBytes = 32;
// An id: the expiry in 16 hexadecimal digits, then 8 random bytes in 16 more.
constexpr qsizetype ExpiryDigits = 16;
constexpr int IdRandomBytes = 8;
constexpr qsizetype IdSize = ExpiryDigits + qsizetype(2) * IdRandomBytes;

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    // A key anyone could guess would sign anything: the judge does not run without the system's randomness.
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), count) != 1)
        qFatal("korvane-cli: the system gave no random bytes for the judge's keys");
    return bytes;
}
} // namespace

JudgeKeys::JudgeKeys() : m_master(randomBytes(MasterBytes)) {}

QByteArray JudgeKeys::secretOf(QByteArrayView id) const
{
    return EchoSignature::sign(m_master, id);
}

EchoKey JudgeKeys::fresh(qint64 now) const
{
    const QByteArray id = QByteArray::number(now + LifetimeSeconds, 16).rightJustified(ExpiryDigits, '0') +
                          randomBytes(IdRandomBytes).toHex();
    return {id, secretOf(id)};
}

std::optional<EchoKey> JudgeKeys::find(QByteArrayView id, qint64 now) const
{
    const bool wellFormed = id.size() == IdSize && std::all_of(id.begin(), id.end(), [](char c) {
                                return std::isdigit(uchar(c)) || (c >= 'a' && c <= 'f');
                            });
    bool read = false;
    const qint64 expiry = wellFormed ? id.first(ExpiryDigits).toLongLong(&read, 16) : 0;
    // An expiry further off than a fresh key's is none this judge wrote.
    if (!read || expiry <= now || expiry > now + LifetimeSeconds)
        return std::nullopt;
    return EchoKey{id.toByteArray(), secretOf(id)};
}
