#include "mapelementcodec.h"

#include "model/mapdefinition.h"

#include <limits>

namespace MapElementCodec {

int elementSize(int organisation)
{
    return elementSizeOfOrganisation(organisation);
}

quint16 maximumRaw(int organisation)
{
    return organisation == Organisation8Bit ? 255 : 65535;
}

quint16 clampToElement(quint32 raw, int organisation)
{
    return quint16(qMin<quint32>(raw, maximumRaw(organisation)));
}

QByteArray
encode(quint16 raw, int organisation, const uint8_t *image, qint64 imageLength, qint64 offset)
{
    raw = clampToElement(raw, organisation);
    const char lo = char(raw & 0xFF);
    const char hi = char(raw >> 8);
    switch (organisation) {
    case Organisation8Bit:
        return QByteArray(1, lo);
    case Organisation16BitHiLo:
        return QByteArray().append(hi).append(lo);
    case Organisation32Bit: {
        QByteArray bytes;
        bytes.append(lo).append(hi);
        for (qint64 p = offset + 2; p < offset + 4; ++p)
            bytes.append(image && p >= 0 && p < imageLength ? char(image[p]) : char(0));
        return bytes;
    }
    default:
        return QByteArray().append(lo).append(hi);
    }
}

QByteArray encode(quint16 raw, int organisation, const QByteArray &image, qint64 offset)
{
    return encode(raw, organisation, reinterpret_cast<const uint8_t *>(image.constData()),
                  image.size(), offset);
}

quint16 stepped(quint16 raw, int delta, int organisation)
{
    const qint64 value = qint64(raw) + delta;
    return quint16(qBound<qint64>(0, value, maximumRaw(organisation)));
}

Block buildBlock(const QList<qint64> &selectedIndices,
                 const QList<quint16> &values,
                 int mapOffset,
                 int organisation,
                 const QByteArray &image)
{
    Block block;
    qint64 lo = -1;
    qint64 hi = -1;
    for (qint64 index : selectedIndices) {
        if (index < 0 || index >= values.size())
            continue;
        lo = lo < 0 ? index : qMin(lo, index);
        hi = qMax(hi, index);
    }
    if (lo < 0 || mapOffset < 0)
        return block;
    const int size = elementSize(organisation);
    const qint64 start = mapOffset + lo * size;
    if (start + (hi - lo + 1) * size > std::numeric_limits<int>::max())
        return block;
    block.startOffset = int(start);
    block.data.reserve((hi - lo + 1) * size);
    for (qint64 i = lo; i <= hi; ++i)
        block.data.append(encode(values.at(i), organisation, image, mapOffset + i * size));
    return block;
}

} // namespace MapElementCodec
