#include "model/mapdefinition.h"

#include <QtTest>

#include "testsupport.h"

// A map or axis that ends with the image is read whole; one byte further it is not read at all.
// Only how many values come back is looked at, whatever type they are read as; the places of
// cells and axes are offsets, whatever the values' type.
class TestMapReadBounds : public QObject
{
    Q_OBJECT
private slots:
    void bounds_data()
    {
        // axis (the X axis, else the map)
        testsupport::addColumns<bool, int, qint64, int, int, int>(
            {"axis", "elementSize", "offset", "rows", "columns", "values"});
        // The image is 64 bytes.
        QTest::newRow("map ends at the end") << false << 2 << qint64(52) << 2 << 3 << 6;
        QTest::newRow("map one byte past") << false << 2 << qint64(53) << 2 << 3 << 0;
        QTest::newRow("8-bit map over the whole image") << false << 1 << qint64(0) << 8 << 8 << 64;
        QTest::newRow("axis ends at the end") << true << 2 << qint64(58) << 1 << 3 << 3;
        QTest::newRow("axis one byte past") << true << 2 << qint64(59) << 1 << 3 << 0;
    }

    void bounds()
    {
        QFETCH(bool, axis);
        QFETCH(int, elementSize);
        QFETCH(qint64, offset);
        const QByteArray image(64, '\x11');
        const auto *bytes = reinterpret_cast<const uint8_t *>(image.constData());
        MapDefinition d;
        QFETCH(int, rows);
        QFETCH(int, columns);
        d.rows = rows;
        d.columns = columns;
        if (axis) {
            d.xAxisSource = 1;
            d.xAxisOffset = int(offset);
            d.xElementSize = elementSize;
            d.xDataType = organisationFor(elementSize, true);
            QTEST(int(readXAxis(d, bytes, image.size()).size()), "values");
        } else {
            d.mapOffset = int(offset);
            d.zElementSize = elementSize;
            d.dataType = organisationFor(elementSize, true);
            QTEST(int(readMapValues(d, bytes, image.size()).size()), "values");
        }
    }

    // Where the cells and axes of a map that is not square lie, and the digits a value shows.
    void geometry()
    {
        MapDefinition d;
        d.rows = 2;
        d.columns = 3;
        d.zColumnMajor = true;
        QCOMPARE(cellIndex(d, 1, 1), qint64(3));
        QCOMPARE(cellIndex(d, 0, 2), qint64(4));
        d.zColumnMajor = false;
        QCOMPARE(cellIndex(d, 1, 1), qint64(4));
        d.xAxisOffset = 100;
        d.yAxisOffset = 200;
        d.xElementSize = d.yElementSize = 2;
        const MapRanges ranges = mapRanges(d);
        QCOMPARE(ranges.xAxis.end, qint64(105));
        QCOMPARE(ranges.yAxis.end, qint64(203));
        // At most 15 digits after the point.
        QCOMPARE(formatPhysical(1, 15), QStringLiteral("1.") + QString(15, u'0'));
        QCOMPARE(formatPhysical(1, 16), formatPhysical(1, 15));
    }
};

QTEST_GUILESS_MAIN(TestMapReadBounds)
#include "tst_mapreadbounds.moc"
