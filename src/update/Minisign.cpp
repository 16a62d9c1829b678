#include "update/Minisign.h"

#include <QList>

#include <sodium.h>

namespace quillet {

namespace {

constexpr QByteArrayView untrustedPrefix = "untrusted comment: ";
constexpr QByteArrayView trustedPrefix = "trusted comment: ";

std::optional<QByteArray> strictBase64(QByteArrayView line, qsizetype expectedSize)
{
    const auto decoded = QByteArray::fromBase64Encoding(
        line.toByteArray(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != expectedSize)
        return std::nullopt;
    return decoded.decoded;
}

// Lines without their line ends; a trailing empty line is dropped.
QList<QByteArrayView> lines(QByteArrayView text)
{
    QList<QByteArrayView> out;
    while (!text.isEmpty()) {
        qsizetype end = text.indexOf('\n');
        QByteArrayView line = end < 0 ? text : text.first(end);
        if (line.endsWith('\r'))
            line.chop(1);
        out.append(line);
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
    }
    return out;
}

bool initSodium()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

bool ed25519Verify(const QByteArray& signature, QByteArrayView message, const QByteArray& key)
{
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data()),
                                       reinterpret_cast<const unsigned char*>(message.data()),
                                       static_cast<unsigned long long>(message.size()),
                                       reinterpret_cast<const unsigned char*>(key.data())) == 0;
}

} // namespace

std::optional<Minisign::PublicKey> Minisign::parsePublicKey(QByteArrayView text)
{
    const QList<QByteArrayView> all = lines(text.trimmed());
    if (all.isEmpty() || all.size() > 2 || (all.size() == 2 && !all[0].startsWith(untrustedPrefix)))
        return std::nullopt;
    const auto raw = strictBase64(all.last().trimmed(), 42);
    if (!raw || !raw->startsWith("Ed"))
        return std::nullopt;
    return PublicKey{raw->mid(2, 8), raw->mid(10, 32)};
}

std::optional<Minisign::Signature> Minisign::parseSignature(QByteArrayView text)
{
    const QList<QByteArrayView> all = lines(text);
    if (all.size() != 4 || !all[0].startsWith(untrustedPrefix) || !all[2].startsWith(trustedPrefix))
        return std::nullopt;
    const auto raw = strictBase64(all[1], 74);
    const auto global = strictBase64(all[3], 64);
    if (!raw || !global)
        return std::nullopt;
    const QByteArray algorithm = raw->first(2);
    if (algorithm != "Ed" && algorithm != "ED")
        return std::nullopt;
    return Signature{algorithm == "ED", raw->mid(2, 8), raw->mid(10, 64),
                     all[2].sliced(trustedPrefix.size()).toByteArray(), *global};
}

bool Minisign::verify(const PublicKey& key, const Signature& signature, QByteArrayView message)
{
    if (!initSodium() || key.keyId != signature.keyId || key.key.size() != 32)
        return false;
    QByteArray signedText;
    if (signature.prehashed) {
        signedText.resize(crypto_generichash_BYTES_MAX);
        crypto_generichash(reinterpret_cast<unsigned char*>(signedText.data()),
                           static_cast<size_t>(signedText.size()),
                           reinterpret_cast<const unsigned char*>(message.data()),
                           static_cast<unsigned long long>(message.size()), nullptr, 0);
    } else {
        signedText = message.toByteArray();
    }
    return ed25519Verify(signature.signature, signedText, key.key) &&
           ed25519Verify(signature.globalSignature, signature.signature + signature.trustedComment,
                         key.key);
}

} // namespace quillet
