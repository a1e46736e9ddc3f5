#include "projects/mapcomparison.h"

#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

// A 4 x 4 map of 16-bit LoHi words at 0x100 with its 4-point X axis at 0xF0, factor 0.5.
MapDefinition map16()
{
    MapDefinition d = testsupport::mapGrid(0x100, 4, 4, QStringLiteral("Anticipo"));
    d.xAxisOffset = 0xF0;
    d.yAxisSource = 0;
    d.factor = 0.5;
    d.decimals = 1;
    return d;
}

QByteArray baseImage()
{
    QByteArray image(0x400, 0);
    for (int k = 0; k < 16; ++k)
        image[0x100 + 2 * k] = char(20 + k); // raw 20..35
    return image;
}

MapComparison compare(const QByteArray &ori, const QByteArray &mod,
                      const QList<MapDefinition> &maps = {map16()})
{
    return compareMaps(maps, reinterpret_cast<const uint8_t *>(ori.constData()),
                       reinterpret_cast<const uint8_t *>(mod.constData()), ori.size());
}

} // namespace

class TestMapComparison : public QObject
{
    Q_OBJECT

private slots:
    void changes_data()
    {
        QTest::addColumn<QList<int>>("offsets"); // bytes set to 0x50 in MOD
        // changed maps, changed cells, axes changed, outside bytes, outside blocks
        testsupport::addColumns<QList<qint64>, double, double>(
            {"expected", "maxAbsolute", "maxPercent"});
        QTest::newRow("nothing") << QList<int>{} << QList<qint64>{0, 0, 0, 0, 0} << 0.0 << 0.0;
        // raw 20 -> 80: 30 physical, 300 % of 10.
        QTest::newRow("one cell") << QList<int>{0x100} << QList<qint64>{1, 1, 0, 0, 0} << 30.0
                                  << 300.0;
        QTest::newRow("last byte of the last cell")
            << QList<int>{0x11F} << QList<qint64>{1, 1, 0, 0, 0} << 10240.0 << 58514.28571428571;
        QTest::newRow("axis only") << QList<int>{0xF6} << QList<qint64>{1, 0, 1, 0, 0} << 0.0
                                   << 0.0;
        // Just before the axis and just after the data are outside; two separate blocks.
        QTest::newRow("either side of the map")
            << QList<int>{0xEF, 0x120, 0x121} << QList<qint64>{0, 0, 0, 3, 2} << 0.0 << 0.0;
    }

    void changes()
    {
        QFETCH(QList<int>, offsets);
        QFETCH(QList<qint64>, expected);
        const QByteArray ori = baseImage();
        QByteArray mod = ori;
        for (int o : offsets)
            mod[o] = char(0x50);
        const MapComparison c = compare(ori, mod);
        const MapChange first = c.changedMaps.value(0);
        QCOMPARE((QList<qint64>{c.changedMaps.size(), first.changedCells, first.axesChanged,
                                c.outsideBytes, c.outsideBlocks}),
                 expected);
        QTEST(first.maxAbsoluteChange, "maxAbsolute");
        QTEST(first.maxPercentChange, "maxPercent");
        QCOMPARE(c.isMapChanged(0), expected.at(0) > 0);
    }

    // A cell whose original is 0 has no percentage; a map the image cannot hold covers nothing.
    void zeroOriginalAndMapsOutsideTheImage()
    {
        QByteArray ori = baseImage();
        ori[0x100] = 0;
        QByteArray mod = ori;
        mod[0x100] = 4;
        mod[0x3FF] = 1;
        MapDefinition beyond = map16();
        beyond.name = QStringLiteral("Oltre");
        beyond.mapOffset = 0x3F0; // 32 bytes from 0x3F0 pass the end
        const MapComparison c = compare(ori, mod, {map16(), beyond});
        QCOMPARE(c.changedMaps.size(), 1);
        QCOMPARE(c.changedMaps.at(0).maxAbsoluteChange, 2.0);
        QCOMPARE(c.changedMaps.at(0).maxPercentChange, 0.0);
        QCOMPARE(c.outsideBytes, 1);
        QCOMPARE(c.outsideRanges.value(0), (ByteRange{0x3FF, 0x3FF}));
        const QJsonObject json = mapComparisonJson(c);
        QCOMPARE(json[QStringLiteral("maps")][0][QStringLiteral("name")].toString(),
                 QStringLiteral("Anticipo"));
        QCOMPARE(json[QStringLiteral("outsideMaps")][QStringLiteral("blocks")].toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMapComparison)
#include "tst_mapcomparison.moc"
