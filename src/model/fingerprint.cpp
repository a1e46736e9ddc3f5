#include "fingerprint.h"

#include <QCryptographicHash>

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define TESSA_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

#ifdef TESSA_SHA_NI

// Every opened image is fingerprinted, and dumps run to tens of MiB: with the processor's SHA
// instructions hashing costs a few milliseconds instead of a noticeable pause.
bool cpuHasShaExtensions()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const bool ssse3 = ecx & (1u << 9);
    const bool sse41 = ecx & (1u << 19);
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    const bool sha = ebx & (1u << 29);
    return ssse3 && sse41 && sha;
}

alignas(16) const uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

__attribute__((target("sha,sse4.1,ssse3"))) void
compressBlocks(uint32_t state[8], const uint8_t *data, std::size_t blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);

    // The instructions want the state as ABEF / CDGH.
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&state[0]));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&state[4]));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);
    state1 = _mm_shuffle_epi32(state1, 0x1B);
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefSaved = state0;
        const __m128i cdghSaved = state1;
        __m128i w[4];
        for (int group = 0; group < 16; ++group) {
            __m128i words;
            if (group < 4) {
                words = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * group)),
                    byteSwap);
            } else {
                // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four words at a time.
                const __m128i &w16 = w[group & 3];
                const __m128i &w12 = w[(group + 1) & 3];
                const __m128i &w8 = w[(group + 2) & 3];
                const __m128i &w4 = w[(group + 3) & 3];
                words = _mm_sha256msg1_epu32(w16, w12);
                words = _mm_add_epi32(words, _mm_alignr_epi8(w4, w8, 4));
                words = _mm_sha256msg2_epu32(words, w4);
            }
            w[group & 3] = words;
            __m128i message = _mm_add_epi32(words, _mm_load_si128(reinterpret_cast<const __m128i *>(
                                                       RoundConstants + 4 * group)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, message);
            message = _mm_shuffle_epi32(message, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, message);
        }
        state0 = _mm_add_epi32(state0, abefSaved);
        state1 = _mm_add_epi32(state1, cdghSaved);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);
    state1 = _mm_shuffle_epi32(state1, 0xB1);
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);
    state1 = _mm_alignr_epi8(state1, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(&state[4]), state1);
}

QByteArray sha256WithShaExtensions(const uint8_t *bytes, uint64_t length)
{
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    const std::size_t fullBlocks = std::size_t(length / 64);
    compressBlocks(state, bytes, fullBlocks);

    // The tail, the 0x80 marker and the bit length fill one or two final blocks.
    uint8_t tail[128] = {};
    const std::size_t rest = std::size_t(length % 64);
    if (rest)
        std::memcpy(tail, bytes + fullBlocks * 64, rest);
    tail[rest] = 0x80;
    const std::size_t tailBlocks = rest < 56 ? 1 : 2;
    const uint64_t bits = length * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailBlocks * 64 - 1 - i] = uint8_t(bits >> (8 * i));
    compressBlocks(state, tail, tailBlocks);

    QByteArray digest(32, Qt::Uninitialized);
    for (int i = 0; i < 8; ++i) {
        digest[4 * i] = char(state[i] >> 24);
        digest[4 * i + 1] = char(state[i] >> 16);
        digest[4 * i + 2] = char(state[i] >> 8);
        digest[4 * i + 3] = char(state[i]);
    }
    return digest;
}

#endif // TESSA_SHA_NI

QByteArray sha256(const uint8_t *bytes, qint64 length)
{
    if (length < 0)
        length = 0;
#ifdef TESSA_SHA_NI
    static const bool fast = cpuHasShaExtensions();
    if (fast)
        return sha256WithShaExtensions(bytes, uint64_t(length));
#endif
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(bytes), length));
    return hash.result();
}

} // namespace

QString imageFingerprint(const uint8_t *bytes, qint64 length)
{
    return QString::fromLatin1(sha256(bytes, length).toHex());
}

QString imageFingerprint(const QByteArray &bytes)
{
    return imageFingerprint(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size());
}
