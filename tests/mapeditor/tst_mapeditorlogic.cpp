#include "mapeditor/mapaddresstext.h"
#include "mapeditor/mapcellappearance.h"
#include "mapeditor/mapcellentry.h"
#include "mapeditor/mapcelllayout.h"
#include "mapeditor/mapelementcodec.h"
#include "mapeditor/mapplotgeometry.h"
#include "mapeditor/mapvaluescaling.h"
#include "model/mapdefinition.h"

#include <QtTest>

#include "testsupport.h"

#include <cmath>
#include <limits>

class TestMapEditorLogic : public QObject
{
    Q_OBJECT

private slots:
    void storageOrder_data()
    {
        testsupport::addColumns<bool, int, int, qint64>({"columnMajor", "row", "column", "index"});
        // A 3 x 4 grid.
        QTest::newRow("row-major r1 c2") << false << 1 << 2 << qint64(6);
        QTest::newRow("column-major r1 c2") << true << 1 << 2 << qint64(7);
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
        testsupport::addColumns<int, int, qint64, int, int, int>(
            {"rows", "columns", "imageLength", "elementSize", "expectedRows", "expectedColumns"});
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
        testsupport::addColumns<double, double, bool, double, int>(
            {"factor", "offset", "reciprocal", "entered", "raw"});
        // Rounding and limits are clampRaw's (tst_mapdefinition); here what toRaw adds to it.
        QTest::newRow("half away from zero") << 0.5 << -10.0 << false << 40.25 << 101;
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
        MapValueScaling s{factor, offset, 2, reciprocal};
        QTEST(int(s.toRaw(entered, ValueType())), "raw");
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
        QCOMPARE(plain.toRaw(1000.0, {Organisation8Bit, true, ValueUnsigned}), 255.0);
        // A signed one keeps the sign, down to its own limit.
        QCOMPARE(plain.toRaw(-12.5, {Organisation8Bit, true, ValueSigned}), -5.0);
        QCOMPARE(plain.toRaw(-1000.0, {Organisation8Bit, true, ValueSigned}), -128.0);
    }

    void percentTexts_data()
    {
        testsupport::addColumns<double, double, QString>({"current", "original", "text"});
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

    void otherSideTexts_data()
    {
        testsupport::addColumns<int, double, double, QString>({"view", "own", "other", "text"});
        QTest::newRow("none") << int(MapCellAppearance::OtherSideView::None) << 2.0 << 1.0 << "";
        QTest::newRow("equal") << int(MapCellAppearance::OtherSideView::Difference) << 1.5 << 1.5 << "[=]";
        QTest::newRow("other value") << int(MapCellAppearance::OtherSideView::Values) << 2.0 << 1.25 << "[1.3]";
        QTest::newRow("rise") << int(MapCellAppearance::OtherSideView::Difference) << 2.0 << 1.25 << "[+0.8]";
        QTest::newRow("fall") << int(MapCellAppearance::OtherSideView::Difference) << 1.0 << 1.5 << "[-0.5]";
        QTest::newRow("percent rise") << int(MapCellAppearance::OtherSideView::Percent) << 110.0 << 100.0 << "[+10.0%]";
        QTest::newRow("percent fall") << int(MapCellAppearance::OtherSideView::Percent) << 90.0 << 100.0 << "[-10.0%]";
        QTest::newRow("percent of zero") << int(MapCellAppearance::OtherSideView::Percent) << 5.0 << 0.0 << "[--]";
    }
    void otherSideTexts()
    {
        QFETCH(int, view);
        QFETCH(double, own);
        QFETCH(double, other);
        QTEST(MapCellAppearance::otherSideText(MapCellAppearance::OtherSideView(view), own, other, 1), "text");
    }

    void heatColours_data()
    {
        testsupport::addColumns<int, int, int, double>({"raw", "minimum", "maximum", "hue"});
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

    void blocks_data()
    {
        // choice (index of valueTypeChoices()); start (-1: no block)
        testsupport::addColumns<QList<qint64>, int, int, int, QByteArray>(
            {"cells", "mapOffset", "choice", "start", "data"});
        // Values are 0x0100, 0x0101, ...; cells 2 and 7 of a 1 x 10 map give six elements.
        QTest::newRow("1 x 10 LoHi")
            << QList<qint64>{7, 2} << 0x200 << 1 << 0x204 << QByteArray("020103010401050106010701");
        QTest::newRow("1 x 10 HiLo")
            << QList<qint64>{2, 7} << 0x200 << 2 << 0x204 << QByteArray("010201030104010501060107");
        QTest::newRow("32-bit elements step by 4 bytes and are written whole")
            << QList<qint64>{1, 2} << 0 << 3 << 4 << QByteArray("0101000002010000");
        QTest::newRow("32-bit HiLo") << QList<qint64>{1} << 0 << 7 << 4 << QByteArray("00000101");
        QTest::newRow("no cells") << QList<qint64>{} << 0 << 1 << -1 << QByteArray();
        QTest::newRow("negative and missing cells")
            << QList<qint64>{12, -1} << 0 << 1 << -1 << QByteArray();
        QTest::newRow("no map offset") << QList<qint64>{1} << -1 << 1 << -1 << QByteArray();
        QTest::newRow("past 2 GiB") << QList<qint64>{1} << 0x7FFFFFFE << 1 << -1 << QByteArray();
    }
    void blocks()
    {
        QFETCH(QList<qint64>, cells);
        QFETCH(int, mapOffset);
        QFETCH(int, choice);
        QFETCH(int, start);
        QList<double> values;
        for (int i = 0; i < 10; ++i)
            values.append(0x0100 + i);
        const auto block
            = MapElementCodec::buildBlock(cells, values, mapOffset, valueTypeChoices().at(choice));
        QCOMPARE(block.isEmpty() ? -1 : block.startOffset, start);
        if (start >= 0)
            QTEST(block.data.toHex(), "data");
    }

    void elementRules_data()
    {
        testsupport::addColumns<int, double, QByteArray>({"choice", "raw", "bytes"});
        QTest::newRow("8 bit") << 0 << double(0x12) << QByteArray::fromHex("12");
        QTest::newRow("LoHi") << 1 << double(0x1234) << QByteArray::fromHex("3412");
        QTest::newRow("HiLo") << 2 << double(0x1234) << QByteArray::fromHex("1234");
        QTest::newRow("32 bit whole") << 3 << double(0x12345678) << QByteArray::fromHex("78563412");
        QTest::newRow("s16 negative") << 5 << -2.0 << QByteArray::fromHex("feff");
        QTest::newRow("f32 HiLo nearest float") << 11 << 0.1 << QByteArray::fromHex("3dcccccd");
    }
    void elementRules()
    {
        QFETCH(int, choice);
        QFETCH(double, raw);
        QFETCH(QByteArray, bytes);
        const ValueType type = valueTypeChoices().at(choice);
        const QByteArray encoded = MapElementCodec::encode(raw, type);
        QCOMPARE(encoded.toHex(), bytes.toHex());
        // Read back, the element gives what the window shows.
        const double back
            = decodeValue(reinterpret_cast<const uint8_t *>(encoded.constData()), encoded.size(), 0,
                          type.organisation, type.littleEndian, type.kind);
        QCOMPARE(back, clampRaw(raw, type.organisation, type.kind));
    }

    void steppingSaturates_data()
    {
        testsupport::addColumns<int, double, int, double>({"choice", "raw", "delta", "expected"});
        QTest::newRow("up") << 1 << 10.0 << 1 << 11.0;
        QTest::newRow("8 bit up at 255") << 0 << 255.0 << 1 << 255.0;
        QTest::newRow("32 bit passes 16 bits") << 3 << 65535.0 << 1 << 65536.0;
        QTest::newRow("s16 down through zero") << 5 << 0.0 << -1 << -1.0;
        QTest::newRow("f32 keeps the fraction") << 10 << 1.5 << 1 << 2.5;
    }
    void steppingSaturates()
    {
        QFETCH(int, choice);
        QFETCH(double, raw);
        QFETCH(int, delta);
        QTEST(MapElementCodec::stepped(raw, delta, valueTypeChoices().at(choice)), "expected");
    }

    void clickVersusDrag_data()
    {
        testsupport::addColumns<QPoint, bool>({"to", "drag"});
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
        // Empty and flat ranges still span 1, so that nothing divides by zero.
        QCOMPARE(PlotValueRange::of({}).maximum, 1.0);
        QCOMPARE(PlotValueRange::of({7.0, 7.0}).maximum, 8.0);
        QCOMPARE(PlotValueRange::of({0.0, 0.0}).maximum, 1.0);
        const PlotValueRange normal = PlotValueRange::of({3.0, -2.0, 5.0});
        QVERIFY(normal.minimum == -2.0 && normal.maximum == 5.0);
    }

    void rotations_data()
    {
        testsupport::addColumns<int, QPointF>({"rotation", "expected"});
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
        QTEST(MapPlotGeometry::rotated(0.25, 0.75, rotation), "expected");
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
        auto y = [](double v, double w, int tilt) {
            return MapPlotGeometry::surfacePoint(0, v, w, 0, tilt, QRectF(0, 0, 1, 1)).y();
        };
        for (int tilt : {-3, 3}) {
            QVERIFY(std::fabs(y(0, 0, tilt) - y(1, 0, tilt) - (0.28 + 0.025 * tilt)) < 1e-12);
            QVERIFY(std::fabs(y(0, 0, tilt) - y(0, 1, tilt) - (0.48 + 0.035 * tilt)) < 1e-12);
        }
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
        testsupport::addColumns<double, int>({"sum", "shade"});
        QTest::newRow("bottom") << 0.0 << 0;
        QTest::newRow("top") << 4.0 << 70;
        QTest::newRow("below the range") << -3.0 << 0;
    }
    void heightShades()
    {
        QFETCH(double, sum);
        QTEST(MapPlotGeometry::heightShade(sum, 1.0), "shade");
    }

    // A number typed into a cell: which keys open the editor, and what the text is worth.
    void typedEntries_data()
    {
        // starts (as the first key typed); value (NaN: not a number)
        testsupport::addColumns<QString, int, bool, double>(
            {"text", "modifiers", "starts", "value"});
        const double none = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("digit") << "7" << 0 << true << 7.0;
        QTest::newRow("minus") << "-" << 0 << true << none;
        QTest::newRow("point") << "." << 0 << true << none;
        QTest::newRow("comma") << "," << int(Qt::KeypadModifier) << true << none;
        QTest::newRow("Ctrl+1") << "1" << int(Qt::ControlModifier) << false << 1.0;
        QTest::newRow("letter") << "e" << 0 << false << none;
        QTest::newRow("decimal comma") << " -12,5 " << 0 << false << -12.5;
        QTest::newRow("decimal point") << ".25" << 0 << false << 0.25;
        QTest::newRow("two separators") << "1,2.5" << 0 << false << none;
        QTest::newRow("infinity") << "inf" << 0 << false << none;
        QTest::newRow("empty") << "" << 0 << false << none;
    }
    void typedEntries()
    {
        QFETCH(QString, text);
        QFETCH(int, modifiers);
        QFETCH(double, value);
        QTEST(MapCellEntry::startsEntry(text, Qt::KeyboardModifiers(modifiers)), "starts");
        const std::optional<double> parsed = MapCellEntry::parse(text);
        QCOMPARE(parsed.has_value(), !std::isnan(value));
        if (parsed)
            QCOMPARE(*parsed, value);
        // What parses is also what the editor lets one type (exponents and words aside).
        const QRegularExpression pattern(
            QRegularExpression::anchoredPattern(MapCellEntry::pattern()));
        if (parsed && !text.trimmed().isEmpty())
            QVERIFY(pattern.match(text.trimmed()).hasMatch());
    }

    void hexAddresses_data()
    {
        testsupport::addColumns<QString, bool, int>({"text", "ok", "offset"});
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
};

QTEST_GUILESS_MAIN(TestMapEditorLogic)
#include "tst_mapeditorlogic.moc"
