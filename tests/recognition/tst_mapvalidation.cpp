#include "recognition/driverbuilder.h"
#include "recognition/mapvalidation.h"

#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

#include <cmath>

namespace {

constexpr qint64 XAt = 0x1000;
constexpr qint64 YAt = 0x1020;
constexpr qint64 ZAt = 0x1040;
constexpr int Rows = 6;
constexpr int Columns = 8;

void putWords(QByteArray &image, qint64 at, const QList<int> &words)
{
    for (int i = 0; i < words.size(); ++i) {
        image[at + 2 * i] = char(words.at(i) & 0xFF);
        image[at + 2 * i + 1] = char((words.at(i) >> 8) & 0xFF);
    }
}

QList<int> ramp(int count, int start, int step)
{
    QList<int> values;
    for (int i = 0; i < count; ++i)
        values.append(start + i * step);
    return values;
}

// A bent surface, so that rows and columns have profiles of their own.
QList<int> surface(double scale, int base)
{
    QList<int> values;
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Columns; ++c)
            values.append(base + int(std::lround(scale * (40 * c + 25 * r + 6 * r * c))));
    return values;
}

// FF filler around an X axis, a Y axis and a 6 x 8 map of 16-bit words; each axis can run on
// by some points in its direction, and copies of the map scaled down sit further on.
QByteArray image(int extraX = 0, int extraY = 0)
{
    QByteArray bytes(0x2000, char(0xFF));
    putWords(bytes, XAt, ramp(Columns + extraX, 100, 100));
    putWords(bytes, YAt, ramp(Rows + extraY, 1000, 1000));
    putWords(bytes, ZAt, surface(1.0, 200));
    putWords(bytes, 0x1400, surface(0.04, 2000)); // span 4 % of the map's
    putWords(bytes, 0x1600, surface(0.06, 2000)); // span 6 %
    bytes.replace(0x1800, 0x200, QByteArray(0x200, 0));
    return bytes;
}

MapDefinition definition()
{
    MapDefinition d = testsupport::mapGrid(int(ZAt), Rows, Columns, QStringLiteral("Test"));
    d.xAxisOffset = int(XAt);
    d.yAxisOffset = int(YAt);
    return d;
}

DriverMap reference(const QByteArray &bytes)
{
    DriverMap map;
    [&] { QVERIFY(buildDriverMap(bytes, definition(), map)); }();
    return map;
}

struct Case
{
    QByteArray image = ::image();
    DriverMap map = reference(image);
    qint64 z = ZAt;
};

// Turns the accepted case into one that a single rule refuses.
Case makeCase(const QString &name)
{
    Case c;
    DriverMap &m = c.map;
    const auto manual = [&m] {
        m.manualProfile = true;
        m.hasZRange = m.hasXRange = m.hasYRange = false;
    };
    if (name == QLatin1String("negative Z")) {
        c.z = -1;
    } else if (name == QLatin1String("no columns")) {
        m.columns = 0;
    } else if (name == QLatin1String("Z ends one byte past the image")) {
        c.z = c.image.size() - Rows * Columns * 2 + 1;
    } else if (name == QLatin1String("mostly zeros")) {
        c.z = 0x1800;
    } else if (name == QLatin1String("span 4 %")) {
        c.z = 0x1400;
    } else if (name == QLatin1String("Z range")) {
        manual();
        m.hasZRange = true;
        m.zRangeA = 10000;
        m.zRangeB = 20000;
    } else if (name == QLatin1String("Z fingerprint")) {
        std::reverse(m.zFingerprint.begin(), m.zFingerprint.end());
    } else if (name == QLatin1String("row profile")) {
        std::reverse(m.rowProfile.begin(), m.rowProfile.end());
    } else if (name == QLatin1String("column profile")) {
        std::reverse(m.columnProfile.begin(), m.columnProfile.end());
    } else if (name == QLatin1String("X values")) {
        m.xMin = 0;
        m.xMax = 1;
    } else if (name == QLatin1String("X range")) {
        manual();
        m.hasXRange = true;
        m.xRangeA = 5000;
        m.xRangeB = 6000;
    } else if (name == QLatin1String("Y values")) {
        m.yMin = 0;
        m.yMax = 1;
    } else if (name == QLatin1String("Y range")) {
        manual();
        m.hasYRange = true;
        m.yRangeA = 50000;
        m.yRangeB = 60000;
    } else if (name.contains(QLatin1String("run on by"))) {
        // "by 2", or "by 1 and 2": X's and Y's extra points, each run ended by a falling value.
        const int byX = name.contains(QLatin1String("by 1")) ? 1 : 2;
        const int byY = name.contains(QLatin1String("and 1")) ? 1 : 2;
        c.image = image(byX, byY);
        putWords(c.image, XAt + 2 * (Columns + byX), {0});
        putWords(c.image, YAt + 2 * (Rows + byY), {0});
        // The filler after the reference's axes rises too, so the builder left Y undirected.
        m.yAxisMode = 1;
        if (name.endsWith(QLatin1String("Y only placed"))) {
            m.checkYAxis = false;
            m.yFingerprint.clear();
        }
    } else if (name == QLatin1String("X and Y at one place")) {
        m.yAxisDelta = m.xAxisDelta;
        m.yFingerprint = fingerprint(c.image, XAt, Rows * 2, 2, true);
        m.yMin = 100;
        m.yMax = 600;
        m.yAxisMode = 0;
    } else if (name == QLatin1String("X inside Z") || name == QLatin1String("Y inside Z")) {
        const bool x = name.startsWith(QLatin1Char('X'));
        const int points = x ? Columns : Rows;
        (x ? m.xAxisDelta : m.yAxisDelta) = 0;
        (x ? m.xFingerprint : m.yFingerprint) = fingerprint(c.image, ZAt, points * 2, 2, true);
        const ZStatistics row = zStatistics(c.image, ZAt, points, 2, true);
        (x ? m.xMin : m.yMin) = row.min;
        (x ? m.xMax : m.yMax) = row.max;
        (x ? m.xAxisMode : m.yAxisMode) = 0;
    } else if (name == QLatin1String("X after Z in the reference")) {
        m.xAddress = m.zAddress + 0x200;
    } else if (name == QLatin1String("Y after Z in the reference")) {
        m.yAddress = m.zAddress + 0x200;
    } else if (name == QLatin1String("confidence under the threshold")) {
        manual();
        m.minConfidence = 99.5;
    }
    return c;
}

// A fingerprint or profile (entries 0..15) with its entries moved away from their values by
// units in all, each as far as it can go: the similarity to the original falls with each unit.
QByteArray degraded(QByteArray print, int units)
{
    for (char &v : print) {
        const int step = std::min(v < 8 ? 15 - v : int(v), units);
        v = char(v < 8 ? v + step : v - step);
        units -= step;
    }
    return print;
}

} // namespace

class TestMapValidation : public QObject
{
    Q_OBJECT

private slots:
    void readValueBounds_data()
    {
        testsupport::addColumns<qint64, int, bool, quint32>(
            {"address", "size", "littleEndian", "value"});
        QTest::newRow("byte") << qint64(1) << 1 << true << quint32(0x02);
        QTest::newRow("word LE") << qint64(0) << 2 << true << quint32(0x0201);
        QTest::newRow("word BE") << qint64(0) << 2 << false << quint32(0x0102);
        QTest::newRow("long LE") << qint64(0) << 4 << true << quint32(0x04030201);
        QTest::newRow("long BE ends at the end") << qint64(2) << 4 << false << quint32(0x03040506);
        QTest::newRow("one byte past the end") << qint64(3) << 4 << true << quint32(0);
        QTest::newRow("negative address") << qint64(-1) << 1 << true << quint32(0);
        QTest::newRow("size 3") << qint64(0) << 3 << true << quint32(0);
    }
    void readValueBounds()
    {
        QFETCH(qint64, address);
        QFETCH(int, size);
        QFETCH(bool, littleEndian);
        QFETCH(quint32, value);
        QCOMPARE(readValue(QByteArray("\x01\x02\x03\x04\x05\x06", 6), address, size, littleEndian),
                 value);
    }

    void fingerprintSamples_data()
    {
        testsupport::addColumns<QByteArray, int, QByteArray>({"block", "size", "expected"});
        QTest::newRow("constant block") << QByteArray(10, 'x') << 1 << QByteArray(10, 8);
        QTest::newRow("one value") << QByteArray(1, 'x') << 1 << QByteArray(1, 8);
        QByteArray ramp16;
        for (int i = 0; i < 16; ++i)
            ramp16.append(char(i * 3));
        QByteArray scaled;
        for (int i = 0; i < 16; ++i)
            scaled.append(char(i));
        QTest::newRow("ramp scaled to 0..15") << ramp16 << 1 << scaled;
        QTest::newRow("rounded to nearest")
            << QByteArray("\x00\x01\x02\x03", 4) << 1 << QByteArray("\x00\x05\x0a\x0f", 4);
        QTest::newRow("block shorter than one value") << QByteArray(1, 'x') << 2 << QByteArray();
    }
    void fingerprintSamples()
    {
        QFETCH(QByteArray, block);
        QFETCH(int, size);
        QTEST(fingerprint(block, 0, block.size(), size, true), "expected");
    }

    void fingerprintOfLongAndOutsideBlocks()
    {
        QByteArray bytes;
        for (int i = 0; i < 1000; ++i)
            bytes.append(char(i % 256));
        QCOMPARE(fingerprint(bytes, 0, 1000, 1, true).size(), 128);   // ends at the end
        QCOMPARE(fingerprint(bytes, 1, 1000, 1, true), QByteArray()); // one byte past the end
        QCOMPARE(fingerprint(bytes, -1, 10, 1, true), QByteArray());
        // Statistics start inside the image (and count what runs past its end as zeros).
        QCOMPARE(zStatistics(bytes, 999, 2, 1, true).zeroRatio, 0.5);
        QVERIFY(!zStatistics(bytes, 1000, 1, 1, true).valid);
    }

    void similarityScores_data()
    {
        testsupport::addColumns<QByteArray, QByteArray, double>({"a", "b", "score"});
        QTest::newRow("equal") << QByteArray("\x01\x02", 2) << QByteArray("\x01\x02", 2) << 100.0;
        QTest::newRow("lengths differ") << QByteArray(3, 8) << QByteArray(4, 8) << 0.0;
        QTest::newRow("empty") << QByteArray() << QByteArray() << 0.0;
        QTest::newRow("opposite") << QByteArray(4, 0) << QByteArray(4, 15) << 0.0;
        QTest::newRow("half") << QByteArray("\x00\x00", 2) << QByteArray("\x0f\x00", 2) << 50.0;
    }
    void similarityScores()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QTEST(similarity(a, b), "score");
    }

    void profilesOfMeans()
    {
        // 2 x 3, row means 2 and 12, column means 6, 7, 8.
        QByteArray bytes;
        for (int v : {1, 2, 3, 11, 12, 13})
            bytes.append(char(v));
        QCOMPARE(rowProfile(bytes, 0, 2, 3, 1, true), QByteArray("\x00\x0f", 2));
        QCOMPARE(columnProfile(bytes, 0, 2, 3, 1, true), QByteArray("\x00\x08\x0f", 3));
        QCOMPARE(rowProfile(QByteArray(6, 'a'), 0, 2, 3, 1, true), QByteArray(2, 8));
    }

    void windowProfilesAsOneByOne_data()
    {
        testsupport::addColumns<int, int, int, bool, qint64, qint64>(
            {"rows", "columns", "size", "littleEndian", "first", "last"});
        QTest::newRow("words LE") << 5 << 7 << 2 << true << qint64(10) << qint64(60);
        QTest::newRow("words BE") << 7 << 5 << 2 << false << qint64(10) << qint64(60);
        QTest::newRow("longs BE") << 3 << 4 << 4 << false << qint64(0) << qint64(96);
        QTest::newRow("bytes, one row") << 1 << 9 << 1 << true << qint64(3) << qint64(40);
        QTest::newRow("bytes, one column") << 9 << 1 << 1 << true << qint64(3) << qint64(40);
        QTest::newRow("one position") << 4 << 4 << 2 << true << qint64(8) << qint64(8);
        // gridProfiles counts the values past the end as zeros; so must the window.
        QTest::newRow("blocks run past the end")
            << 6 << 6 << 2 << true << qint64(500) << qint64(598);
    }
    void windowProfilesAsOneByOne()
    {
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(int, size);
        QFETCH(bool, littleEndian);
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QByteArray image(600, Qt::Uninitialized);
        quint32 state = 12345;
        for (char &byte : image) {
            state = state * 1103515245u + 12345u;
            byte = char(state >> 16);
        }
        const GridSpanProfiles window(image, first, last, rows, columns, size, littleEndian,
                                      1 << 20);
        for (qint64 at = first; at <= last; at += size) {
            QVERIFY2(window.covers(at), qPrintable(QString::number(at)));
            const GridProfiles expected
                = gridProfiles(image, at, rows, columns, size, littleEndian);
            const GridProfiles profiles = window.at(at);
            QCOMPARE(profiles.rows, expected.rows);
            QCOMPARE(profiles.columns, expected.columns);
        }
        const qint64 end = first + (last - first) / size * size;
        QVERIFY(!window.covers(first - size));
        QVERIFY(!window.covers(end + size));
        if (size > 1)
            QVERIFY(!window.covers(first + 1));
        QVERIFY(window.at(end + size).rows.isEmpty());
    }

    void windowProfilesRefused()
    {
        const QByteArray image(100, 'a');
        // 11 positions and a 4 x 5 block take 30 values.
        QVERIFY(GridSpanProfiles(image, 0, 20, 4, 5, 2, true, 30).covers(20));
        QVERIFY(!GridSpanProfiles(image, 0, 20, 4, 5, 2, true, 29).covers(0));
        QVERIFY(GridSpanProfiles(image, 0, 0, 10, 10, 1, true, 1000).covers(0));
        QVERIFY(!GridSpanProfiles(image, 0, 0, 10, 11, 1, true, 1000).covers(0)); // > the image
        QVERIFY(!GridSpanProfiles(image, 0, 0, 2, 2, 3, true, 1000).covers(0));
        QVERIFY(!GridSpanProfiles(image, 10, 9, 2, 2, 1, true, 1000).covers(10));
        QVERIFY(!GridSpanProfiles(image, -2, 4, 2, 2, 2, true, 1000).covers(0));
        QVERIFY(!GridSpanProfiles().covers(0));
    }

    void rawMatchAlignment_data()
    {
        testsupport::addColumns<QList<double>, QList<double>, double>(
            {"expected", "read", "match"});
        QTest::newRow("equal") << QList<double>{100, 200, 300} << QList<double>{100, 200, 300}
                               << 100.0;
        QTest::newRow("one read point more")
            << QList<double>{100, 200, 300} << QList<double>{100, 150, 200, 300} << 100.0;
        QTest::newRow("one expected point more")
            << QList<double>{100, 200, 250, 300} << QList<double>{100, 200, 300} << 100.0;
        QTest::newRow("two points more")
            << QList<double>{100, 200} << QList<double>{100, 200, 300, 400} << 0.0;
        QTest::newRow("all off") << QList<double>{100, 200} << QList<double>{500, 900} << 0.0;
    }
    void rawMatchAlignment()
    {
        QFETCH(QList<double>, expected);
        QFETCH(QList<double>, read);
        QTEST(rawMatch(expected, read, 5.0), "match");
    }
    void axisWithin96Bytes_data()
    {
        testsupport::addColumns<qint64, qint64>({"distance", "found"});
        QTest::newRow("96 bytes away") << qint64(96) << qint64(0x200 + 96);
        QTest::newRow("97 bytes away") << qint64(97) << qint64(-1);
    }
    void axisWithin96Bytes()
    {
        QFETCH(qint64, distance);
        QFETCH(qint64, found);
        QByteArray bytes(0x400, char(0xFF));
        for (int i = 0; i < 16; ++i)
            bytes[0x200 + distance + i] = char(100 + i);
        const QByteArray print = fingerprint(bytes, 0x200 + distance, 16, 1, true);
        const ZStatistics axis = zStatistics(bytes, 0x200 + distance, 16, 1, true);
        QCOMPARE(
            locateAxis(bytes, 0x200, 16, 1, print, axis.min, axis.max, 1, 0, 0, true, 384).address,
            found);
    }

    // An axis position counts only with a physical score of 50 (its span and centre against
    // the reference's 0..100) and, when raw values are given, a raw match of 70.
    void axisFloors_data()
    {
        // rawOff (raw values moved far off; -1: none given)
        testsupport::addColumns<int, int, bool>({"span", "rawOff", "found"});
        QTest::newRow("span 30: physical 50.3") << 30 << -1 << true;
        QTest::newRow("span 29: physical 49.6") << 29 << -1 << false;
        QTest::newRow("one raw value off: 93.75") << 100 << 1 << true;
        QTest::newRow("half the raw values off: 50") << 100 << 8 << false;
    }
    void axisFloors()
    {
        QFETCH(int, span);
        QFETCH(int, rawOff);
        QByteArray bytes(0x400, char(0xFF));
        QList<double> raw;
        for (int i = 0; i < 16; ++i) {
            bytes[0x200 + i] = char(std::lround(i * span / 15.0));
            raw << (i < rawOff ? 250.0 : uchar(bytes.at(0x200 + i)));
        }
        const AxisLocation location = locateAxis(bytes, 0x200, 16, 1, {}, 0, 100, 1, 0, 0, true, 0,
                                                 rawOff < 0 ? QList<double>() : raw);
        QTEST(location.address == 0x200, "found");
    }

    // An axis running the reference's way gains 15 on its rating, one running against it loses
    // 15, and with no direction expected it gains 8.
    void axisDirectionWeights()
    {
        QByteArray bytes(0x400, char(0xFF));
        for (int i = 0; i < 16; ++i)
            bytes[0x200 + i] = char(std::lround(i * 100 / 15.0));
        const auto score = [&bytes](int mode) {
            return locateAxis(bytes, 0x200, 16, 1, {}, 0, 100, 1, 0, mode, true, 0).score;
        };
        QVERIFY(qFuzzyCompare(score(1) - score(-1), 0.82 * 30));
        QVERIFY(qFuzzyCompare(score(1) - score(0), 0.82 * 7));
    }

    // An axis that is only placed, not checked, is placed only inside the image.
    void placedAxisInsideTheImage()
    {
        Case c = makeCase(QStringLiteral("accepted"));
        c.map.checkXAxis = false;
        c.map.xFingerprint.clear();
        for (const qint64 expected : {c.image.size() - 1, c.image.size()}) {
            c.map.xAxisDelta = expected - ZAt;
            const Evaluation ev = validateCandidate(c.image, c.map, ZAt, Candidate(), true);
            QCOMPARE(ev.xAddress, expected < c.image.size() ? expected : qint64(-1));
        }
    }

    void validationReasons_data()
    {
        QTest::addColumn<QString>("reason");
        const auto row = [](const char *name, const char *reason) {
            QTest::newRow(name) << QString::fromUtf8(reason);
        };
        row("accepted", "");
        row("negative Z", "geometria Z non valida");
        row("no columns", "geometria Z non valida");
        row("Z ends one byte past the image", "Z fuori firmware");
        row("mostly zeros", "statistiche Z incompatibili");
        row("span 4 %", "statistiche Z incompatibili");
        row("Z range", "range fisico Z fuori profilo manuale");
        row("Z fingerprint", "fingerprint Z bassa");
        row("row profile", "profilo righe Z basso");
        row("column profile", "profilo colonne Z basso");
        row("X values", "asse X incompatibile");
        row("X range", "range fisico X fuori profilo manuale");
        row("Y values", "asse Y incompatibile");
        row("Y range", "range fisico Y fuori profilo manuale");
        row("both axes run on by 2",
            "geometria 2D oltre +/-1: X e Y piu lunghi di almeno 2 elementi");
        row("axes run on by 1 and 2", "");
        row("axes run on by 2 and 1", "");
        row("both axes run on by 2, Y only placed", "");
        row("X and Y at one place", "assi X/Y sovrapposti");
        row("X inside Z", "Z sovrapposta all'asse X");
        row("Y inside Z", "Z sovrapposta all'asse Y");
        row("X after Z in the reference", "ordine X/Z incoerente");
        row("Y after Z in the reference", "ordine Y/Z incoerente");
        row("confidence under the threshold", "confidence finale bassa");
    }
    void validationReasons()
    {
        QFETCH(QString, reason);
        const Case c = makeCase(QString::fromUtf8(QTest::currentDataTag()));
        const Evaluation ev = validateCandidate(c.image, c.map, c.z, Candidate(), true);
        QCOMPARE(ev.reason, reason);
        QCOMPARE(ev.accepted, reason.isEmpty());
    }

    // The statistics rule's bounds: the share of zeros against the reference's, and the span
    // ratio (5 % and 20 times pass).
    void statisticsRuleBounds_data()
    {
        // zeros (of the 48 values); spanRatio (to the reference's span; 0: the reference's own)
        testsupport::addColumns<int, double, double, bool>(
            {"zeros", "referenceZeros", "spanRatio", "refused"});
        QTest::newRow("39 zeros, reference 0.34") << 39 << 0.34 << 0.0 << true;
        QTest::newRow("39 zeros, reference 0.35") << 39 << 0.35 << 0.0 << false;
        QTest::newRow("38 zeros, reference 0.34") << 38 << 0.34 << 0.0 << false;
        QTest::newRow("29 zeros, reference 0.14") << 29 << 0.14 << 0.0 << true;
        QTest::newRow("29 zeros, reference 0.15") << 29 << 0.15 << 0.0 << false;
        QTest::newRow("28 zeros, reference 0.14") << 28 << 0.14 << 0.0 << false;
        QTest::newRow("span 5 %") << 0 << 0.0 << 0.05 << false;
        QTest::newRow("span 20 times") << 0 << 0.0 << 20.0 << false;
        QTest::newRow("span 20.5 times") << 0 << 0.0 << 20.5 << true;
    }
    void statisticsRuleBounds()
    {
        QFETCH(int, zeros);
        QFETCH(double, spanRatio);
        Case c = makeCase(QStringLiteral("accepted"));
        putWords(c.image, ZAt, QList<int>(zeros, 0));
        QFETCH(double, referenceZeros);
        c.map.zZeroRatio = referenceZeros;
        if (spanRatio > 0) {
            const ZStatistics z = zStatistics(c.image, ZAt, Rows * Columns, 2, true);
            c.map.zMin = 0;
            c.map.zMax = (z.max - z.min) / spanRatio;
        }
        const Evaluation ev = validateCandidate(c.image, c.map, ZAt, Candidate(), true);
        QTEST(ev.reason == QLatin1String("statistiche Z incompatibili"), "refused");
    }

    // Each rule's threshold at each strictness level, and a manual profile's own (0 included):
    // at every step of a worsening score the rule refuses exactly when the score is under the
    // threshold, and both sides are met.
    void thresholdsPerLevel_data()
    {
        // level (-1: a manual profile's threshold)
        testsupport::addColumns<QString, int, double>({"reason", "level", "threshold"});
        const auto row = [](const char *reason, int level, double threshold) {
            const QString tag = QStringLiteral("%1, %2 %3")
                                    .arg(QString::fromUtf8(reason),
                                         level < 0 ? QStringLiteral("manual") : QStringLiteral("level"))
                                    .arg(level < 0 ? threshold : level);
            QTest::newRow(qPrintable(tag)) << QString::fromUtf8(reason) << level << threshold;
        };
        for (const char *reason :
             {"fingerprint Z bassa", "profilo righe Z basso", "profilo colonne Z basso",
              "asse X incompatibile", "confidence finale bassa"}) {
            const bool z = QByteArrayView(reason).startsWith("fingerprint");
            const bool profile = QByteArrayView(reason).startsWith("profilo");
            const bool axis = QByteArrayView(reason).startsWith("asse");
            const double normal = z ? 68 : profile ? 58 : axis ? 62 : 74;
            row(reason, 0, normal);
            row(reason, 2, z ? 60 : profile ? 48 : axis ? 52 : 68);
            row(reason, 3, z ? 68 : profile ? 58 : axis ? 70 : 80);
            row(reason, 4, normal);
            // Met exactly by a step (86.5: the whole axis 72 bytes off).
            row(reason, -1, profile ? 80 : axis ? 86.5 : 75);
        }
        row("fingerprint Z bassa", -1, 0);
    }
    void thresholdsPerLevel()
    {
        QFETCH(QString, reason);
        QFETCH(int, level);
        QFETCH(double, threshold);
        Case c = makeCase(QStringLiteral("accepted"));
        DriverMap &m = c.map;
        m.manualProfile = level < 0;
        m.matchLevel = std::max(level, 0);
        m.hasZRange = m.hasXRange = m.hasYRange = false;
        const bool z = reason.startsWith(QLatin1String("fingerprint"));
        const bool rows = reason.contains(QLatin1String("righe"));
        const bool columns = reason.contains(QLatin1String("colonne"));
        const bool axis = reason.startsWith(QLatin1String("asse"));
        (z         ? m.minZFingerprint
         : rows    ? m.minRowProfile
         : columns ? m.minColumnProfile
         : axis    ? m.minAxisScore
                   : m.minConfidence)
            = level < 0 ? threshold : -1;
        if (axis) // placed off, so that the distance leaves room below every threshold
            m.xAxisDelta -= level == 3 ? 48 : 72;
        if (!z && !rows && !columns && !axis) {
            // Under the profiles' and axes' part the confidence reaches every threshold.
            m.rowProfile.clear();
            m.columnProfile.clear();
            m.hasXAxis = m.hasYAxis = level == 3;
        }
        bool above = false, below = false;
        for (int step = 0; step <= 100; ++step) {
            DriverMap d = m;
            if (z)
                d.zFingerprint = degraded(m.zFingerprint, 4 * step);
            else if (rows)
                d.rowProfile = degraded(m.rowProfile, step);
            else if (columns)
                d.columnProfile = degraded(m.columnProfile, step);
            else if (axis)
                d.xFingerprint = degraded(m.xFingerprint, step);
            else
                d.zZeroRatio = 0.005 * step; // 0.1 off the confidence a step
            const Evaluation ev = validateCandidate(c.image, d, ZAt, Candidate(), true);
            const double score = z         ? ev.zfp
                                 : rows    ? ev.rowScore
                                 : columns ? ev.columnScore
                                 : axis    ? ev.xScore
                                           : ev.confidence;
            (score < threshold ? below : above) = true;
            QVERIFY2(
                (ev.reason == reason) == (score < threshold),
                qPrintable(
                    QStringLiteral("step %1: score %2, %3").arg(step).arg(score).arg(ev.reason)));
        }
        QVERIFY(above);
        QCOMPARE(below, threshold > 0);
    }

    // How far from where the reference puts it an axis is looked for: 96 bytes, 48 at level 3,
    // a manual profile's own window.
    void axisWindowPerLevel_data()
    {
        // level (-1: a manual profile's window); window (of the manual profile); shift (of the
        // expected place, before the axis)
        testsupport::addColumns<int, int, int, bool>({"level", "window", "shift", "found"});
        QTest::newRow("level 0, 60 bytes") << 0 << 0 << 60 << true;
        QTest::newRow("level 3, 48 bytes") << 3 << 0 << 48 << true;
        QTest::newRow("level 3, 50 bytes") << 3 << 0 << 50 << false;
        QTest::newRow("manual 20, 20 bytes") << -1 << 20 << 20 << true;
        QTest::newRow("manual 20, 22 bytes") << -1 << 20 << 22 << false;
        QTest::newRow("manual 0, 2 bytes") << -1 << 0 << 2 << false;
    }
    void axisWindowPerLevel()
    {
        QFETCH(int, level);
        QFETCH(int, window);
        QFETCH(int, shift);
        Case c = makeCase(QStringLiteral("accepted"));
        c.map.manualProfile = level < 0;
        c.map.hasZRange = c.map.hasXRange = c.map.hasYRange = false;
        c.map.axisWindow = window;
        c.map.matchLevel = std::max(level, 0);
        c.map.xAxisDelta -= shift;
        const Evaluation ev = validateCandidate(c.image, c.map, ZAt, Candidate(), true);
        QTEST(ev.xAddress == XAt, "found");
    }

    void spanScores_data()
    {
        // candidateSpan (against a reference span of 100)
        testsupport::addColumns<double, double>({"candidateSpan", "score"});
        QTest::newRow("8 %") << 8.0 << 8.0;
        QTest::newRow("7.9 %") << 7.9 << 0.0;
        QTest::newRow("12 times") << 1200.0 << 100.0 / 12;
        QTest::newRow("12.01 times") << 1201.0 << 0.0;
        QTest::newRow("flat") << 0.0 << 0.0;
    }
    void spanScores()
    {
        QFETCH(double, candidateSpan);
        QTEST(spanScore(50, 150, 10, 10 + candidateSpan), "score");
    }

    void spanBoundaryOfTheStatisticsRule()
    {
        // 6 % of the reference span passes the statistics (and fails later on its values).
        const Case c = makeCase(QStringLiteral("accepted"));
        const Evaluation ev = validateCandidate(c.image, c.map, 0x1600, Candidate(), true);
        QVERIFY(ev.reason != QLatin1String("statistiche Z incompatibili"));
    }

    void confidenceOfTheReference()
    {
        const Case c = makeCase(QStringLiteral("accepted"));
        const Evaluation plain = validateCandidate(c.image, c.map, ZAt, Candidate(), true);
        QVERIFY(plain.accepted);
        QCOMPARE(plain.xAddress, XAt);
        QCOMPARE(plain.yAddress, YAt);
        QCOMPARE(plain.zfp, 100.0);
        // Votes add 2 each, anchors up to 8 and axes up to 4.
        Candidate votes;
        votes.anchorVotes = 1;
        votes.axisVotes = 5;
        const Evaluation voted = validateCandidate(c.image, c.map, ZAt, votes, true);
        QCOMPARE(voted.confidence, std::min(100.0, plain.confidence + 2 + 4));
        // Without profiles the driver still gets 10 + 10 for them (instead of 0.15 x 100 each).
        DriverMap bare = c.map;
        bare.rowProfile.clear();
        bare.columnProfile.clear();
        const Evaluation noProfiles = validateCandidate(c.image, bare, ZAt, Candidate(), true);
        QVERIFY(qFuzzyCompare(noProfiles.confidence, plain.confidence - 10));
        // Up to 8 for anchors and 4 for axes, shown where the sum stays under 100.
        for (const int anchors : {4, 5}) {
            votes.anchorVotes = anchors;
            votes.axisVotes = 2;
            QVERIFY(qFuzzyCompare(validateCandidate(c.image, bare, ZAt, votes, true).confidence,
                                  noProfiles.confidence + 8 + 4));
        }
    }

    void fixedPositionScore()
    {
        const Case c = makeCase(QStringLiteral("accepted"));
        // 0.55 x 100 for Z, 0.1 x 100 per axis, 4 + 4 for the signatures.
        const Evaluation ev = evaluateAt(c.image, c.map, ZAt, false, false);
        QCOMPARE(ev.confidence, 83.0);
        QCOMPARE(evaluateAt(c.image, c.map, ZAt, true, false).confidence, 100.0);
        QCOMPARE(evaluateAt(c.image, c.map, c.image.size() - 2, true, true).accepted, false);
        // An axis is placed only when all of it lies inside the image.
        for (const qint64 end : {c.image.size(), c.image.size() + 2}) {
            DriverMap m = c.map;
            m.xAxisDelta = end - 2 * Columns - ZAt;
            QCOMPARE(evaluateAt(c.image, m, ZAt, false, false).xAddress,
                     end == c.image.size() ? end - 2 * Columns : qint64(-1));
        }
        // A big-endian copy of the map is still known by its fingerprint.
        QByteArray swapped = c.image;
        for (qint64 i = ZAt; i < ZAt + Rows * Columns * 2; i += 2)
            std::swap(swapped[i], swapped[i + 1]);
        QCOMPARE(evaluateAt(swapped, c.map, ZAt, false, false).zfp, 100.0);
    }
};

QTEST_GUILESS_MAIN(TestMapValidation)
#include "tst_mapvalidation.moc"
