#include "projects/comparestatistics.h"

#include <QJsonValue>
#include <QtAlgorithms>

#include <algorithm>
#include <cstring>

double CompareStatistics::differencePercent() const
{
    return size > 0 ? double(differingBytes) * 100.0 / double(size) : 0.0;
}

double CompareStatistics::similarityPercent() const
{
    if (size <= 0)
        return 100.0;
    return std::clamp(100.0 - differencePercent(), 0.0, 100.0);
}

CompareStatistics compareImages(const char *ori, const char *mod, qint64 size)
{
    CompareStatistics s;
    s.size = std::max<qint64>(0, size);
    bool previousDiffered = false;
    const auto *a = reinterpret_cast<const uchar *>(ori);
    const auto *b = reinterpret_cast<const uchar *>(mod);
    const auto byteAt = [&](qint64 i) {
        const uchar x = a[i] ^ b[i];
        if (x) {
            ++s.differingBytes;
            s.differingBits += qPopulationCount(quint32(x));
            if (!previousDiffered)
                ++s.changeBlocks;
            if (s.firstChange < 0)
                s.firstChange = i;
            s.lastChange = i;
        }
        previousDiffered = x != 0;
    };
    qint64 i = 0;
    // Most of a MOD equals its ORI: skip equal stretches eight bytes at a time.
    for (; i + 8 <= s.size; i += 8) {
        quint64 x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x == y) {
            previousDiffered = false;
            continue;
        }
        for (qint64 k = i; k < i + 8; ++k)
            byteAt(k);
    }
    for (; i < s.size; ++i)
        byteAt(i);
    return s;
}

QJsonObject compareStatisticsJson(const CompareStatistics &s, qint64 oriSize, qint64 modSize)
{
    QJsonObject o;
    o.insert(QStringLiteral("oriSize"), oriSize);
    o.insert(QStringLiteral("modSize"), modSize);
    o.insert(QStringLiteral("differingBytes"), s.differingBytes);
    o.insert(QStringLiteral("differingBits"), s.differingBits);
    o.insert(QStringLiteral("changeBlocks"), s.changeBlocks);
    o.insert(QStringLiteral("firstChange"),
             s.firstChange < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(s.firstChange));
    o.insert(QStringLiteral("lastChange"),
             s.lastChange < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(s.lastChange));
    o.insert(QStringLiteral("affectedInterval"), s.affectedInterval());
    o.insert(QStringLiteral("differencePercent"), s.differencePercent());
    o.insert(QStringLiteral("similarityPercent"), s.similarityPercent());
    return o;
}

namespace {

QString percent(double v)
{
    return QString::number(v, 'f', 4);
}

QString changeOffset(qint64 offset)
{
    return offset < 0 ? QStringLiteral("-")
                      : (QStringLiteral("0x") + QString::number(offset, 16)).toUpper();
}

} // namespace

CompareReport firstCompareReport(const CompareStatistics &s, const QString &modFileName,
                                 qint64 oriSize, qint64 modSize)
{
    CompareReport r;
    r.title = QStringLiteral("Confronto ORI / MOD - Tessamorvandi");
    const double difference = s.differencePercent();
    QString note;
    if (difference >= 50.0) {
        note = QStringLiteral("\nATTENZIONE: il file è fortemente differente dall'ORI.");
        r.level = CompareReport::Critical;
    } else if (difference >= 10.0) {
        note = QStringLiteral("\nAttenzione: sono presenti molte differenze.");
        r.level = CompareReport::Warning;
    } else if (s.differingBytes == 0) {
        note = QStringLiteral("\nIl file MOD è identico all'ORI.");
    } else {
        note = QStringLiteral("\nSono state rilevate modifiche rispetto all'ORI.");
    }
    r.proceedIsDefault = difference < 50.0;
    r.text = QStringLiteral("File MOD: %1\n\nDimensione ORI: %2 byte\nDimensione MOD: %3 byte\n\n"
                            "Byte differenti: %4\nBit differenti: %5\nSomiglianza file: %6%\n%7")
                 .arg(modFileName, QString::number(oriSize), QString::number(modSize),
                      QString::number(s.differingBytes), QString::number(s.differingBits),
                      percent(s.similarityPercent()), note);
    return r;
}

CompareReport secondCompareReport(const CompareStatistics &s, const QString &modFileName)
{
    CompareReport r;
    r.title = QStringLiteral("Analisi differenze ORI / MOD - Tessamorvandi");
    const double difference = s.differencePercent();
    QString assessment;
    if (s.differingBytes == 0) {
        assessment = QStringLiteral("Nessuna differenza rilevata.\nIl file è identico all'originale.");
    } else if (difference < 10.0) {
        assessment = QStringLiteral(
            "Le differenze sono concentrate in una porzione limitata del firmware.");
    } else if (difference < 50.0) {
        assessment = QStringLiteral("Le modifiche sono molto estese.\n"
                                    "Controllare che il MOD appartenga realmente a questo ORI.");
        r.level = CompareReport::Warning;
    } else {
        assessment = QStringLiteral("ATTENZIONE:\nil file risulta molto diverso dall'ORI.\n"
                                    "Potrebbe trattarsi di un firmware differente.");
        r.level = CompareReport::Critical;
    }
    r.proceedIsDefault = difference < 50.0;
    r.text = QStringLiteral("File MOD: %1\n\nByte modificati totali: %2\nBit modificati totali: %3\n"
                            "Blocchi di modifica rilevati: %4\n\nPrima modifica: %5\n"
                            "Ultima modifica: %6\nIntervallo interessato: %7 byte\n\n"
                            "Differenza complessiva: %8%\nSomiglianza complessiva: %9%\n\n")
                 .arg(modFileName, QString::number(s.differingBytes),
                      QString::number(s.differingBits), QString::number(s.changeBlocks),
                      changeOffset(s.firstChange), changeOffset(s.lastChange),
                      QString::number(s.affectedInterval()), percent(difference),
                      percent(s.similarityPercent()))
             + assessment;
    return r;
}
