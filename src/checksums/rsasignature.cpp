#include "checksums/rsasignature.h"

#include <gmp.h>

namespace {

// mpz_t with a lifetime.
struct Big
{
    mpz_t v;
    Big() { mpz_init(v); }
    ~Big() { mpz_clear(v); }
    Big(const Big &) = delete;
    Big &operator=(const Big &) = delete;
};

void importBytes(Big &to, const QByteArray &bytes)
{
    mpz_import(to.v, size_t(bytes.size()), 1, 1, 0, 0, bytes.constData());
}

// Big-endian, left-padded with zeros to size bytes; empty when the number does not fit.
QByteArray exportBytes(const Big &from, int size)
{
    const size_t needed = (mpz_sizeinbase(from.v, 2) + 7) / 8;
    if (needed > size_t(size))
        return {};
    QByteArray bytes(size, '\0');
    size_t written = 0;
    if (mpz_sgn(from.v) != 0)
        mpz_export(bytes.data() + (size - qsizetype(needed)), &written, 1, 1, 0, 0, from.v);
    return bytes;
}

QByteArray padded(const QByteArray &digest, int size)
{
    QByteArray block(size, '\xff');
    block[0] = '\0';
    block[1] = '\1';
    block[size - digest.size() - 1] = '\0';
    block.replace(size - digest.size(), digest.size(), digest);
    return block;
}

constexpr int kMinimumPadding = 11; // 00 01, at least eight FF, 00

} // namespace

namespace RsaSignature {

QByteArray recoverDigest(const QByteArray &signature,
                         const QByteArray &modulus,
                         unsigned exponent,
                         int digestSize)
{
    const int size = int(modulus.size());
    if (size < digestSize + kMinimumPadding || signature.size() != size || exponent < 2)
        return {};
    Big n, s, m;
    importBytes(n, modulus);
    importBytes(s, signature);
    if (mpz_cmp_ui(n.v, 1) <= 0 || mpz_cmp(s.v, n.v) >= 0)
        return {};
    mpz_powm_ui(m.v, s.v, exponent, n.v);
    const QByteArray block = exportBytes(m, size);
    if (block.size() != size || block.at(0) != '\0' || block.at(1) != '\1')
        return {};
    int i = 2;
    while (i < size - digestSize && block.at(i) == '\xff')
        ++i;
    if (i + 1 < kMinimumPadding || block.at(i) != '\0' || i + 1 + digestSize != size)
        return {};
    return block.right(digestSize);
}

KeyPair generateKey(unsigned exponent, int modulusBytes, const QByteArray &seed)
{
    KeyPair key;
    if (modulusBytes < 2 * kMinimumPadding || modulusBytes % 2 != 0 || exponent < 3)
        return key;
    const unsigned long primeBits = unsigned(modulusBytes) * 4;
    gmp_randstate_t random;
    gmp_randinit_default(random);
    Big seedValue;
    importBytes(seedValue, seed.isEmpty() ? QByteArray(1, '\0') : seed);
    gmp_randseed(random, seedValue.v);

    Big p, q, n, phi, d, pm1, qm1, gcd, e;
    mpz_set_ui(e.v, exponent);
    auto nextPrime = [&](Big &prime) {
        for (;;) {
            mpz_urandomb(prime.v, random, primeBits);
            // The two top bits make the product exactly 2 * primeBits long.
            mpz_setbit(prime.v, primeBits - 1);
            mpz_setbit(prime.v, primeBits - 2);
            mpz_nextprime(prime.v, prime.v);
            Big less;
            mpz_sub_ui(less.v, prime.v, 1);
            mpz_gcd(gcd.v, less.v, e.v);
            if (mpz_cmp_ui(gcd.v, 1) == 0 && mpz_sizeinbase(prime.v, 2) == primeBits)
                return;
        }
    };
    bool found = false;
    for (int attempt = 0; attempt < 64 && !found; ++attempt) {
        nextPrime(p);
        nextPrime(q);
        if (mpz_cmp(p.v, q.v) == 0)
            continue;
        mpz_mul(n.v, p.v, q.v);
        found = mpz_sizeinbase(n.v, 2) == 2 * primeBits;
    }
    gmp_randclear(random);
    if (!found)
        return key;
    mpz_sub_ui(pm1.v, p.v, 1);
    mpz_sub_ui(qm1.v, q.v, 1);
    mpz_mul(phi.v, pm1.v, qm1.v);
    if (mpz_invert(d.v, e.v, phi.v) == 0)
        return key;
    key.modulus = exportBytes(n, modulusBytes);
    key.privateExponent = exportBytes(d, modulusBytes);
    key.exponent = exponent;
    key.ok = !key.modulus.isEmpty() && !key.privateExponent.isEmpty();
    return key;
}

QByteArray sign(const KeyPair &key, const QByteArray &digest)
{
    const int size = int(key.modulus.size());
    if (!key.ok || size < digest.size() + kMinimumPadding)
        return {};
    Big n, d, m, s;
    importBytes(n, key.modulus);
    importBytes(d, key.privateExponent);
    importBytes(m, padded(digest, size));
    mpz_powm(s.v, m.v, d.v, n.v);
    const QByteArray signature = exportBytes(s, size);
    if (recoverDigest(signature, key.modulus, key.exponent, int(digest.size())) != digest)
        return {};
    return signature;
}

} // namespace RsaSignature
