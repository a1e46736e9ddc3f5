#include "hex/axissearch.h"

#include <algorithm>

namespace {

struct WordReader
{
    const uchar *image;
    qint64 size;
    bool littleEndian;

    quint16 at(qint64 p) const
    {
        return littleEndian ? quint16(image[p] | image[p + 1] << 8)
                            : quint16(image[p] << 8 | image[p + 1]);
    }
    QList<quint16> words(qint64 p, int count) const
    {
        QList<quint16> out;
        out.reserve(count);
        for (int i = 0; i < count; ++i)
            out.append(at(p + 2 * qint64(i)));
        return out;
    }
    // The kind the axis at p reads as, unsigned first; -1 when it is no axis either way.
    int axisAt(qint64 p, int count) const
    {
        const QList<quint16> unsignedWords = words(p, count);
        if (isPlausibleAxis(unsignedWords))
            return ValueUnsigned;
        QList<qint16> signedWords;
        signedWords.reserve(count);
        for (quint16 w : unsignedWords)
            signedWords.append(qint16(w));
        return isPlausibleAxis(signedWords) ? ValueSigned : -1;
    }
};

AxisSearchResult
found(AxisLayout layout, qint64 xOffset, int xKind, qint64 yOffset, int yKind, qint64 start)
{
    AxisSearchResult r{layout, xOffset, yOffset, start};
    r.xValueKind = xKind;
    r.yValueKind = yKind;
    return r;
}

} // namespace

AxisSearchResult findStoredAxes(const uchar *image, qint64 size, qint64 start, int rows,
                                int columns, bool littleEndian)
{
    AxisSearchResult none;
    if (!image || rows < 1 || columns < 1 || start < 2 || start > size)
        return none;
    const WordReader r{image, size, littleEndian};
    const qint64 reach = 2 * std::max<qint64>(128, qint64(rows) + columns + 66);
    const qint64 lowest = std::max<qint64>(0, start - reach);
    for (qint64 p = start - 2; p >= lowest; p -= 2) {
        const quint16 first = r.at(p);
        // One-row map: column count and the X axis.
        if (rows == 1 && columns > 1 && first == columns && p + 2 + 2 * qint64(columns) == start) {
            const int kind = r.axisAt(p + 2, columns);
            if (kind >= 0)
                return found(AxisLayout::OneRowCount, p + 2, kind, -1, ValueUnsigned, p);
        }
        // Both counts first, then the two axes in the same order.
        if (p + 4 <= start) {
            const quint16 second = r.at(p + 2);
            const int orders[2][2] = {{rows, columns}, {columns, rows}};
            for (const auto &o : orders) {
                if (first != o[0] || second != o[1])
                    continue;
                const qint64 axis1 = p + 4;
                const qint64 axis2 = axis1 + 2 * qint64(o[0]);
                if (axis2 + 2 * qint64(o[1]) != start)
                    continue;
                const int kind1 = r.axisAt(axis1, o[0]);
                const int kind2 = kind1 < 0 ? -1 : r.axisAt(axis2, o[1]);
                if (kind2 < 0)
                    continue;
                const bool rowsFirst = o[0] == rows && (&o == &orders[0]);
                const AxisLayout layout = AxisLayout::TwoCountsFirst;
                return rowsFirst ? found(layout, axis2, kind2, axis1, kind1, p)
                                 : found(layout, axis1, kind1, axis2, kind2, p);
            }
        }
        // Count, axis, count, axis.
        const int counts[2][2] = {{rows, columns}, {columns, rows}};
        for (const auto &c : counts) {
            if (first != c[0])
                continue;
            const qint64 axis1 = p + 2;
            const qint64 secondCount = axis1 + 2 * qint64(c[0]);
            const qint64 axis2 = secondCount + 2;
            if (axis2 + 2 * qint64(c[1]) != start || r.at(secondCount) != c[1])
                continue;
            const int kind1 = r.axisAt(axis1, c[0]);
            const int kind2 = kind1 < 0 ? -1 : r.axisAt(axis2, c[1]);
            if (kind2 < 0)
                continue;
            const bool rowsFirst = &c == &counts[0];
            const AxisLayout layout = AxisLayout::CountAxisCountAxis;
            return rowsFirst ? found(layout, axis2, kind2, axis1, kind1, p)
                             : found(layout, axis1, kind1, axis2, kind2, p);
        }
    }
    return none;
}
