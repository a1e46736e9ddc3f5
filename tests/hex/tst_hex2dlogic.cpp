#include "hex/axissearch.h"
#include "hex/hex2dgeometry.h"
#include "hex/mapcut.h"
#include "hex/overviewshade.h"
#include "hex/samplesummary.h"
#include "hex/wordedit.h"

#include <QRandomGenerator>
#include <QtTest>

#include "testsupport.h"

#include <cstring>

Q_DECLARE_METATYPE(SampleFormat)
Q_DECLARE_METATYPE(AxisLayout)

namespace {

// A view 876 pixels wide (plot 800) over an image of `size` bytes.
Hex2DGeometry make(qint64 size, int width = 876, int height = 400)
{
    Hex2DGeometry g;
    g.setWidgetSize(width, height);
    g.setImageSize(size);
    return g;
}

QByteArray noise(qint64 size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char(rng.bounded(256));
    return data;
}

// Builds an image word by word in the chosen byte order.
struct ImageBuilder
{
    bool littleEndian = true;
    QByteArray bytes;

    void word(int w)
    {
        const char lo = char(w & 0xFF), hi = char((w >> 8) & 0xFF);
        bytes.append(littleEndian ? lo : hi);
        bytes.append(littleEndian ? hi : lo);
    }
    void axis(int count, int first, int step)
    {
        for (int i = 0; i < count; ++i)
            word(first + i * step);
    }
    const uchar *data() const { return reinterpret_cast<const uchar *>(bytes.constData()); }
};

QByteArray exampleImage()
{
    return testsupport::readFile(testsupport::example("tessa-demo.bin"));
}

} // namespace

class TestHex2DLogic : public QObject
{
    Q_OBJECT

private slots:
    void initialWindow_data()
    {
        testsupport::addColumns<qint64, double, qint64, qint64>({"size", "zoomX", "start", "end"});
        QTest::newRow("tiny 1 byte") << qint64(1) << 1.0 << qint64(0) << qint64(1);
        QTest::newRow("tiny 2 bytes") << qint64(2) << 1.0 << qint64(0) << qint64(2);
        QTest::newRow("1000 whole") << qint64(1000) << 1.0 << qint64(0) << qint64(1000);
        QTest::newRow("8192 half") << qint64(8192) << 2.0 << qint64(2048) << qint64(6144);
        QTest::newRow("1 MiB at 256")
            << qint64(1 << 20) << 256.0 << qint64(522240) << qint64(526336);
    }
    void initialWindow()
    {
        QFETCH(qint64, size);
        const Hex2DGeometry g = make(size);
        QTEST(g.zoomX(), "zoomX");
        QTEST(g.visibleStart(), "start");
        QTEST(g.visibleEnd(), "end");
    }

    void offsetUnderPixel_data()
    {
        testsupport::addColumns<qint64, int, qint64>({"size", "x", "offset"});
        // Plot width 800: 4096 bytes over 800 pixels.
        QTest::newRow("left edge") << qint64(4096) << 65 << qint64(0);
        QTest::newRow("left of plot clamps") << qint64(4096) << 10 << qint64(0);
        QTest::newRow("middle") << qint64(4096) << 465 << qint64(2048);
        QTest::newRow("right edge keeps a word") << qint64(4096) << 865 << qint64(4094);
        QTest::newRow("far right clamps") << qint64(4096) << 2000 << qint64(4094);
        QTest::newRow("1-byte image") << qint64(1) << 500 << qint64(0);
        QTest::newRow("2-byte image") << qint64(2) << 865 << qint64(0);
        QTest::newRow("empty image") << qint64(0) << 300 << qint64(-1);
    }
    void offsetUnderPixel()
    {
        QFETCH(qint64, size);
        QFETCH(int, x);
        QTEST(make(size).offsetAtX(x), "offset");
    }

    void wheelZoom_data()
    {
        // zoomX (0: 256 × 1.35^steps)
        testsupport::addColumns<int, int, double>({"x", "steps", "zoomX"});
        QTest::newRow("in at a quarter") << 265 << 1 << 0.0;
        QTest::newRow("in three at three quarters") << 665 << 3 << 0.0;
        // The wheel keeps to the toolbar box's 25 % … 6400 % of the base zoom (256 here).
        QTest::newRow("out to the last step inside") << 300 << -4 << 0.0;
        QTest::newRow("far out stops at 25 %") << 300 << -60 << 64.0;
        QTest::newRow("in to the last step inside") << 300 << 13 << 0.0;
        QTest::newRow("far in stops at 6400 %") << 300 << 80 << 16384.0;
    }
    void wheelZoom()
    {
        QFETCH(int, x);
        QFETCH(int, steps);
        QFETCH(double, zoomX);
        Hex2DGeometry g = make(1 << 20);
        const qint64 before = g.offsetAtX(x);
        for (int i = 0; i < qAbs(steps); ++i)
            g.wheelZoom(steps > 0 ? 1 : -1, x);
        QVERIFY(g.visibleEnd() > g.visibleStart());
        QVERIFY(g.visibleEnd() <= (1 << 20));
        if (zoomX > 0) {
            QCOMPARE(g.zoomX(), zoomX);
            return;
        }
        QCOMPARE(g.zoomX(), 256.0 * std::pow(1.35, steps));
        // The byte under the pointer stays there, within one pixel's share of the wider window.
        const double tolerance = 4096.0 * std::max(1.0, std::pow(1.35, -steps)) / 800.0 + 1;
        QVERIFY2(qAbs(g.offsetAtX(x) - before) <= tolerance,
                 qPrintable(QStringLiteral("%1 vs %2").arg(g.offsetAtX(x)).arg(before)));
    }

    void userZoomClamps_data()
    {
        testsupport::addColumns<qint64, double, double>({"size", "factor", "zoomX"});
        QTest::newRow("one") << qint64(1 << 20) << 1.0 << 256.0;
        QTest::newRow("quarter floor") << qint64(1 << 20) << 0.1 << 64.0;
        QTest::newRow("64 ceiling") << qint64(1 << 20) << 100.0 << 16384.0;
        QTest::newRow("small image stays at 1") << qint64(1000) << 0.25 << 1.0;
    }
    void userZoomClamps()
    {
        QFETCH(qint64, size);
        QFETCH(double, factor);
        Hex2DGeometry g = make(size);
        g.setUserZoomX(factor);
        QTEST(g.zoomX(), "zoomX");
        g.setUserZoomY(50.0);
        QCOMPARE(g.zoomY(), 10.0);
        g.setUserZoomY(0.01);
        QCOMPARE(g.zoomY(), 0.1);
    }

    void centreStaysInsideImage_data()
    {
        testsupport::addColumns<double, qint64>({"centre", "start"});
        QTest::newRow("below start") << -3.0 << qint64(0);
        QTest::newRow("past end") << 7.0 << qint64(8192 - 1024);
        QTest::newRow("inside") << 0.5 << qint64(4096 - 512);
    }
    void centreStaysInsideImage()
    {
        QFETCH(double, centre);
        Hex2DGeometry g = make(8192);
        g.setZoomX(8);
        g.setCentre(centre);
        QTEST(g.visibleStart(), "start");
        QCOMPARE(g.visibleEnd() - g.visibleStart(), qint64(1024));
    }

    void scrollBarAndNavigation()
    {
        Hex2DGeometry g = make(1 << 20); // plot width 800, window 4096 of 1 MiB
        QCOMPARE(g.scrollBarRect(), QRect(QPoint(65, 371), QPoint(864, 394)));
        QCOMPARE(g.thumbWidth(), 4); // 3 pixels of share, widened to 4
        QCOMPARE(g.thumbLeft(), 65 + 398);
        g.dragThumbTo(65);
        QCOMPARE(g.visibleStart(), qint64(0));
        g.pageBy(+1, 0.9);
        QCOMPARE(g.visibleStart(), qint64(3686));
        g.goToEnd();
        QCOMPARE(g.visibleEnd(), qint64(1 << 20));
        g.stepPart(+1);
        QCOMPARE(g.visibleEnd(), qint64(1 << 20));
        g.stepPart(-1);
        QCOMPARE(g.visibleEnd(), qint64((1 << 20) - 205)); // 5 % of 4096 = 204.8 bytes
        g.goToStart();
        QCOMPARE(g.visibleStart(), qint64(0));
        g.nudge(+1);
        QCOMPARE(g.visibleStart(), qint64(49)); // 1.2 % of the 4096-byte window
        g.pan(+400); // dragging right by half the plot moves back half a window
        QCOMPARE(g.visibleStart(), qint64(0));
        g.pan(-400);
        QCOMPARE(g.visibleStart(), qint64(2048));
        QVERIFY(!make(100, 86, 200).hasPlot());
        QVERIFY(make(100, 87, 108).hasPlot());
        QVERIFY(!make(100, 87, 107).hasPlot());
    }

    void sampleValues_data()
    {
        testsupport::addColumns<SampleFormat, double>({"format", "value"});
        QTest::newRow("16 BE") << SampleFormat{2, false, false} << double(0x1234);
        QTest::newRow("32 BE") << SampleFormat{4, false, false} << double(0x1234803Fu);
    }
    void sampleValues()
    {
        QFETCH(SampleFormat, format);
        const QByteArray bytes = QByteArray::fromHex("1234803f");
        QTEST(sampleValue(bytes.constData(), 0, format), "value");
    }

    void floatsLeaveOutNonFinite()
    {
        QByteArray bytes(12, 0);
        const float values[3] = {1.5f, std::numeric_limits<float>::quiet_NaN(), -2.0f};
        std::memcpy(bytes.data(), values, sizeof values);
        SampleSummary summary;
        summary.build(bytes, {4, true, true});
        const SampleExtremes e = summary.extremes(bytes, 0, 3);
        QCOMPARE(e.minimum, -2.0);
        QCOMPARE(e.maximum, 1.5);
        QVERIFY(summary.extremes(bytes, 1, 2).isEmpty());
    }

    // The curve drawn from the summary must be the curve of the straightforward computation.
    void columnsMatchStraightComputation_data()
    {
        testsupport::addColumns<SampleFormat, qint64, qint64, int>(
            {"format", "start", "end", "columns"});
        const std::pair<const char *, SampleFormat> formats[] = {{"8", {1, true, false}},
                                                                 {"16LE", {2, true, false}},
                                                                 {"16BE", {2, false, false}},
                                                                 {"32LE", {4, true, false}},
                                                                 {"float BE", {4, false, true}}};
        for (const auto &[name, f] : formats) {
            QTest::addRow("%s whole", name) << f << qint64(0) << qint64(300001) << 800;
            QTest::addRow("%s odd window", name) << f << qint64(12345) << qint64(287001) << 777;
            QTest::addRow("%s narrow", name) << f << qint64(4097) << qint64(9000) << 100;
            // Wide columns reach the second level of the summary.
            QTest::addRow("%s wide columns", name) << f << qint64(999) << qint64(299000) << 7;
            QTest::addRow("%s at the end", name) << f << qint64(200003) << qint64(300001) << 333;
        }
    }
    void columnsMatchStraightComputation()
    {
        QFETCH(SampleFormat, format);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(int, columns);
        QByteArray data = noise(300001, 7);
        // Flat stretches too, so some columns have equal minimum and maximum.
        std::memset(data.data() + 50000, 0x40, 40000);
        SampleSummary summary;
        summary.build(data, format);
        const auto fast = columnExtremes(data, format, start, end, columns, &summary);
        QCOMPARE(fast.size(), columns);
        QVERIFY(fast == columnExtremes(data, format, start, end, columns, nullptr));
    }

    void summaryRenewedAfterEdits()
    {
        const SampleFormat format{2, true, false};
        QByteArray data = noise(1 << 18, 3);
        SampleSummary summary;
        summary.build(data, format);
        // A new extreme right in the middle of a large block, and one across a block border.
        data[100001] = data[100000] = char(0xFF);
        summary.update(data, 100000, 100001);
        data[4095] = data[4096] = 0;
        summary.update(data, 4095, 4096);
        const auto fast = columnExtremes(data, format, 0, data.size(), 500, &summary);
        QVERIFY(fast == columnExtremes(data, format, 0, data.size(), 500, nullptr));
        QVERIFY(!summary.isBuiltFor(data, {1, true, false}));
        QVERIFY(summary.isBuiltFor(data, format));
    }

    void samplesStayInsideImage_data()
    {
        // samples (first, count)
        testsupport::addColumns<qint64, int, qint64, qint64, QPoint>(
            {"size", "width", "start", "end", "samples"});
        QTest::newRow("aligned") << qint64(100) << 2 << qint64(10) << qint64(20) << QPoint(5, 5);
        QTest::newRow("rounded down")
            << qint64(100) << 4 << qint64(7) << qint64(20) << QPoint(1, 4);
        QTest::newRow("partial word out")
            << qint64(7) << 4 << qint64(0) << qint64(7) << QPoint(0, 1);
        QTest::newRow("1 byte, 16 bit") << qint64(1) << 2 << qint64(0) << qint64(1) << QPoint(0, 0);
    }
    void samplesStayInsideImage()
    {
        QFETCH(qint64, size);
        QFETCH(int, width);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        qint64 first = -1, count = -1;
        windowSamples(size, {width, true, false}, start, end, &first, &count);
        QTEST(QPoint(int(first), int(count)), "samples");
    }

    void fewSamplesAreNotReduced()
    {
        const QByteArray data = noise(1000, 1); // fewer samples than columns: drawn one by one
        QVERIFY(columnExtremes(data, {1, true, false}, 0, 800, 800, nullptr).isEmpty());
        QVERIFY(columnExtremes(data, {1, true, false}, 0, 1000, 0, nullptr).isEmpty());
        QCOMPARE(columnExtremes(data, {1, true, false}, 0, 801, 800, nullptr).size(), 800);
    }

    void overviewShades()
    {
        const QByteArray ff(4096, char(0xFF));
        QVERIFY(overviewShade(ff, 3, 100, 1, true).background);
        QVERIFY(overviewShade(QByteArray(4096, 0), 3, 100, 2, true).background);
        const OverviewShade busy = overviewShade(noise(4096, 2), 3, 100, 1, true);
        QVERIFY(!busy.background);
        QVERIFY(busy.hue >= 0.0 && busy.hue <= 0.72);
        QVERIFY(overviewShade(QByteArray(), 0, 100, 1, true).background);
        // A 1-byte image read as 16-bit words has no whole sample.
        QVERIFY(overviewShade(QByteArray(1, 5), 0, 100, 2, true).background);
    }

    void axisTest_data()
    {
        testsupport::addColumns<QList<quint16>, bool>({"words", "plausible"});
        QTest::newRow("one word") << QList<quint16>{7} << false;
        QTest::newRow("all equal") << QList<quint16>{3, 3, 3} << false;
        QTest::newRow("rising with flat") << QList<quint16>{1, 1, 2, 3, 3} << true;
        // 3 of 4 steps one way: exactly 75 %.
        QTest::newRow("three quarters") << QList<quint16>{1, 2, 3, 4, 2} << true;
        QTest::newRow("zigzag") << QList<quint16>{1, 5, 2, 6, 3} << false;
    }
    void axisTest()
    {
        QFETCH(QList<quint16>, words);
        QTEST(isPlausibleAxis(words), "plausible");
    }

    void layouts_data()
    {
        // map (columns × rows); layout (r/c count, X/Y axis, f flat axis, 0 a zero word); axes
        // (index in layout of X and Y, -1 none)
        testsupport::addColumns<bool, QSize, QString, AxisLayout, QPoint>(
            {"littleEndian", "map", "layout", "expected", "axes"});
        const auto two = AxisLayout::TwoCountsFirst, alt = AxisLayout::CountAxisCountAxis;
        const auto none = AxisLayout::None;
        QTest::newRow("one row") << true << QSize(6, 1) << "cX" << AxisLayout::OneRowCount
                                 << QPoint(1, -1);
        QTest::newRow("rows first") << true << QSize(6, 4) << "rcYX" << two << QPoint(3, 2);
        QTest::newRow("columns first") << true << QSize(6, 4) << "crXY" << two << QPoint(2, 3);
        QTest::newRow("big endian") << false << QSize(3, 5) << "rcYX" << two << QPoint(3, 2);
        QTest::newRow("alternating, rows first")
            << true << QSize(6, 4) << "rYcX" << alt << QPoint(3, 1);
        QTest::newRow("alternating, columns")
            << false << QSize(6, 4) << "cXrY" << alt << QPoint(1, 3);
        QTest::newRow("square") << true << QSize(5, 5) << "rcYX" << two << QPoint(3, 2);
        QTest::newRow("gap before data")
            << true << QSize(6, 4) << "rcYX0" << none << QPoint(-1, -1);
        QTest::newRow("flat axis") << true << QSize(6, 4) << "rcfX" << none << QPoint(-1, -1);
        QTest::newRow("one row, no count") << true << QSize(6, 1) << "X" << none << QPoint(-1, -1);
    }
    void layouts()
    {
        QFETCH(bool, littleEndian);
        QFETCH(QSize, map);
        QFETCH(QString, layout);
        QFETCH(QPoint, axes);
        ImageBuilder b;
        b.littleEndian = littleEndian;
        for (int i = 0; i < 40; ++i)
            b.word(0x5A5A + (i % 3) * 0x111); // filler that looks like no layout
        QList<qint64> partOffsets;
        for (QChar part : layout) {
            partOffsets.append(b.bytes.size());
            switch (part.toLatin1()) {
            case 'r':
                b.word(map.height());
                break;
            case 'c':
                b.word(map.width());
                break;
            case 'X':
                b.axis(map.width(), 1000, 250);
                break;
            case 'Y':
                b.axis(map.height(), 6000, -500);
                break;
            case 'f':
                b.axis(map.height(), 7, 0);
                break;
            default:
                b.word(0);
                break;
            }
        }
        const qint64 start = b.bytes.size();
        b.axis(map.width() * map.height(), 300, 1);
        const AxisSearchResult r = findStoredAxes(b.data(), b.bytes.size(), start, map.height(),
                                                  map.width(), littleEndian);
        QTEST(r.layout, "expected");
        QCOMPARE(r.xAxisOffset, axes.x() < 0 ? -1 : partOffsets.at(axes.x()));
        QCOMPARE(r.yAxisOffset, axes.y() < 0 ? -1 : partOffsets.at(axes.y()));
    }

    // A signed axis (a temperature from -30) jumps when read unsigned: it is found as signed,
    // and the cut map shows its values with their sign.
    void signedAxis()
    {
        ImageBuilder b;
        b.axis(10, 0x1111, 0);
        b.word(4);
        b.word(3);
        const qint64 yAt = b.bytes.size();
        b.axis(4, -30, 20);
        b.axis(3, 100, 100);
        const qint64 start = b.bytes.size();
        b.axis(12, 1, 1);
        const AxisSearchResult r = findStoredAxes(b.data(), b.bytes.size(), start, 4, 3, true);
        QCOMPARE(r.yAxisOffset, yAt);
        QCOMPARE(r.yValueKind, int(ValueSigned));
        QCOMPARE(r.xValueKind, int(ValueUnsigned));
        const MapCutResult cut = cutMapFromSelection(b.bytes, start, start + 23, 3, true);
        QVERIFY(cut.ok);
        QCOMPARE(cut.definition.yAxis, (QList<double>{-30, -10, 10, 30}));
        QCOMPARE(cut.definition.xAxis, (QList<double>{100, 200, 300}));
    }

    void searchStopsAtItsReach()
    {
        // A valid layout, then more than 2 × 128 bytes of filler before the data.
        ImageBuilder b;
        for (int w : {2, 3, 10, 20, 1, 2, 3})
            b.word(w);
        b.axis(130, 0x4444, 0);
        const qint64 start = b.bytes.size();
        b.axis(6, 1, 1);
        QCOMPARE(findStoredAxes(b.data(), b.bytes.size(), start, 2, 3, true).layout,
                 AxisLayout::None);
        // Nothing before the image start is read.
        QCOMPARE(findStoredAxes(b.data(), b.bytes.size(), 1, 2, 3, true).layout, AxisLayout::None);
    }

    void exampleImageMaps_data()
    {
        // map (columns × rows); axes (X and Y offsets)
        testsupport::addColumns<int, QSize, QPoint>({"start", "map", "axes"});
        QTest::newRow("Coppia richiesta") << 0x10000 << QSize(16, 12) << QPoint(0xFFE0, 0xFFC8);
        QTest::newRow("Limitatore pedale") << 0x12000 << QSize(10, 8) << QPoint(0x11FDA, 0x11FF0);
        QTest::newRow("Correzione temperatura") << 0x13000 << QSize(16, 1) << QPoint(0x12FE0, -1);
        QTest::newRow("Pressione turbo") << 0x14000 << QSize(16, 16) << QPoint(-1, -1);
    }
    void exampleImageMaps()
    {
        QFETCH(int, start);
        QFETCH(QSize, map);
        const QByteArray image = exampleImage();
        QVERIFY(!image.isEmpty());
        const MapCutResult r = cutMapFromSelection(
            image, start, start + map.width() * map.height() * 2 - 1, map.width(), true);
        QVERIFY(r.ok);
        QTEST(QPoint(r.definition.xAxisOffset, r.definition.yAxisOffset), "axes");
    }

    void cutMessages_data()
    {
        testsupport::addColumns<qint64, qint64, int, QString>(
            {"selStart", "selEnd", "imageSize", "message"});
        const QString invalid = QStringLiteral("Prima seleziona una zona valida nel 2D.");
        const QString word
            = QStringLiteral("La selezione non contiene un numero intero di WORD 16-bit.");
        const QString rows = QStringLiteral("La selezione non contiene un numero intero di righe.");
        QTest::newRow("no selection") << qint64(-1) << qint64(-1) << 100 << invalid;
        QTest::newRow("empty image") << qint64(0) << qint64(3) << 0 << invalid;
        QTest::newRow("start equals end") << qint64(5) << qint64(5) << 100 << invalid;
        QTest::newRow("3 bytes") << qint64(10) << qint64(12) << 100 << word;
        QTest::newRow("24 bytes with 8 columns") << qint64(10) << qint64(33) << 100 << rows;
        QTest::newRow("cut at image end to odd") << qint64(96) << qint64(200) << 101 << word;
    }
    void cutMessages()
    {
        QFETCH(qint64, selStart);
        QFETCH(qint64, selEnd);
        QFETCH(int, imageSize);
        const MapCutResult r
            = cutMapFromSelection(QByteArray(imageSize, 1), selStart, selEnd, 8, true);
        QVERIFY(!r.ok);
        QTEST(r.message, "message");
    }

    void cutThirtyTwoBytes_data()
    {
        testsupport::addColumns<bool, int>({"littleEndian", "dataType"});
        QTest::newRow("little endian") << true << 1;
        QTest::newRow("big endian") << false << 2;
    }
    void cutThirtyTwoBytes()
    {
        QFETCH(bool, littleEndian);
        ImageBuilder b;
        b.littleEndian = littleEndian;
        b.axis(10, 0x1111, 0);
        b.word(2);
        b.word(8);
        const qint64 yAt = b.bytes.size();
        b.axis(2, 100, 100);
        const qint64 xAt = b.bytes.size();
        b.axis(8, 500, 500);
        const qint64 start = b.bytes.size();
        b.axis(17, 1, 3);
        const MapCutResult r = cutMapFromSelection(b.bytes, start, start + 31, 8, littleEndian);
        QVERIFY(r.ok);
        const MapDefinition &d = r.definition;
        QCOMPARE(d.name, QStringLiteral("Mappa 8 x 2"));
        QCOMPARE(QSize(d.columns, d.rows), QSize(8, 2));
        QCOMPARE(d.mapOffset, int(start));
        QCOMPARE(QPoint(d.xAxisOffset, d.yAxisOffset), QPoint(int(xAt), int(yAt)));
        QTEST(d.dataType, "dataType");
        QCOMPARE(d.xAxis, (QList<double>{500, 1000, 1500, 2000, 2500, 3000, 3500, 4000}));
        QCOMPARE(d.yAxis, (QList<double>{100, 200}));
        // One word is a 1 × 1 map with numbered cells.
        const MapCutResult one = cutMapFromSelection(QByteArray(64, 3), 20, 21, 8, true);
        QVERIFY(one.ok);
        QCOMPARE(one.definition.name, QStringLiteral("Mappa 1 x 1"));
        QCOMPARE(one.definition.xAxisOffset, -1);
        QCOMPARE(one.definition.xAxisSource, 0);
    }

    void wordEdits_data()
    {
        testsupport::addColumns<QByteArray, bool, int, double, QByteArray>(
            {"current", "littleEndian", "kind", "value", "written"});
        const int plus = int(WordEditKind::PlusOne), minus = int(WordEditKind::MinusOne);
        const int percent = int(WordEditKind::Percent), absolute = int(WordEditKind::Absolute);
        const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
        QTest::newRow("+1 on 65535 stays")
            << hex("ffff0100") << true << plus << 0. << hex("ffff0200");
        QTest::newRow("-1 on 0 stays") << hex("00000100") << true << minus << 0. << hex("00000000");
        QTest::newRow("+1 BE carries") << hex("00ff") << false << plus << 0. << hex("0100");
        QTest::newRow("absolute") << hex("00000000") << true << absolute << 4660.
                                  << hex("34123412");
        QTest::newRow("10.5 -> 11") << hex("0a00") << true << percent << 5. << hex("0b00");
        QTest::newRow("% clamps high") << hex("ff7f") << true << percent << 1e3 << hex("ffff");
        QTest::newRow("% clamps low") << hex("ff7f") << true << percent << -1e3 << hex("0000");
        QTest::newRow("original") << hex("99999999") << true << int(WordEditKind::Original) << 0.
                                  << hex("01020304");
    }
    void wordEdits()
    {
        QFETCH(QByteArray, current);
        QFETCH(bool, littleEndian);
        QFETCH(int, kind);
        QFETCH(double, value);
        QTEST(editedWords(current, QByteArray::fromHex("01020304"), 0, current.size(),
                          WordEditKind(kind), value, littleEndian),
              "written");
    }

    void widening_data()
    {
        // words (start, length; (-1, -1): nothing left)
        testsupport::addColumns<QPoint, qint64, QPoint>({"selection", "size", "words"});
        QTest::newRow("odd start and end") << QPoint(3, 6) << qint64(100) << QPoint(2, 6);
        QTest::newRow("even") << QPoint(4, 5) << qint64(100) << QPoint(4, 2);
        QTest::newRow("end limited") << QPoint(96, 500) << qint64(100) << QPoint(96, 4);
        QTest::newRow("odd image tail") << QPoint(97, 100) << qint64(101) << QPoint(96, 4);
        QTest::newRow("1-byte image") << QPoint(0, 0) << qint64(1) << QPoint(-1, -1);
        QTest::newRow("no selection") << QPoint(-1, -1) << qint64(100) << QPoint(-1, -1);
    }
    void widening()
    {
        QFETCH(QPoint, selection);
        QFETCH(qint64, size);
        QFETCH(QPoint, words);
        qint64 start = -1, length = -1;
        QCOMPARE(widenToWords(selection.x(), selection.y(), size, &start, &length), words.x() >= 0);
        QCOMPARE(QPoint(int(start), int(length)), words);
    }
};

QTEST_GUILESS_MAIN(TestHex2DLogic)
#include "tst_hex2dlogic.moc"
