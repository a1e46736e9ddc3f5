#include "valueindex.h"

#include <algorithm>
#include <limits>

namespace {

quint32 elementValue(const uchar *p, int size, bool littleEndian)
{
    if (size == 1)
        return p[0];
    return littleEndian ? quint32(p[0] | p[1] << 8) : quint32(p[0] << 8 | p[1]);
}

} // namespace

ValueIndex::ValueIndex(const QByteArray &image, int size, bool littleEndian)
    : m_data(reinterpret_cast<const uchar *>(image.constData()))
    , m_size(size)
    , m_littleEndian(littleEndian)
{
    if (size != 1 && size != 2)
        return;
    const qint64 count = image.size() / size;
    if (count > qint64(std::numeric_limits<quint32>::max()))
        return;
    const int values = size == 1 ? 256 : 65536;
    // A counting sort: one pass counts, one places; elements of a value stay ascending. The
    // table of every value's start is needed only while the index is made.
    std::vector<quint32> start(size_t(values) + 1, 0);
    for (qint64 i = 0; i < count; ++i)
        ++start[elementValue(m_data + i * size, size, littleEndian) + 1];
    for (int v = 0; v < values; ++v)
        start[size_t(v) + 1] += start[size_t(v)];
    m_elements.resize(size_t(count));
    {
        std::vector<quint32> next(start.begin(), start.end() - 1);
        for (qint64 i = 0; i < count; ++i)
            m_elements[next[elementValue(m_data + i * size, size, littleEndian)]++] = quint32(i);
    }
    m_bucketStart.resize(size_t(values / 256) + 1);
    for (int b = 0; b <= values / 256; ++b)
        m_bucketStart[size_t(b)] = start[size_t(std::min(b * 256, values))];
}

quint32 ValueIndex::valueOf(quint32 element) const
{
    return elementValue(m_data + qint64(element) * m_size, m_size, m_littleEndian);
}

quint32 ValueIndex::lowerBound(int value) const
{
    if (value <= 0)
        return 0;
    if (value > maxValue())
        return quint32(m_elements.size());
    const size_t bucket = size_t(value) >> 8;
    const auto first = m_elements.begin() + m_bucketStart[bucket];
    const auto last = m_elements.begin() + m_bucketStart[bucket + 1];
    return quint32(
        std::lower_bound(first, last, quint32(value),
                         [this](quint32 element, quint32 v) { return valueOf(element) < v; })
        - m_elements.begin());
}

qint64 ValueIndex::countIn(int lo, int hi) const
{
    lo = std::max(lo, 0);
    hi = std::min(hi, maxValue());
    if (lo > hi)
        return 0;
    return qint64(lowerBound(hi + 1)) - lowerBound(lo);
}

void ValueIndex::appendIn(int lo, int hi, std::vector<qint64> &out) const
{
    lo = std::max(lo, 0);
    hi = std::min(hi, maxValue());
    if (lo > hi)
        return;
    for (quint32 k = lowerBound(lo), end = lowerBound(hi + 1); k < end; ++k)
        out.push_back(qint64(m_elements[k]) * m_size);
}
