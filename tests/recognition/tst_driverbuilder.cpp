#include "model/mappack.h"
#include "recognition/driverbuilder.h"
#include "recognition/mapvalidation.h"

#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

using testsupport::example;

// The position a neighbourhood search settles on: the accepted one of highest confidence,
// the first on ties, as the scanner visits them.
qint64 bestAround(const QByteArray &image, const DriverMap &map, qint64 centre, qint64 radius)
{
    qint64 best = -1;
    double confidence = -1;
    const int step = std::max(map.zElementSize, 1);
    for (qint64 p = std::max<qint64>(0, centre - radius); p <= centre + radius; p += step) {
        const Evaluation ev = validateCandidate(image, map, p, Candidate(), map.littleEndian());
        if (ev.accepted && ev.confidence > confidence) {
            best = p;
            confidence = ev.confidence;
        }
    }
    return best;
}

MapDefinition ramp(int rows, int columns, int offset)
{
    return testsupport::mapGrid(offset, rows, columns, QStringLiteral("Rampa"), true);
}

QByteArray rampImage()
{
    QByteArray image(0x400, char(0xFF));
    for (int i = 0; i < 64; ++i) {
        image[0x100 + 2 * i] = char(i * 7);
        image[0x101 + 2 * i] = char(i / 4);
        image[0x380 + 2 * i] = char(i);
    }
    return image;
}

} // namespace

class TestDriverBuilder : public QObject
{
    Q_OBJECT

private:
    DriverBuildResult m_demo;
    QByteArray m_image;

private slots:
    void initTestCase()
    {
        m_image = testsupport::readFile(example("tessa-demo.bin"));
        MapPackData pack;
        QVERIFY(readMapPack(example("tessa-demo.tvp"), pack));
        QVERIFY(isCompatible(pack, m_image));
        m_demo = buildDriver(m_image, pack.maps);
        QCOMPARE(m_demo.driver.maps.size(), pack.maps.size());
        QVERIFY(m_demo.skipped.isEmpty());
    }

    void findsEveryMapAtItsPlace()
    {
        for (const DriverMap &map : std::as_const(m_demo.driver.maps)) {
            const Evaluation ev
                = validateCandidate(m_image, map, map.zAddress, Candidate(), map.littleEndian());
            QVERIFY2(ev.accepted, qPrintable(map.mapKey + QLatin1Char(' ') + ev.reason));
            QVERIFY2(ev.confidence >= 85, qPrintable(map.mapKey));
            QCOMPARE(ev.xAddress, map.xAddress);
            QCOMPARE(ev.yAddress, map.yAddress);
            QCOMPARE(bestAround(m_image, map, map.zAddress, 2304), map.zAddress);
            QVERIFY(evaluateAt(m_image, map, map.zAddress, false, false).confidence >= 70);
        }
    }

    void anchorsVoteForTheirMap()
    {
        int anchors = 0;
        for (const DriverMap &map : std::as_const(m_demo.driver.maps)) {
            QList<DriverAnchor> all = map.anchors;
            if (map.useXAnchor)
                all.append({map.xAnchorSignature, map.xAnchorDelta, map.xAnchorDivisor, 0});
            if (map.useYAnchor)
                all.append({map.yAnchorSignature, map.yAnchorDelta, map.yAnchorDivisor, 0});
            for (const DriverAnchor &anchor : std::as_const(all)) {
                const QList<qint64> hits = findAll(m_image, anchor.pattern, 2);
                QCOMPARE(hits.size(), 1);
                QCOMPARE(hits.first() + anchor.delta, map.zAddress);
                ++anchors;
            }
        }
        QVERIFY(anchors > 0);
    }

    // The second demo image: the same maps moved and their values changed by a few per cent.
    void findsTheMovedMapsOfAnotherVersion()
    {
        const QByteArray other = testsupport::readFile(example("tessa-demo-v2.bin"));
        QCOMPARE(other.size(), m_image.size());
        const QList<qint64> shifts{0x140, 0x1C0, -0x120, 0x260};
        for (int i = 0; i < shifts.size(); ++i) {
            const DriverMap &map = m_demo.driver.maps.at(i);
            QCOMPARE(bestAround(other, map, map.zAddress, 2304), map.zAddress + shifts.at(i));
        }
    }

    void leavesOutWhatCannotBeFound_data()
    {
        testsupport::addColumns<MapDefinition, bool>({"map", "built"});
        QTest::newRow("ends at the end of the image") << ramp(1, 64, 0x400 - 128) << true;
        QTest::newRow("ends one byte past") << ramp(1, 64, 0x400 - 127) << false;
        QTest::newRow("no offset") << ramp(8, 8, -1) << false;
        QTest::newRow("no rows") << ramp(0, 8, 0x100) << false;
        MapDefinition odd = ramp(8, 8, 0x100);
        odd.zElementSize = 3;
        QTest::newRow("3-byte elements") << odd << false;
        QTest::newRow("all values equal") << ramp(4, 4, 0x300) << true;
        QTest::newRow("a single value") << ramp(1, 1, 0x300) << true;
        QTest::newRow("two values differ") << ramp(1, 2, 0x17E) << true;
    }
    void leavesOutWhatCannotBeFound()
    {
        QFETCH(MapDefinition, map);
        QFETCH(bool, built);
        const DriverBuildResult result = buildDriver(rampImage(), {map});
        QCOMPARE(result.driver.maps.size(), built ? 1 : 0);
        QCOMPARE(result.skipped.size(), built ? 0 : 1);
    }

    void columnMajorMapsAreSeenTransposed()
    {
        MapDefinition map = ramp(4, 16, 0x100);
        map.zColumnMajor = true;
        map.yAxisSource = 1;
        map.yAxisOffset = 0x200;
        map.yElementSize = 1;
        QByteArray image = rampImage();
        for (int i = 0; i < 4; ++i)
            image[0x200 + i] = char(10 * (i + 1));
        DriverMap built;
        QVERIFY(buildDriverMap(image, map, built));
        QCOMPARE(built.rows, 16);
        QCOMPARE(built.columns, 4);
        // The axis of the stored rows' length (the definition's Y) is the driver's X.
        QVERIFY(built.hasXAxis && !built.hasYAxis);
        QCOMPARE(built.xAddress, 0x200);
        QVERIFY(validateCandidate(image, built, 0x100, Candidate(), true).accepted);
    }

    void namesOfACreatedDriver_data()
    {
        testsupport::addColumns<QString, QString>({"chosen", "saved"});
        using testsupport::addRow;
        addRow("no suffix", {"/d/edc", "/d/edc.ecudrv"});
        addRow("suffix", {"/d/a.ecudrv", "/d/a.ecudrv"});
        addRow("suffix in capitals", {"/d/A.ECUDRV", "/d/A.ECUDRV"});
        addRow("suffix not at the end", {"/d/a.ecudrv.old", "/d/a.ecudrv.old.ecudrv"});
    }

    void namesOfACreatedDriver()
    {
        QFETCH(QString, chosen);
        QTEST(withDriverSuffix(chosen), "saved");
        QCOMPARE(proposedDriverFileName(QStringLiteral("ori.v1.bin")),
                 QStringLiteral("ori.v1.ecudrv"));
    }
};

QTEST_GUILESS_MAIN(TestDriverBuilder)
#include "tst_driverbuilder.moc"
