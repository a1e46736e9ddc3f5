#pragma once

#include <QByteArray>

// RSA signatures as ECU images keep them: modulus and signature big-endian, a small public
// exponent, and a bare digest in PKCS #1 v1.5 type-1 padding (00 01 FF .. FF 00 digest).
namespace RsaSignature {

// The digest a signature carries under the key; empty when the key is unusable or the
// padding is not right.
QByteArray recoverDigest(const QByteArray &signature,
                         const QByteArray &modulus,
                         unsigned exponent,
                         int digestSize);

struct KeyPair
{
    QByteArray modulus;         // big-endian, modulusBytes long
    QByteArray privateExponent; // big-endian
    unsigned exponent = 0;
    bool ok = false;
};

// A new key pair for the public exponent 3 (the only one ECU images use), derived from seed:
// the same seed always gives the same key.
KeyPair generateKey(unsigned exponent, int modulusBytes, const QByteArray &seed);

// The signature of digest under the key, as long as the modulus; empty when it cannot be made.
QByteArray sign(const KeyPair &key, const QByteArray &digest);

} // namespace RsaSignature
