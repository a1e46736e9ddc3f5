#include "mapelementcodec.h"

#include <limits>

namespace MapElementCodec {

int elementSize(int organisation)
{
    return elementSizeOfOrganisation(organisation);
}

QByteArray encode(double raw, const ValueType &type)
{
    return encodeValue(raw, type.organisation, type.littleEndian, type.kind);
}

double stepped(double raw, int delta, const ValueType &type)
{
    return clampRaw(raw + delta, type.organisation, type.kind);
}

Block buildBlock(const QList<qint64> &selectedIndices,
                 const QList<double> &values,
                 int mapOffset,
                 const ValueType &type)
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
    const int size = elementSize(type.organisation);
    const qint64 start = mapOffset + lo * size;
    if (start + (hi - lo + 1) * size > std::numeric_limits<int>::max())
        return block;
    block.startOffset = int(start);
    block.data.reserve((hi - lo + 1) * size);
    for (qint64 i = lo; i <= hi; ++i)
        block.data.append(encode(values.at(i), type));
    return block;
}

} // namespace MapElementCodec
