#include "hex/samplesummary.h"

#include <algorithm>
#include <cmath>
#include <cstring>

double SampleFormat::fullScale() const
{
    return width == 1 ? 255.0 : width == 2 ? 65535.0 : 4294967295.0;
}

qint64 sampleCount(qint64 imageSize, const SampleFormat &format)
{
    return format.width > 0 ? imageSize / format.width : 0;
}

double sampleValue(const char *data, qint64 index, const SampleFormat &format)
{
    const auto *p = reinterpret_cast<const uchar *>(data) + index * format.width;
    switch (format.width) {
    case 1:
        return p[0];
    case 2:
        return format.littleEndian ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1];
    default: {
        const quint32 v = format.littleEndian
                              ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16
                                    | quint32(p[3]) << 24
                              : quint32(p[3]) | quint32(p[2]) << 8 | quint32(p[1]) << 16
                                    | quint32(p[0]) << 24;
        if (!format.isFloat)
            return v;
        float f;
        std::memcpy(&f, &v, sizeof f);
        return std::isfinite(f) ? double(f) : std::numeric_limits<double>::quiet_NaN();
    }
    }
}

void SampleSummary::clear()
{
    m_size = -1;
    m_samples = 0;
    m_level1.clear();
    m_level2.clear();
}

bool SampleSummary::isBuiltFor(const QByteArray &data, const SampleFormat &format) const
{
    return m_size == data.size() && m_format == format;
}

SampleExtremes SampleSummary::scan(const char *data, qint64 first, qint64 end) const
{
    SampleExtremes r;
    if (m_format.width == 1) {
        // The common case of a whole-image view; keep it tight.
        const auto *p = reinterpret_cast<const uchar *>(data);
        uchar lo = 255, hi = 0;
        for (qint64 i = first; i < end; ++i) {
            lo = std::min(lo, p[i]);
            hi = std::max(hi, p[i]);
        }
        if (end > first) {
            r.minimum = lo;
            r.maximum = hi;
        }
        return r;
    }
    for (qint64 i = first; i < end; ++i) {
        const double v = sampleValue(data, i, m_format);
        if (v == v)
            r.add(v);
    }
    return r;
}

void SampleSummary::build(const QByteArray &data, const SampleFormat &format)
{
    m_format = format;
    m_size = data.size();
    m_samples = sampleCount(m_size, format);
    m_level1.assign(std::size_t((m_samples + Level1 - 1) / Level1), SampleExtremes());
    m_level2.assign(std::size_t((m_samples + Level2 - 1) / Level2), SampleExtremes());
    update(data, 0, m_size - 1);
}

void SampleSummary::update(const QByteArray &data, qint64 first, qint64 last)
{
    if (m_size != data.size() || m_samples == 0 || last < first)
        return;
    const qint64 firstSample = std::max<qint64>(0, first) / m_format.width;
    const qint64 lastSample = std::min(m_samples - 1, last / m_format.width);
    if (lastSample < firstSample)
        return;
    const qint64 b1First = firstSample / Level1;
    const qint64 b1Last = lastSample / Level1;
    for (qint64 b = b1First; b <= b1Last; ++b)
        m_level1[std::size_t(b)] =
            scan(data.constData(), b * Level1, std::min(m_samples, (b + 1) * Level1));
    constexpr qint64 perLevel2 = Level2 / Level1;
    const qint64 nLevel1 = qint64(m_level1.size());
    for (qint64 b = b1First / perLevel2; b <= b1Last / perLevel2; ++b) {
        SampleExtremes r;
        for (qint64 k = b * perLevel2; k < std::min(nLevel1, (b + 1) * perLevel2); ++k)
            r.add(m_level1[std::size_t(k)]);
        m_level2[std::size_t(b)] = r;
    }
}

SampleExtremes SampleSummary::extremes(const QByteArray &data, qint64 first, qint64 end) const
{
    first = std::max<qint64>(0, first);
    end = std::min(end, m_samples);
    SampleExtremes r;
    if (end <= first)
        return r;
    const auto roundUp = [](qint64 v, qint64 m) { return (v + m - 1) / m * m; };
    const qint64 a1 = roundUp(first, Level1);
    const qint64 b1 = end / Level1 * Level1;
    if (a1 >= b1)
        return scan(data.constData(), first, end);
    r.add(scan(data.constData(), first, a1));
    r.add(scan(data.constData(), b1, end));
    const qint64 a2 = roundUp(a1, Level2);
    const qint64 b2 = b1 / Level2 * Level2;
    if (a2 >= b2) {
        for (qint64 k = a1 / Level1; k < b1 / Level1; ++k)
            r.add(m_level1[std::size_t(k)]);
        return r;
    }
    for (qint64 k = a1 / Level1; k < a2 / Level1; ++k)
        r.add(m_level1[std::size_t(k)]);
    for (qint64 k = b2 / Level1; k < b1 / Level1; ++k)
        r.add(m_level1[std::size_t(k)]);
    for (qint64 k = a2 / Level2; k < b2 / Level2; ++k)
        r.add(m_level2[std::size_t(k)]);
    return r;
}

void windowSamples(qint64 imageSize, const SampleFormat &format, qint64 start, qint64 end,
                   qint64 *firstSample, qint64 *count)
{
    const qint64 w = std::max(1, format.width);
    const qint64 first = std::max<qint64>(0, start) / w;
    // A sample must start before the window's end and lie wholly inside the image.
    const qint64 last = std::min((end + w - 1) / w, imageSize / w);
    *firstSample = first;
    *count = std::max<qint64>(0, last - first);
}

QList<SampleExtremes> columnExtremes(const QByteArray &data, const SampleFormat &format,
                                     qint64 start, qint64 end, int columns,
                                     const SampleSummary *summary)
{
    QList<SampleExtremes> out;
    qint64 first = 0, n = 0;
    windowSamples(data.size(), format, start, end, &first, &n);
    if (columns < 1 || n <= columns)
        return out;
    out.resize(columns);
    for (int c = 0; c < columns; ++c) {
        const qint64 a = first + qint64(c) * n / columns;
        const qint64 b = first + qint64(c + 1) * n / columns;
        if (summary) {
            out[c] = summary->extremes(data, a, b);
        } else {
            SampleExtremes r;
            for (qint64 i = a; i < b; ++i) {
                const double v = sampleValue(data.constData(), i, format);
                if (v == v)
                    r.add(v);
            }
            out[c] = r;
        }
    }
    return out;
}
