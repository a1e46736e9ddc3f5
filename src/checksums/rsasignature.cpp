#include "checksums/rsasignature.h"

#include <gmp.h>

#include <algorithm>
#include <vector>

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
    if (modulusBytes < 2 * kMinimumPadding || modulusBytes % 2 != 0 || exponent != 3)
        return key;
    const unsigned long primeBits = unsigned(modulusBytes) * 4;
    gmp_randstate_t random;
    gmp_randinit_default(random);
    Big seedValue;
    importBytes(seedValue, seed.isEmpty() ? QByteArray(1, '\0') : seed);
    gmp_randseed(random, seedValue.v);

    Big p, q, n, phi, d, pm1, qm1, e;
    mpz_set_ui(e.v, exponent);
    static const std::vector<unsigned long> smallPrimes = [] {
        std::vector<unsigned long> primes;
        for (unsigned long c = 5; c < 4000; c += 2) {
            bool prime = true;
            for (unsigned long f = 3; f * f <= c && prime; f += 2)
                prime = c % f != 0;
            if (prime)
                primes.push_back(c);
        }
        return primes;
    }();
    // A prime p = 5 (mod 6) of primeBits bits, so that 3 does not divide p - 1 and has an
    // inverse; small factors are sieved out before the costly test. False when the search ran out
    // of candidates or bits.
    auto randomPrime = [&](Big &prime) {
        mpz_urandomb(prime.v, random, primeBits);
        // The two top bits make the product exactly 2 * primeBits long.
        mpz_setbit(prime.v, primeBits - 1);
        mpz_setbit(prime.v, primeBits - 2);
        mpz_add_ui(prime.v, prime.v, (11 - mpz_fdiv_ui(prime.v, 6)) % 6);
        for (int step = 0; step < 4096; ++step, mpz_add_ui(prime.v, prime.v, 6)) {
            const bool smallFactor
                = std::any_of(smallPrimes.cbegin(), smallPrimes.cend(),
                              [&](unsigned long f) { return mpz_fdiv_ui(prime.v, f) == 0; });
            if (!smallFactor && mpz_probab_prime_p(prime.v, 24) > 0)
                return mpz_sizeinbase(prime.v, 2) == primeBits;
        }
        return false;
    };
    bool found = false;
    for (int attempt = 0; attempt < 64 && !found; ++attempt) {
        if (!randomPrime(p) || !randomPrime(q) || mpz_cmp(p.v, q.v) == 0)
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
