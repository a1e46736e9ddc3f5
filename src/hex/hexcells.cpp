#include "hexcells.h"

#include <algorithm>
#include <cmath>

namespace HexCells {

quint32 limit(int cellBytes)
{
    switch (cellBytes) {
    case 2:
        return 0xFFFFu;
    case 4:
        return 0xFFFFFFFFu;
    default:
        return 0xFFu;
    }
}

quint32 read(const char *bytes, int cellBytes, int byteOrder)
{
    quint32 v = 0;
    const auto *u = reinterpret_cast<const uchar *>(bytes);
    if (byteOrder == BigEndian) {
        for (int i = 0; i < cellBytes; ++i)
            v = (v << 8) | u[i];
    } else {
        for (int i = cellBytes - 1; i >= 0; --i)
            v = (v << 8) | u[i];
    }
    return v;
}

void write(char *bytes, int cellBytes, int byteOrder, quint32 value)
{
    for (int i = 0; i < cellBytes; ++i) {
        const int shift = byteOrder == BigEndian ? 8 * (cellBytes - 1 - i) : 8 * i;
        bytes[i] = char((value >> shift) & 0xFFu);
    }
}

QByteArray encode(quint32 value, int cellBytes, int byteOrder)
{
    QByteArray out(cellBytes, '\0');
    write(out.data(), cellBytes, byteOrder, value);
    return out;
}

QByteArray stepped(const QByteArray &selection, int cellBytes, int byteOrder, int delta)
{
    QByteArray out = selection;
    const quint32 top = limit(cellBytes);
    for (qsizetype k = 0; k + cellBytes <= out.size(); k += cellBytes) {
        const quint32 v = read(out.constData() + k, cellBytes, byteOrder);
        if (delta > 0 && v < top)
            write(out.data() + k, cellBytes, byteOrder, v + 1);
        else if (delta < 0 && v > 0)
            write(out.data() + k, cellBytes, byteOrder, v - 1);
    }
    return out;
}

QByteArray scaled(const QByteArray &selection, int cellBytes, int byteOrder, double percent)
{
    QByteArray out = selection;
    const double factor = 1.0 + percent / 100.0;
    const double top = limit(cellBytes);
    for (qsizetype k = 0; k + cellBytes <= out.size(); k += cellBytes) {
        const double v = read(out.constData() + k, cellBytes, byteOrder);
        double n = std::round(v * factor); // half away from zero
        if (!(n >= 0.0))
            n = 0.0;
        n = std::min(n, top);
        write(out.data() + k, cellBytes, byteOrder, quint32(n));
    }
    return out;
}

std::optional<quint32> selectionEditValue(const QString &text, bool decimal, int cellBytes)
{
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok, decimal ? 10 : 16);
    if (!ok || v > 0xFFFFFFFFull)
        return std::nullopt;
    return std::min(quint32(v), limit(cellBytes));
}

bool startsCellEdit(const QString &typed, Qt::KeyboardModifiers modifiers, bool decimal)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (typed.size() != 1)
        return false;
    // Not QChar::isDigit: the editor parses ASCII digits only.
    const char16_t c = typed.at(0).unicode();
    if (c >= u'0' && c <= u'9')
        return true;
    return !decimal && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'));
}

std::optional<int> parseAddress(const QString &text)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    bool ok = false;
    const int v = t.toInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return v;
}

std::optional<QByteArray> parsePastedHex(const QString &text)
{
    QByteArray digits;
    digits.reserve(text.size());
    for (QChar c : text) {
        if (c.isSpace())
            continue;
        const char16_t u = c.unicode();
        const bool hex = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!hex)
            return std::nullopt;
        digits.append(char(u));
    }
    if (digits.isEmpty() || digits.size() % 2 != 0)
        return std::nullopt;
    return QByteArray::fromHex(digits);
}

QString compactFloatText(const QString &text, int significantDigits)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? QString::number(value, 'g', std::max(1, significantDigits))
                                      : text;
}

QString copiedHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

std::optional<ByteSpan> selectionFromAddresses(int from, int to, int cellBytes, qsizetype size)
{
    const int start = std::min(from, to);
    // The typed end names a cell wherever in it it points: its last byte is as good as its
    // first, and the selection never takes half of the next cell.
    const qint64 last = std::max(from, to);
    const int cell = std::max(1, cellBytes);
    const qint64 end = std::min<qint64>(last - last % cell + cell - 1, size - 1);
    if (start < 0 || start >= size || end < start)
        return std::nullopt;
    return ByteSpan{start, int(end)};
}

// A 32-bit word looks plausible in a byte order when, read in that order, it is a modest
// non-zero number: its most significant byte is 0x00 and its least significant byte is not.
// The same test is also applied to the word's two 16-bit halves (both must pass), so tables of
// small 16-bit values vote too. Calibration data is full of such numbers (counts, breakpoints,
// small factors); read in the wrong order they turn into huge values with a zero low byte.
// Words that pass or fail in both orders (zero fill, 0xFF fill, code) cast no vote.
int guessByteOrder(const char *data, qsizetype size)
{
    if (size < 4)
        return LittleEndian;
    auto plausible = [](const uchar *b, int order) {
        const quint32 v = read(reinterpret_cast<const char *>(b), 4, order);
        if ((v >> 24) == 0 && (v & 0xFFu) != 0)
            return true;
        const quint32 first = read(reinterpret_cast<const char *>(b), 2, order);
        const quint32 second = read(reinterpret_cast<const char *>(b + 2), 2, order);
        auto small = [](quint32 h) { return (h >> 8) == 0 && (h & 0xFFu) != 0; };
        return small(first) && small(second);
    };
    const auto *u = reinterpret_cast<const uchar *>(data);
    const qsizetype end = std::min<qsizetype>(size - 3, 4096);
    int little = 0;
    int big = 0;
    for (qsizetype o = 0; o < end; o += 4) {
        little += plausible(u + o, LittleEndian) ? 1 : 0;
        big += plausible(u + o, BigEndian) ? 1 : 0;
    }
    return big > little ? BigEndian : LittleEndian;
}

} // namespace HexCells
