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
    : m_size(size)
{
    if (size != 1 && size != 2)
        return;
    const qint64 count = image.size() / size;
    if (count > qint64(std::numeric_limits<quint32>::max()))
        return;
    const int values = size == 1 ? 256 : 65536;
    // A counting sort: one pass counts, one places; elements of a value stay ascending.
    m_start.assign(size_t(values) + 1, 0);
    const uchar *data = reinterpret_cast<const uchar *>(image.constData());
    for (qint64 i = 0; i < count; ++i)
        ++m_start[elementValue(data + i * size, size, littleEndian) + 1];
    for (int v = 0; v < values; ++v)
        m_start[size_t(v) + 1] += m_start[size_t(v)];
    std::vector<quint32> next(m_start.begin(), m_start.end() - 1);
    m_elements.resize(size_t(count));
    for (qint64 i = 0; i < count; ++i)
        m_elements[next[elementValue(data + i * size, size, littleEndian)]++] = quint32(i);
}

qint64 ValueIndex::countIn(int lo, int hi) const
{
    lo = std::max(lo, 0);
    hi = std::min(hi, maxValue());
    if (lo > hi)
        return 0;
    return qint64(m_start[size_t(hi) + 1]) - m_start[size_t(lo)];
}

void ValueIndex::appendIn(int lo, int hi, std::vector<qint64> &out) const
{
    lo = std::max(lo, 0);
    hi = std::min(hi, maxValue());
    if (lo > hi)
        return;
    for (quint32 k = m_start[size_t(lo)]; k < m_start[size_t(hi) + 1]; ++k)
        out.push_back(qint64(m_elements[k]) * m_size);
}
