#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace quillet {

// The minisign formats (Ed25519 through libsodium): a public key, a signature file, and the check
// of one against the other over a message.
class Minisign {
public:
    struct PublicKey {
        QByteArray keyId; // 8 bytes
        QByteArray key;   // 32 bytes
    };

    struct Signature {
        bool prehashed = false;    // "ED": the signed text is the BLAKE2b-512 digest of the message
        QByteArray keyId;          // 8 bytes
        QByteArray signature;      // 64 bytes
        QByteArray trustedComment; // after "trusted comment: "
        QByteArray globalSignature; // 64 bytes, over signature + trusted comment
    };

    // A key file ("untrusted comment: …" then the base64 line) or the base64 line alone.
    static std::optional<PublicKey> parsePublicKey(QByteArrayView text);
    // A signature file: untrusted comment, signature line, trusted comment, global signature.
    static std::optional<Signature> parseSignature(QByteArrayView text);

    // True when `signature` was made over `message` with the secret half of `key`, and its
    // trusted comment was signed with it too.
    static bool verify(const PublicKey& key, const Signature& signature, QByteArrayView message);
};

} // namespace quillet
