#include "mapeditor/mapaddresstext.h"
#include "mapeditor/mapcellappearance.h"
#include "mapeditor/mapcelllayout.h"
#include "mapeditor/mapelementcodec.h"
#include "mapeditor/mapplotgeometry.h"
#include "mapeditor/mapvaluescaling.h"
#include "model/mapdefinition.h"

#include <QtTest>

#include <cmath>

class TestMapEditorLogic : public QObject
{
    Q_OBJECT

private slots:
    void storageOrder_data()
    {
        QTest::addColumn<bool>("columnMajor");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<qint64>("index");
        // A 3 x 4 grid.
        QTest::newRow("row-major origin") << false << 0 << 0 << qint64(0);
        QTest::newRow("row-major r1 c2") << false << 1 << 2 << qint64(6);
        QTest::newRow("column-major r1 c2") << true << 1 << 2 << qint64(7);
        QTest::newRow("column-major last") << true << 2 << 3 << qint64(11);
        QTest::newRow("outside row") << false << 3 << 0 << qint64(-1);
        QTest::newRow("negative column") << true << 0 << -1 << qint64(-1);
    }
    void storageOrder()
    {
        QFETCH(bool, columnMajor);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(qint64, index);
        QCOMPARE(MapCellLayout(3, 4, columnMajor).index(row, column), index);
    }

    void absurdGridsAreClamped_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<qint64>("imageLength");
        QTest::addColumn<int>("elementSize");
        QTest::addColumn<int>("expectedRows");
        QTest::addColumn<int>("expectedColumns");
        QTest::newRow("fits") << 12 << 16 << qint64(1024) << 2 << 12 << 16;
        QTest::newRow("too many rows") << 100000 << 16 << qint64(1024) << 2 << 32 << 16;
        QTest::newRow("huge both")
            << 2000000000 << 2000000000 << qint64(262144) << 2 << 1 << 131072;
        QTest::newRow("negative") << -5 << 16 << qint64(1024) << 2 << 0 << 16;
        QTest::newRow("empty image") << 4 << 4 << qint64(0) << 2 << 1 << 1;
    }
    void absurdGridsAreClamped()
    {
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(qint64, imageLength);
        QFETCH(int, elementSize);
        const MapCellLayout layout
            = MapCellLayout::clamped(rows, columns, false, imageLength, elementSize);
        QTEST(layout.rows(), "expectedRows");
        QTEST(layout.columns(), "expectedColumns");
        QVERIFY(layout.cellCount() <= qMax<qint64>(imageLength / elementSize, 1));
    }

    void conversions_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("offset");
        QTest::addColumn<bool>("reciprocal");
        QTest::addColumn<double>("entered");
        QTest::addColumn<int>("raw");
        QTest::newRow("zero factor") << 0.0 << 5.0 << false << 123.0 << 0;
        QTest::newRow("half away from zero") << 0.5 << -10.0 << false << 40.25 << 101;
        QTest::newRow("rounding down") << 0.5 << -10.0 << false << 40.2 << 100;
        QTest::newRow("negative clamps to 0") << 1.0 << 0.0 << false << -5.0 << 0;
        QTest::newRow("large clamps to 65535") << 1.0 << 0.0 << false << 70000.0 << 65535;
        QTest::newRow("reciprocal") << 1.0 << 0.0 << true << 0.25 << 4;
        QTest::newRow("reciprocal of zero stays zero") << 1.0 << 0.0 << true << 0.0 << 0;
        QTest::newRow("reciprocal with scaling") << 0.01 << 0.0 << true << 2.0 << 50;
    }
    void conversions()
    {
        QFETCH(double, factor);
        QFETCH(double, offset);
        QFETCH(bool, reciprocal);
        QFETCH(double, entered);
        QFETCH(int, raw);
        MapValueScaling s{factor, offset, 2, reciprocal};
        QCOMPARE(int(s.toRaw(entered)), raw);
    }

    void reciprocalDisplay()
    {
        MapValueScaling s{1.0, 0.0, 3, true};
        QCOMPARE(s.toPhysical(0), 0.0); // not an infinity
        QCOMPARE(s.toPhysical(4), 0.25);
        QCOMPARE(s.rawText(8), QStringLiteral("0.125"));
        MapValueScaling plain{0.5, -10.0, 0, false};
        QCOMPARE(plain.rawText(100), QStringLiteral("40"));
        // An 8-bit map never takes more than its element holds.
        QCOMPARE(int(plain.toRaw(1000.0, 255)), 255);
    }

    void percentTexts_data()
    {
        QTest::addColumn<double>("current");
        QTest::addColumn<double>("original");
        QTest::addColumn<QString>("text");
        QTest::newRow("both zero") << 0.0 << 0.0 << "0.0%";
        QTest::newRow("zero original") << 3.0 << 0.0 << "--";
        QTest::newRow("plus five") << 210.0 << 200.0 << "5.0%";
        QTest::newRow("minus") << 150.0 << 200.0 << "-25.0%";
        QTest::newRow("negative original") << -90.0 << -100.0 << "10.0%";
        QTest::newRow("tiny change is not -0.0") << 100.0 - 1e-8 << 100.0 << "0.0%";
    }
    void percentTexts()
    {
        QFETCH(double, current);
        QFETCH(double, original);
        QTEST(MapCellAppearance::percentText(current, original), "text");
    }

    void heatColours_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<double>("hue");
        QTest::newRow("flat range") << 5 << 5 << 5 << -1.0;
        QTest::newRow("minimum") << 0 << 0 << 100 << -1.0;
        QTest::newRow("at the 8 % threshold") << 8 << 0 << 100 << -1.0;
        QTest::newRow("maximum is red") << 100 << 0 << 100 << 0.0;
        QTest::newRow("middle") << 54 << 0 << 100 << 60.0 / 360.0;
    }
    void heatColours()
    {
        QFETCH(int, raw);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(double, hue);
        const double h
            = MapCellAppearance::heatHue(quint16(raw), quint16(minimum), quint16(maximum));
        if (hue < 0)
            QVERIFY(h < 0);
        else
            QVERIFY2(std::fabs(h - hue) < 1e-9, qPrintable(QString::number(h)));
    }

    void blockOfOneRow()
    {
        // Cells 2 and 7 of a row-major 1 x 10 map: one block of six elements from cell 2.
        QList<quint16> values;
        for (int i = 0; i < 10; ++i)
            values.append(quint16(0x0100 + i));
        const QByteArray image(0x1000, '\0');
        const auto block
            = MapElementCodec::buildBlock({7, 2}, values, 0x200, Organisation16BitLoHi, image);
        QCOMPARE(block.startOffset, 0x200 + 2 * 2);
        QCOMPARE(block.data.size(), 12);
        QCOMPARE(block.data.left(4), QByteArray::fromHex("02010301"));
        const auto bigEndian
            = MapElementCodec::buildBlock({2, 7}, values, 0x200, Organisation16BitHiLo, image);
        QCOMPARE(bigEndian.data.left(2), QByteArray::fromHex("0102"));
    }

    void blockEdgeCases()
    {
        const QList<quint16> values = {1, 2, 3};
        const QByteArray image(64, '\0');
        QVERIFY(MapElementCodec::buildBlock({}, values, 0, 1, image).isEmpty());
        QVERIFY(MapElementCodec::buildBlock({5, -1}, values, 0, 1, image).isEmpty());
        QVERIFY(MapElementCodec::buildBlock({1}, values, -1, 1, image).isEmpty());
        QVERIFY(MapElementCodec::buildBlock({1}, values, 0x7FFFFFFE, 1, image).isEmpty());
    }

    void elementRules_data()
    {
        QTest::addColumn<int>("organisation");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QByteArray>("bytes");
        // The image around the element holds AA BB CC DD.
        QTest::newRow("8 bit") << 0 << 0x12 << QByteArray::fromHex("12");
        QTest::newRow("8 bit clamps") << 0 << 0x1234 << QByteArray::fromHex("ff");
        QTest::newRow("LoHi") << 1 << 0x1234 << QByteArray::fromHex("3412");
        QTest::newRow("HiLo") << 2 << 0x1234 << QByteArray::fromHex("1234");
        QTest::newRow("32 bit keeps the high half")
            << 3 << 0x1234 << QByteArray::fromHex("3412ccdd");
    }
    void elementRules()
    {
        QFETCH(int, organisation);
        QFETCH(int, raw);
        QFETCH(QByteArray, bytes);
        const QByteArray image = QByteArray::fromHex("aabbccdd");
        const QByteArray encoded = MapElementCodec::encode(quint16(raw), organisation, image, 0);
        QCOMPARE(encoded.toHex(), bytes.toHex());
        // Read back, the element gives what the window shows.
        QByteArray written = image;
        written.replace(0, encoded.size(), encoded);
        const quint16 back = decodeElement(reinterpret_cast<const uint8_t *>(written.constData()),
                                           written.size(), 0, organisation);
        QCOMPARE(int(back), int(MapElementCodec::clampToElement(quint32(raw), organisation)));
    }

    void blockOf32BitElements()
    {
        // Elements step by 4 bytes, and so does the block: two elements, 8 bytes.
        const QByteArray image = QByteArray::fromHex("0100aaaa0200bbbb0300cccc");
        const QList<quint16> values = {1, 0x0202, 0x0303};
        const auto block = MapElementCodec::buildBlock({1, 2}, values, 0, 3, image);
        QCOMPARE(block.startOffset, 4);
        QCOMPARE(block.data.toHex(), QByteArray("0202bbbb0303cccc"));
    }

    void steppingSaturates_data()
    {
        QTest::addColumn<int>("organisation");
        QTest::addColumn<int>("raw");
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("expected");
        QTest::newRow("up") << 1 << 10 << 1 << 11;
        QTest::newRow("down at zero") << 1 << 0 << -1 << 0;
        QTest::newRow("up at 65535") << 1 << 65535 << 1 << 65535;
        QTest::newRow("8 bit up at 255") << 0 << 255 << 1 << 255;
        QTest::newRow("32 bit low half up") << 3 << 65534 << 1 << 65535;
    }
    void steppingSaturates()
    {
        QFETCH(int, organisation);
        QFETCH(int, raw);
        QFETCH(int, delta);
        QTEST(int(MapElementCodec::stepped(quint16(raw), delta, organisation)), "expected");
    }

    void clickVersusDrag_data()
    {
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<bool>("drag");
        QTest::newRow("3 right") << QPoint(103, 100) << false;
        QTest::newRow("3 diagonal") << QPoint(97, 103) << false;
        QTest::newRow("4 right") << QPoint(104, 100) << true;
        QTest::newRow("4 up") << QPoint(100, 96) << true;
    }
    void clickVersusDrag()
    {
        QFETCH(QPoint, to);
        QTEST(MapPlotGeometry::isDragMovement(QPoint(100, 100), to), "drag");
    }

    void valueRanges()
    {
        const PlotValueRange empty = PlotValueRange::of({});
        QCOMPARE(empty.minimum, 0.0);
        QCOMPARE(empty.maximum, 1.0);
        const PlotValueRange flat = PlotValueRange::of({7.0, 7.0});
        QCOMPARE(flat.maximum, 8.0);
        const PlotValueRange zeros = PlotValueRange::of({0.0, 0.0});
        QCOMPARE(zeros.maximum, 1.0);
        const PlotValueRange normal = PlotValueRange::of({3.0, -2.0, 5.0});
        QCOMPARE(normal.minimum, -2.0);
        QCOMPARE(normal.maximum, 5.0);
    }

    void rotations_data()
    {
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QPointF>("expected");
        // (u, v) = (0.25, 0.75)
        QTest::newRow("0") << 0 << QPointF(0.25, 0.75);
        QTest::newRow("1") << 1 << QPointF(0.75, 0.75);
        QTest::newRow("2") << 2 << QPointF(0.75, 0.25);
        QTest::newRow("3") << 3 << QPointF(0.25, 0.25);
        QTest::newRow("5 is 1") << 5 << QPointF(0.75, 0.75);
    }
    void rotations()
    {
        QFETCH(int, rotation);
        QFETCH(QPointF, expected);
        QCOMPARE(MapPlotGeometry::rotated(0.25, 0.75, rotation), expected);
    }

    void rotationTwoMirrorsTheGrid()
    {
        const QRectF area(0, 0, 800, 500);
        const QList<double> xs = {0, 10, 20};
        const QList<double> ys = {0, 5};
        const QList<double> zs = {1, 2, 3, 4, 5, 6};
        const PlotValueRange z = PlotValueRange::of(zs);
        const SurfaceGrid turned(2, 3, xs, ys, {3, 3, 3, 3, 3, 3}, z, 2, 0, area);
        const SurfaceGrid straight(2, 3, xs, ys, {3, 3, 3, 3, 3, 3}, z, 0, 0, area);
        QCOMPARE(turned.point(0, 0), straight.point(1, 2));
        QCOMPARE(turned.point(1, 2), straight.point(0, 0));
    }

    void tiltFactors()
    {
        // Tilt changes the depth factor (0.28 + 0.025 t) and the height factor (0.48 + 0.035 t).
        const QRectF unit(0, 0, 1, 1);
        auto depth = [&](int tilt) {
            return MapPlotGeometry::surfacePoint(0, 0, 0, 0, tilt, unit).y()
                   - MapPlotGeometry::surfacePoint(0, 1, 0, 0, tilt, unit).y();
        };
        auto height = [&](int tilt) {
            return MapPlotGeometry::surfacePoint(0, 0, 0, 0, tilt, unit).y()
                   - MapPlotGeometry::surfacePoint(0, 0, 1, 0, tilt, unit).y();
        };
        QVERIFY(std::fabs(depth(3) - 0.355) < 1e-12);
        QVERIFY(std::fabs(depth(-3) - 0.205) < 1e-12);
        QVERIFY(std::fabs(height(3) - 0.585) < 1e-12);
        QVERIFY(std::fabs(height(-3) - 0.375) < 1e-12);
        const QPointF p = MapPlotGeometry::surfacePoint(1, 0, 0, 0, 0, QRectF(10, 20, 100, 100));
        QCOMPARE(p, QPointF(10 + 76, 20 + 88));
    }

    void surfaceHitTests()
    {
        const QRectF area(42, 28, 824, 530);
        const QList<double> zs = {0, 1, 2, 3, 4, 5, 6, 7, 8};
        const SurfaceGrid grid(3, 3, {0, 1, 2}, {0, 1, 2}, zs, PlotValueRange::of(zs), 0, 0, area);
        // On a grid point: that cell.
        QCOMPARE(grid.hitTest(grid.point(1, 2)), 1 * 3 + 2);
        // Inside a quad, nearest corner wins.
        const QPointF nearCorner = grid.point(2, 0) * 0.9 + grid.point(1, 1) * 0.1;
        QCOMPARE(grid.hitTest(nearCorner), 2 * 3 + 0);
        // Far from the surface: nothing.
        QCOMPARE(grid.hitTest(QPointF(-500, -500)), -1);
        // Outside every quad but within 42 pixels of a point.
        const QPointF outside = grid.point(0, 0) + QPointF(0, 30);
        QVERIFY(!MapPlotGeometry::polygonContains(nullptr, 0, outside));
        QCOMPARE(grid.hitTest(outside), 0);
    }

    void linePlotHitTests()
    {
        const QRectF area(62, 28, 800, 400);
        const PlotValueRange range = PlotValueRange::of({0, 100});
        QList<QPointF> points;
        for (int i = 0; i < 5; ++i)
            points.append(MapPlotGeometry::linePlotPoint(i, 5, i * 25.0, range, area));
        QCOMPARE(points.at(0), QPointF(62, 428));
        QCOMPARE(points.at(4), QPointF(862, 28));
        QCOMPARE(MapPlotGeometry::nearestPoint(points, points.at(2) + QPointF(25, 0), 676), 2);
        QCOMPARE(MapPlotGeometry::nearestPoint(points, points.at(2) + QPointF(27, 0), 676), -1);
        // One value alone sits at the left edge.
        QCOMPARE(MapPlotGeometry::linePlotPoint(0, 1, 5, range, area).x(), 62.0);
        const QRectF band = MapPlotGeometry::selectionRectangle(QRectF(40, 0, 250, 500), area);
        QCOMPARE(band, QRectF(62, 28, 228, 400));
        QCOMPARE(MapPlotGeometry::pointsInside(points, band), QList<int>({0, 1}));
        // Narrower than 2 pixels once clipped: nothing.
        QVERIFY(MapPlotGeometry::selectionRectangle(QRectF(10, 0, 53, 500), area).isEmpty());
    }

    void heightShades_data()
    {
        QTest::addColumn<double>("sum");
        QTest::addColumn<int>("shade");
        QTest::newRow("bottom") << 0.0 << 0;
        QTest::newRow("top") << 4.0 << 70;
        QTest::newRow("half") << 2.0 << 35;
        QTest::newRow("below the range") << -3.0 << 0;
    }
    void heightShades()
    {
        QFETCH(double, sum);
        QTEST(MapPlotGeometry::heightShade(sum, 1.0), "shade");
    }

    void hexAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("offset");
        QTest::newRow("1A2B") << "1A2B" << true << 6699;
        QTest::newRow("lower case, blanks") << " 00ff " << true << 255;
        QTest::newRow("prefix") << "0x10000" << true << 65536;
        QTest::newRow("not assigned") << "Non assegnato" << false << -7;
        QTest::newRow("empty") << "" << false << -7;
        QTest::newRow("negative") << "-10" << false << -7;
        QTest::newRow("past 31 bits") << "80000000" << false << -7;
        QTest::newRow("past 64 bits") << "1FFFFFFFFFFFFFFFF" << false << -7;
    }
    void hexAddresses()
    {
        QFETCH(QString, text);
        int offset = -7;
        QTEST(MapAddressText::parseAddress(text, &offset), "ok");
        QTEST(offset, "offset");
    }

    void mapTexts()
    {
        MapDefinition d;
        d.rows = 8;
        d.columns = 16;
        d.mapOffset = 0x10000;
        d.name = QStringLiteral("<b>Coppia</b> & co");
        d.unit = QStringLiteral("Nm");
        QCOMPARE(MapAddressText::sizeText(d), QStringLiteral("8 x 16"));
        QCOMPARE(MapAddressText::axisAddress(-1), QStringLiteral("Non assegnato"));
        QCOMPARE(MapAddressText::axisAddress(0xABC), QStringLiteral("00000ABC"));
        QCOMPARE(MapAddressText::prefixedAddress(-1), QStringLiteral("-"));
        const QString card = MapAddressText::hoverCard(d);
        QVERIFY(card.startsWith(QStringLiteral("<b>Indirizzo Z:</b> 0x00010000<br><b>Nome:</b> "
                                               "&lt;b&gt;Coppia&lt;/b&gt; &amp; co<br>")));
        QVERIFY(card.endsWith(QStringLiteral("<b>Unità:</b> Nm<br><b>COMPU_METHOD:</b> ")));
    }
};

QTEST_GUILESS_MAIN(TestMapEditorLogic)
#include "tst_mapeditorlogic.moc"
