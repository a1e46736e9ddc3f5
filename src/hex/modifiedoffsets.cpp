#include "modifiedoffsets.h"

#include <QtAlgorithms>

#include <algorithm>
#include <cstring>

namespace {

// Eight bytes compared at once: bit i of the result is set when byte i of the two words differs
// (bytes taken in memory order).
inline unsigned differingBytes(const char *a, const char *b)
{
    quint64 x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    quint64 d = x ^ y;
    d |= d >> 4;
    d |= d >> 2;
    d |= d >> 1;
    d &= 0x0101010101010101ull;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    return unsigned((d * 0x0102040810204080ull) >> 56);
#else
    unsigned mask = 0;
    for (int i = 0; i < 8; ++i)
        mask |= unsigned((d >> (56 - 8 * i)) & 1u) << i;
    return mask;
#endif
}

} // namespace

void ModifiedOffsets::rebuild(const char *current,
                              qsizetype currentSize,
                              const char *original,
                              qsizetype originalSize)
{
    m_size = std::max<qsizetype>(currentSize, 0);
    m_bits.assign(std::size_t((m_size + 63) / 64), 0);
    const qsizetype common = std::min(m_size, std::max<qsizetype>(originalSize, 0));
    // The same buffer on both sides (a freshly opened image) has nothing to compare.
    qsizetype i = current == original ? common : 0;
    // 64 bytes make one word of the bitmap.
    for (; i + 64 <= common; i += 64) {
        quint64 word = 0;
        for (int k = 0; k < 8; ++k)
            word |= quint64(differingBytes(current + i + 8 * k, original + i + 8 * k)) << (8 * k);
        m_bits[std::size_t(i >> 6)] = word;
    }
    for (; i < common; ++i)
        if (current[i] != original[i])
            m_bits[std::size_t(i >> 6)] |= quint64(1) << (i & 63);
    // Everything past the original's end counts as changed.
    for (; i < m_size; ++i)
        m_bits[std::size_t(i >> 6)] |= quint64(1) << (i & 63);
}

void ModifiedOffsets::clear()
{
    m_bits.assign(std::size_t((m_size + 63) / 64), 0);
}

void ModifiedOffsets::set(qsizetype offset, bool on)
{
    if (offset < 0 || offset >= m_size)
        return;
    quint64 &word = m_bits[std::size_t(offset >> 6)];
    const quint64 bit = quint64(1) << (offset & 63);
    word = on ? (word | bit) : (word & ~bit);
}

bool ModifiedOffsets::anyIn(qsizetype offset, qsizetype length) const
{
    // Painting asks this for every visible cell: it must cost a word or two, not a scan.
    const qsizetype first = std::max<qsizetype>(offset, 0);
    const qsizetype last = std::min(offset + length, m_size); // exclusive
    if (first >= last)
        return false;
    const std::size_t w0 = std::size_t(first >> 6);
    const std::size_t w1 = std::size_t((last - 1) >> 6);
    const quint64 lowMask = ~quint64(0) << (first & 63);
    const quint64 highMask = ~quint64(0) >> (63 - ((last - 1) & 63));
    if (w0 == w1)
        return (m_bits[w0] & lowMask & highMask) != 0;
    if (m_bits[w0] & lowMask)
        return true;
    for (std::size_t w = w0 + 1; w < w1; ++w)
        if (m_bits[w])
            return true;
    return (m_bits[w1] & highMask) != 0;
}

qsizetype ModifiedOffsets::count() const
{
    qsizetype n = 0;
    for (quint64 w : m_bits) {
        while (w) {
            w &= w - 1;
            ++n;
        }
    }
    return n;
}

qsizetype ModifiedOffsets::nextSet(qsizetype from, qsizetype limit) const
{
    const qsizetype end = (limit < 0 || limit > m_size) ? m_size : limit;
    if (from < 0)
        from = 0;
    if (from >= end)
        return -1;
    std::size_t word = std::size_t(from >> 6);
    const std::size_t lastWord = std::size_t((end - 1) >> 6);
    // Whole words at a time: a large unchanged stretch costs one test per 64 bytes.
    quint64 bits = m_bits[word] & (~quint64(0) << (from & 63));
    while (bits == 0) {
        if (++word > lastWord)
            return -1;
        bits = m_bits[word];
    }
    const qsizetype found = qsizetype(word) * 64 + qCountTrailingZeroBits(bits);
    return found < end ? found : -1;
}
