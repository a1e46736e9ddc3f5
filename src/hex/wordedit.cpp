#include "hex/wordedit.h"

#include <algorithm>
#include <cmath>

bool widenToWords(qint64 selStart, qint64 selEnd, qint64 imageSize, qint64 *start,
                  qint64 *length)
{
    if (selStart < 0 || selEnd < selStart || imageSize < 2)
        return false;
    const qint64 first = std::min(selStart, imageSize - 1) / 2 * 2;
    qint64 end = std::min(imageSize, (std::min(selEnd, imageSize - 1) + 2) / 2 * 2);
    // A trailing odd byte of the image is not a whole word.
    end = first + (end - first) / 2 * 2;
    if (end <= first)
        return false;
    *start = first;
    *length = end - first;
    return true;
}

QByteArray editedWords(const QByteArray &current, const QByteArray &original, qint64 start,
                       qint64 length, WordEditKind kind, double value, bool littleEndian)
{
    if (start < 0 || length <= 0 || start + length > current.size())
        return {};
    if (kind == WordEditKind::Original) {
        if (start + length > original.size())
            return {};
        return original.mid(start, length);
    }
    QByteArray out = current.mid(start, length);
    auto *p = reinterpret_cast<uchar *>(out.data());
    for (qint64 i = 0; i + 1 < length; i += 2) {
        const int word = littleEndian ? p[i] | p[i + 1] << 8 : p[i] << 8 | p[i + 1];
        double next = word;
        switch (kind) {
        case WordEditKind::Absolute:
            next = value;
            break;
        case WordEditKind::Percent:
            next = std::round(word * (1.0 + value / 100.0)); // std::round: half away from zero
            break;
        case WordEditKind::PlusOne:
            next = word + 1;
            break;
        case WordEditKind::MinusOne:
            next = word - 1;
            break;
        case WordEditKind::Original:
            break;
        }
        const int w = int(std::clamp(std::isfinite(next) ? next : 0.0, 0.0, 65535.0));
        p[i] = uchar(littleEndian ? w & 0xFF : w >> 8);
        p[i + 1] = uchar(littleEndian ? w >> 8 : w & 0xFF);
    }
    return out;
}
