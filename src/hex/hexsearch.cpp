#include "hexsearch.h"

#include "hex/hexcells.h"

#include <algorithm>
#include <cstring>

namespace HexSearch {

Pattern parseValue(const QString &text, bool hexadecimal, int cellBytes, int byteOrder)
{
    Pattern p;
    QString t = text.trimmed();
    if (t.isEmpty()) {
        p.error = QStringLiteral("Inserisci un valore da cercare.");
        return p;
    }
    if (hexadecimal && t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    bool ok = false;
    const qulonglong v = t.toULongLong(&ok, hexadecimal ? 16 : 10);
    if (!ok) {
        p.error = hexadecimal ? QStringLiteral("Valore esadecimale non valido.")
                              : QStringLiteral("Valore decimale non valido.");
        return p;
    }
    const quint32 top = HexCells::limit(cellBytes);
    if (v > top) {
        p.error = QStringLiteral("Il valore supera il limite della modalità attiva.\n\n"
                                 "Valore massimo: %1")
                      .arg(top);
        return p;
    }
    p.bytes = HexCells::encode(quint32(v), cellBytes, byteOrder);
    return p;
}

namespace {

// Aligned hits only, so a plain stride over the cells is the whole scan.
template<int W>
int scanForward(const char *data, qint64 from, qint64 to, const char *pattern)
{
    for (qint64 o = from; o <= to; o += W)
        if (std::memcmp(data + o, pattern, W) == 0)
            return int(o);
    return -1;
}

template<int W>
int scanBackward(const char *data, qint64 from, qint64 to, const char *pattern)
{
    for (qint64 o = from; o >= to; o -= W)
        if (std::memcmp(data + o, pattern, W) == 0)
            return int(o);
    return -1;
}

int forwardScan(const char *data, qint64 from, qint64 to, const QByteArray &pattern)
{
    const qint64 w = pattern.size();
    from = (from + w - 1) / w * w; // first multiple of w at or after from
    if (from > to)
        return -1;
    switch (w) {
    case 1:
        return scanForward<1>(data, from, to, pattern.constData());
    case 2:
        return scanForward<2>(data, from, to, pattern.constData());
    default:
        return scanForward<4>(data, from, to, pattern.constData());
    }
}

int backwardScan(const char *data, qint64 from, qint64 to, const QByteArray &pattern)
{
    const qint64 w = pattern.size();
    from = from / w * w; // last multiple of w at or before from
    if (from < to || from < 0)
        return -1;
    switch (w) {
    case 1:
        return scanBackward<1>(data, from, to, pattern.constData());
    case 2:
        return scanBackward<2>(data, from, to, pattern.constData());
    default:
        return scanBackward<4>(data, from, to, pattern.constData());
    }
}

} // namespace

Step find(const char *data, qsizetype size, const QByteArray &pattern, int position, bool forward)
{
    Step step;
    const qint64 w = pattern.size();
    if (w != 1 && w != 2 && w != 4) {
        step.tooShort = true;
        return step;
    }
    if (size < w) {
        step.tooShort = true;
        return step;
    }
    const qint64 last = qint64(size) - w;
    qint64 pos = std::min<qint64>(std::max<qint64>(position, 0), last);
    pos -= pos % w;
    if (forward) {
        const qint64 start = std::max<qint64>(pos + w, 0);
        if (start <= last)
            step.hit = forwardScan(data, start, last, pattern);
        if (step.hit < 0) {
            step.wrapped = true;
            step.hit = forwardScan(data, 0, std::min(pos - w, last), pattern);
        }
    } else {
        const qint64 from = std::min(pos - w, last);
        if (from >= 0)
            step.hit = backwardScan(data, from, 0, pattern);
        if (step.hit < 0) {
            step.wrapped = true;
            step.hit = backwardScan(data, last, std::max<qint64>(pos + w, 0), pattern);
        }
    }
    return step;
}

} // namespace HexSearch
